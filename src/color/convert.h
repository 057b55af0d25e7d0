// Conversions between the registered spaces: a few pairs directly (Lab ↔ LCh, OKLab ↔ OKLCh,
// sRGB ↔ linear sRGB, any pair of HSV, HSL and HWB), every other pair through CIE XYZ
// relative to D65 with Y of white = 1. Alpha is carried unchanged.
//
// The analytic spaces follow these definitions:
//  - Lab/LCh: CIE 15 relative to D50, reached from D65 by Bradford; OKLab/OKLCh: Ottosson's
//    OKLab from linear sRGB (inverse matrices computed from the forward ones).
//  - HSV, HSL, HWB: of encoded sRGB; hue modulo 360, hue 0 when chroma is below 1e-9; a
//    whiteness plus blackness above 1 is normalised.
//  - CMYK: device C, M, Y = 1 − R′, G′, B′ of encoded sRGB with K = 0 (no black generation),
//    so the three components hold the whole colour and convert back losslessly.
//  - Y′CbCr: encoded sRGB with BT.709 luma weights; Y 0–1, Cb and Cr −0.5–0.5.
//  - ICtCp: ITU-R BT.2100 with the PQ curve of SMPTE ST 2084; Jzazbz: Safdar et al. 2017.
//    Both take absolute luminance with media white at 203 cd/m² (XYZ × 203, the convention of
//    Color.js and culori); negative cone responses are clamped to 0 before the PQ curve.
//  - CAM16 (J, C, h), CAM16-UCS (J′, a′, b′) and HCT (h, C, T): see cam16.h. HCT converts back
//    through the HCT solver, so its colours land on 8-bit sRGB values inside the gamut.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "color/color.h"
#include "color/matrix.h"

namespace orvel::color {

// The colour in the target space; errors as toXYZ/fromXYZ give them, and "component NaN/Inf
// at bounds" when the result does not fit a 32-bit float.
Result<Color> to(const Color& colour, SpaceTag target);

// A direct conversion of a short-path pair; any other pair gives "not a short-path pair".
Result<Color> shortPath(const Color& colour, SpaceTag target);
bool isShortPathPair(SpaceTag from, SpaceTag to);

// Through the hub: the colour as XYZ (space tagXyz), and XYZ into a target space.
Result<Color> toXYZ(const Color& colour);
Result<Color> fromXYZ(const Color& xyz, SpaceTag target);

// The same conversions on double components, without narrowing in between.
Result<Vec3> convertComponents(SpaceTag from, SpaceTag target, const Vec3& components);

// The cube root by plain arithmetic, so OKLab comes out the same on every platform (and fast);
// relative error below 1e-14.
double cubeRoot(double x);

// Linear sRGB ↔ OKLab.
Vec3 linearSrgbToOklab(const Vec3& rgb);
Vec3 oklabToLinearSrgb(const Vec3& lab);

// OKLab of 8-bit sRGB triples (0xRRGGBB): for each, the components `to` gives for the sRGB
// colour {r / 255.0f, g / 255.0f, b / 255.0f} (the same operations in the same order, with the
// decoded levels looked up per byte and four colours at a time where AVX2 runs). False when a
// result is not finite: `to` then gives the error.
bool oklabOfSrgbBytes(const uint32_t* triples, std::size_t count, std::array<float, 3>* out);

}  // namespace orvel::color
