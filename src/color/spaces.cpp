#include "color/spaces.h"

#include <cmath>
#include <mutex>
#include <vector>

namespace orvel::color {

double transferEncode(TransferKind kind, double gamma, double v) noexcept {
  const double a = std::fabs(v);
  double e = a;
  switch (kind) {
    case tkLinear:
      return v;
    case tkSrgb:
      e = a <= 0.0031308 ? 12.92 * a : 1.055 * std::pow(a, 1.0 / 2.4) - 0.055;
      break;
    case tkGamma:
      e = std::pow(a, 1.0 / gamma);
      break;
    case tkProphoto:
      e = a <= 1.0 / 512.0 ? 16.0 * a : std::pow(a, 1.0 / 1.8);
      break;
    case tkBt709:
      e = a < 0.018 ? 4.5 * a : 1.099 * std::pow(a, 0.45) - 0.099;
      break;
  }
  return std::signbit(v) ? -e : e;
}

namespace {

// Decoded values of the 256 byte levels k/255 (as the float an 8-bit image holds): the hot
// path of palette extraction meets nothing else.
struct SrgbByteTable {
  std::array<double, 256> linear{};
  SrgbByteTable() {
    for (int k = 0; k < 256; ++k) {
      const double e = static_cast<float>(k) / 255.0f;
      linear[k] = e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4);
    }
  }
};

double srgbDecode(double a) noexcept {
  static const SrgbByteTable table;
  const double scaled = a * 255.0;
  if (scaled <= 255.0) {
    const int k = static_cast<int>(scaled + 0.5);
    if (static_cast<double>(static_cast<float>(k) / 255.0f) == a) return table.linear[k];
  }
  return a <= 0.04045 ? a / 12.92 : std::pow((a + 0.055) / 1.055, 2.4);
}

}  // namespace

double transferDecode(TransferKind kind, double gamma, double e) noexcept {
  const double a = std::fabs(e);
  double v = a;
  switch (kind) {
    case tkLinear:
      return e;
    case tkSrgb:
      v = srgbDecode(a);
      break;
    case tkGamma:
      v = std::pow(a, gamma);
      break;
    case tkProphoto:
      v = a <= 16.0 / 512.0 ? a / 16.0 : std::pow(a, 1.8);
      break;
    case tkBt709:
      v = a < 4.5 * 0.018 ? a / 4.5 : std::pow((a + 0.099) / 1.099, 1.0 / 0.45);
      break;
  }
  return std::signbit(e) ? -v : v;
}

const Mat3& bradfordMatrix() noexcept {
  static const Mat3 m = {
      {{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
  return m;
}

Vec3 adapt(const Vec3& xyz, const Vec3& from, const Vec3& to) noexcept {
  static const Mat3 inverse = inverse3(bradfordMatrix()).value();
  const Mat3& b = bradfordMatrix();
  const Vec3 coneFrom = apply3(b, from);
  const Vec3 coneTo = apply3(b, to);
  Vec3 cone = apply3(b, xyz);
  for (int i = 0; i < 3; ++i) cone[i] = cone[i] * (coneTo[i] / coneFrom[i]);
  return apply3(inverse, cone);
}

Result<SpaceDescriptor> makeRgbDescriptor(std::string name, SpaceTag tag, Family family,
                                          const Vec3& white, TransferKind transfer, double gamma,
                                          const Mat3& toXyz) {
  Result<Mat3> inverse = inverse3(toXyz);
  if (!inverse.ok()) {
    return colorError(cekSingular, "RGB primaries matrix must be invertible", "makeRgbDescriptor");
  }
  SpaceDescriptor d;
  d.name = std::move(name);
  d.tag = tag;
  d.family = family;
  d.linear = family == famRgbLinear;
  d.white = white;
  d.transfer = d.linear ? tkLinear : transfer;
  d.gamma = gamma;
  d.toXyz = toXyz;
  d.fromXyz = inverse.value();
  d.ranges = {{{0, 1}, {0, 1}, {0, 1}}};
  return d;
}

SpaceDescriptor makeAnalyticDescriptor(std::string name, SpaceTag tag, Family family,
                                       const std::array<ComponentRange, 3>& ranges) {
  SpaceDescriptor d;
  d.name = std::move(name);
  d.tag = tag;
  d.family = family;
  d.linear = family == famXyz;
  d.white = family == famLab || family == famLch ? kD50 : kD65;
  d.ranges = ranges;
  return d;
}

namespace {

struct SpaceRegistry {
  std::vector<SpaceDescriptor> byTag = std::vector<SpaceDescriptor>(256);
  bool sealed = false;
};

constexpr Mat3 kSrgbToXyz = {{{0.4124564, 0.3575761, 0.1804375},
                              {0.2126729, 0.7151522, 0.0721750},
                              {0.0193339, 0.1191920, 0.9503041}}};
constexpr Mat3 kP3ToXyz = {{{0.4865709, 0.2656677, 0.1982173},
                            {0.2289746, 0.6917385, 0.0792869},
                            {0.0, 0.0451134, 1.0439444}}};
constexpr Mat3 kRec2020ToXyz = {{{0.6369580, 0.1446169, 0.1688810},
                                 {0.2627002, 0.6779981, 0.0593017},
                                 {0.0, 0.0280727, 1.0609253}}};
constexpr Mat3 kA98ToXyz = {{{0.5766691, 0.1855582, 0.1882286},
                             {0.2973439, 0.6273539, 0.0752913},
                             {0.0270312, 0.0706872, 0.9913374}}};
constexpr Mat3 kProphotoToXyz = {
    {{0.7976742, 0.1351916, 0.0316382}, {0.2880402, 0.7118741, 0.0000922}, {0.0, 0.0, 0.82521}}};

struct RgbRow {
  const char* name;
  SpaceTag tag;
  Family family;
  Vec3 white;
  TransferKind transfer;
  double gamma;
  const Mat3* toXyz;
};

constexpr RgbRow kRgbSpaces[] = {
    {"srgb", tagSrgb, famRgbEncoded, kD65, tkSrgb, 2.4, &kSrgbToXyz},
    {"srgb-linear", tagSrgbLinear, famRgbLinear, kD65, tkLinear, 1.0, &kSrgbToXyz},
    {"p3", tagP3, famRgbEncoded, kD65, tkSrgb, 2.4, &kP3ToXyz},
    {"p3-linear", tagP3Linear, famRgbLinear, kD65, tkLinear, 1.0, &kP3ToXyz},
    {"rec2020", tagRec2020, famRgbEncoded, kD65, tkBt709, 1.0 / 0.45, &kRec2020ToXyz},
    {"rec2020-linear", tagRec2020Linear, famRgbLinear, kD65, tkLinear, 1.0, &kRec2020ToXyz},
    {"a98", tagA98, famRgbEncoded, kD65, tkGamma, 2.2, &kA98ToXyz},
    {"a98-linear", tagA98Linear, famRgbLinear, kD65, tkLinear, 1.0, &kA98ToXyz},
    {"prophoto", tagProphoto, famRgbEncoded, kD50, tkProphoto, 1.8, &kProphotoToXyz},
    {"prophoto-linear", tagProphotoLinear, famRgbLinear, kD50, tkLinear, 1.0, &kProphotoToXyz},
};

struct AnalyticRow {
  const char* name;
  SpaceTag tag;
  Family family;
  std::array<ComponentRange, 3> ranges;
};

// Component scales: XYZ and xyY with Y of white = 1; Lab/LCh L 0–100; OKLab/OKLCh L 0–1; hues
// in degrees; HSV/HSL/HWB saturation, value, lightness, whiteness, blackness 0–1; CMYK C, M, Y
// 0–1 with K = 0; Y′CbCr Y 0–1, Cb and Cr −0.5–0.5; ICtCp and Jzazbz with white at 203 cd/m²;
// CAM16 J, C, h; CAM16-UCS J′, a′, b′; HCT hue, chroma, tone 0–100.
constexpr AnalyticRow kAnalyticSpaces[] = {
    {"xyz", tagXyz, famXyz, {{{0, 0.9505}, {0, 1}, {0, 1.089}}}},
    {"xyy", tagXyy, famXyy, {{{0, 0.8}, {0, 0.9}, {0, 1}}}},
    {"lab", tagLab, famLab, {{{0, 100}, {-128, 127}, {-128, 127}}}},
    {"lch", tagLch, famLch, {{{0, 100}, {0, 150}, {0, 360}}}},
    {"oklab", tagOklab, famOklab, {{{0, 1}, {-0.4, 0.4}, {-0.4, 0.4}}}},
    {"oklch", tagOklch, famOklch, {{{0, 1}, {0, 0.4}, {0, 360}}}},
    {"hsv", tagHsv, famHsv, {{{0, 360}, {0, 1}, {0, 1}}}},
    {"hsl", tagHsl, famHsl, {{{0, 360}, {0, 1}, {0, 1}}}},
    {"hwb", tagHwb, famHwb, {{{0, 360}, {0, 1}, {0, 1}}}},
    {"cmyk", tagCmyk, famCmyk, {{{0, 1}, {0, 1}, {0, 1}}}},
    {"ycbcr", tagYcbcr, famYcbcr, {{{0, 1}, {-0.5, 0.5}, {-0.5, 0.5}}}},
    {"ictcp", tagIctcp, famIctcp, {{{0, 1}, {-0.5, 0.5}, {-0.5, 0.5}}}},
    {"jzazbz", tagJzazbz, famJzazbz, {{{0, 1}, {-0.5, 0.5}, {-0.5, 0.5}}}},
    {"cam16", tagCam16, famCam16, {{{0, 100}, {0, 150}, {0, 360}}}},
    {"cam16-ucs", tagCam16Ucs, famCam16Ucs, {{{0, 100}, {-50, 50}, {-50, 50}}}},
    {"hct", tagHct, famHct, {{{0, 360}, {0, 150}, {0, 100}}}},
};

bool insert(SpaceRegistry& registry, SpaceDescriptor descriptor) {
  if (registry.sealed || descriptor.tag == kNoSpace || descriptor.name.empty()) return false;
  if (!registry.byTag[descriptor.tag].name.empty()) return false;
  for (const SpaceDescriptor& d : registry.byTag) {
    if (d.name == descriptor.name) return false;
  }
  const SpaceTag tag = descriptor.tag;
  registry.byTag[tag] = std::move(descriptor);
  return true;
}

SpaceRegistry buildBuiltins() {
  SpaceRegistry registry;
  for (const RgbRow& row : kRgbSpaces) {
    insert(registry, makeRgbDescriptor(row.name, row.tag, row.family, row.white, row.transfer,
                                       row.gamma, *row.toXyz)
                         .value());
  }
  for (const AnalyticRow& row : kAnalyticSpaces) {
    insert(registry, makeAnalyticDescriptor(row.name, row.tag, row.family, row.ranges));
  }
  return registry;
}

std::mutex registryLock;

// Filled on first use; the built-in spaces are sealed at start-up (see sealSpaces).
SpaceRegistry& registry() {
  static SpaceRegistry* r = new SpaceRegistry(buildBuiltins());
  return *r;
}

}  // namespace

bool registerSpace(SpaceDescriptor descriptor) {
  std::lock_guard guard(registryLock);
  return insert(registry(), std::move(descriptor));
}

void sealSpaces() {
  std::lock_guard guard(registryLock);
  registry().sealed = true;
}

bool spacesSealed() {
  std::lock_guard guard(registryLock);
  return registry().sealed;
}

const SpaceDescriptor* spaceByTag(SpaceTag tag) {
  const SpaceDescriptor& d = registry().byTag[tag];
  return d.name.empty() ? nullptr : &d;
}

const SpaceDescriptor* spaceByName(std::string_view name) {
  for (const SpaceDescriptor& d : registry().byTag) {
    if (!d.name.empty() && d.name == name) return &d;
  }
  return nullptr;
}

std::string spaceNames() {
  std::string out;
  for (const SpaceDescriptor& d : registry().byTag) {
    if (d.name.empty()) continue;
    if (!out.empty()) out += ", ";
    out += d.name;
  }
  return out;
}

}  // namespace orvel::color
