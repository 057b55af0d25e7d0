// The registry of colour spaces: one descriptor per space, found by tag or by name, filled
// once with the 26 built-in spaces and sealed. Also the white points, Bradford adaptation and
// the RGB transfer curves the descriptors name.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "color/color.h"
#include "color/matrix.h"

namespace orvel::color {

enum Family : uint8_t {
  famRgbEncoded,
  famRgbLinear,
  famXyz,
  famXyy,
  famLab,
  famLch,
  famOklab,
  famOklch,
  famHsv,
  famHsl,
  famHwb,
  famCmyk,
  famYcbcr,
  famIctcp,
  famJzazbz,
  famCam16,
  famCam16Ucs,
  famHct,
};

// Transfer curves in the encode direction (linear v → encoded).
enum TransferKind : uint8_t {
  tkLinear = 0,    // v
  tkSrgb = 1,      // 12.92 v up to 0.0031308, else 1.055 v^(1/2.4) − 0.055
  tkGamma = 2,     // v^(1/γ)
  tkProphoto = 3,  // 16 v up to 1/512, else v^(1/1.8)
  tkBt709 = 4,     // 4.5 v below 0.018, else 1.099 v^0.45 − 0.099
};

// Both directions are extended to negative values by odd symmetry, so colours outside a
// space's gamut still convert and come back.
double transferEncode(TransferKind kind, double gamma, double linear) noexcept;
double transferDecode(TransferKind kind, double gamma, double encoded) noexcept;

inline constexpr Vec3 kD65 = {0.95047, 1.0, 1.08883};
inline constexpr Vec3 kD50 = {0.964296, 1.0, 0.825105};

const Mat3& bradfordMatrix() noexcept;
// XYZ seen under white `from` to XYZ under white `to`, by Bradford.
Vec3 adapt(const Vec3& xyz, const Vec3& from, const Vec3& to) noexcept;

struct ComponentRange {
  double lo = 0.0;
  double hi = 1.0;
};

struct SpaceDescriptor {
  std::string name;
  SpaceTag tag = kNoSpace;
  Family family = famXyz;
  bool linear = false;
  Vec3 white = kD65;
  // RGB spaces only.
  TransferKind transfer = tkLinear;
  double gamma = 1.0;
  Mat3 toXyz{};    // linear RGB → XYZ under `white`
  Mat3 fromXyz{};  // its inverse
  // The usual extent of each component (informative; conversions do not clamp).
  std::array<ComponentRange, 3> ranges{};
};

// "RGB primaries matrix must be invertible" when toXyz is singular.
Result<SpaceDescriptor> makeRgbDescriptor(std::string name, SpaceTag tag, Family family,
                                          const Vec3& white, TransferKind transfer, double gamma,
                                          const Mat3& toXyz);
SpaceDescriptor makeAnalyticDescriptor(std::string name, SpaceTag tag, Family family,
                                       const std::array<ComponentRange, 3>& ranges);

// The registry. registerSpace refuses (false) tag 0, a tag or name already present, and any
// registration after sealSpaces. The built-in spaces are registered and the registry sealed
// the first time any of these functions runs (start-up calls one of them).
bool registerSpace(SpaceDescriptor descriptor);
void sealSpaces();
bool spacesSealed();
const SpaceDescriptor* spaceByTag(SpaceTag tag);
const SpaceDescriptor* spaceByName(std::string_view name);
// Names of the registered spaces, in tag order, separated by ", ".
std::string spaceNames();

}  // namespace orvel::color
