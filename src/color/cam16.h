// CAM16 (Li et al. 2017, "Comprehensive color solutions: CAM16, CAT16, and CAM16-UCS", in the
// offset-free form), CAM16-UCS (the same paper, c1 = 0.007, c2 = 0.0228, built on
// colourfulness M) and HCT (hue and chroma of CAM16, tone = CIE L*), all under the viewing
// conditions Material Color Utilities computes as its default: D65 white (95.047, 100,
// 108.883), adapting luminance 200/π · Y(L* = 50)/100, background L* = 50, average surround,
// illuminant not discounted. XYZ here is on the 0–100 scale.
#pragma once

#include <array>

#include "color/matrix.h"

namespace orvel::color {

struct ViewingConditions {
  Vec3 white{};                  // XYZ of white, Y = 100
  double adaptingLuminance = 0;  // L_A, cd/m²
  double backgroundY = 0;        // Y_b
  double f = 0, c = 0, nc = 0;   // surround
  // Derived.
  Vec3 rgbD{};  // D_R, D_G, D_B
  double fl = 0, flRoot = 0, n = 0, z = 0, nbb = 0, ncb = 0, aw = 0;
};

const ViewingConditions& defaultViewingConditions();
ViewingConditions makeViewingConditions(const Vec3& white, double adaptingLuminance,
                                        double backgroundY, double surroundF, double surroundC,
                                        double surroundNc);

struct Cam16 {
  double j = 0, c = 0, h = 0, m = 0, s = 0, q = 0;
};

Cam16 xyzToCam16(const Vec3& xyz100, const ViewingConditions& vc = defaultViewingConditions());
// From J, C and h (degrees). J = 0 gives black.
Vec3 cam16ToXyz(double j, double c, double h,
                const ViewingConditions& vc = defaultViewingConditions());

// CAM16-UCS J′, a′, b′ from J, M, h, and back to J, C, h.
Vec3 cam16ToUcs(const Cam16& cam);
Vec3 ucsToJch(const Vec3& ucs, const ViewingConditions& vc = defaultViewingConditions());

// CIE L* of a relative luminance on the 0–100 scale, and back.
double lstarFromY(double y100);
double yFromLstar(double lstar);

// The HCT solver (the method of Material Color Utilities): the 8-bit sRGB colour of hue h,
// chroma c, tone t; exact within the sRGB gamut, otherwise the most chromatic colour of that
// hue and tone on the gamut's surface. Returns R, G, B as 0–255.
std::array<int, 3> solveToInt(double h, double c, double t);

}  // namespace orvel::color
