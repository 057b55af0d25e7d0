#include "color/convert.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numbers>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "color/cam16.h"
#include "color/spaces.h"

namespace orvel::color {
namespace {

constexpr double kPi = std::numbers::pi;

double wrapHue(double h) {
  double out = std::fmod(h, 360.0);
  if (out < 0) out += 360.0;
  return out;
}

// ---- Cylindrical forms ---------------------------------------------------------------------

Vec3 toPolar(const Vec3& v) {
  double h = std::atan2(v[2], v[1]) * 180.0 / kPi;
  if (h < 0) h += 360.0;
  return {v[0], std::hypot(v[1], v[2]), h};
}

Vec3 fromPolar(const Vec3& v) {
  const double hr = v[2] * kPi / 180.0;
  return {v[0], v[1] * std::cos(hr), v[1] * std::sin(hr)};
}

// ---- CIELAB ----------------------------------------------------------------------------------

constexpr double kLabEpsilon = 216.0 / 24389.0;
constexpr double kLabSlope = 7.787037037037036;

double labF(double t) { return t > kLabEpsilon ? std::cbrt(t) : kLabSlope * t + 16.0 / 116.0; }

double labFInverse(double f) {
  const double cube = f * f * f;
  return cube > kLabEpsilon ? cube : (f - 16.0 / 116.0) / kLabSlope;
}

Vec3 xyzD50ToLab(const Vec3& xyz) {
  const double fx = labF(xyz[0] / kD50[0]);
  const double fy = labF(xyz[1] / kD50[1]);
  const double fz = labF(xyz[2] / kD50[2]);
  return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Vec3 labToXyzD50(const Vec3& lab) {
  const double fy = (lab[0] + 16.0) / 116.0;
  const double fx = fy + lab[1] / 500.0;
  const double fz = fy - lab[2] / 200.0;
  return {labFInverse(fx) * kD50[0], labFInverse(fy) * kD50[1], labFInverse(fz) * kD50[2]};
}

// ---- sRGB helpers ----------------------------------------------------------------------------

const SpaceDescriptor& srgb() { return *spaceByTag(tagSrgb); }

Vec3 decodeSrgb(const Vec3& e) {
  return {transferDecode(tkSrgb, 2.4, e[0]), transferDecode(tkSrgb, 2.4, e[1]),
          transferDecode(tkSrgb, 2.4, e[2])};
}

Vec3 encodeSrgb(const Vec3& v) {
  return {transferEncode(tkSrgb, 2.4, v[0]), transferEncode(tkSrgb, 2.4, v[1]),
          transferEncode(tkSrgb, 2.4, v[2])};
}

Vec3 encodedSrgbToXyz(const Vec3& e) { return apply3(srgb().toXyz, decodeSrgb(e)); }
Vec3 xyzToEncodedSrgb(const Vec3& xyz) { return encodeSrgb(apply3(srgb().fromXyz, xyz)); }

// ---- HSV, HSL, HWB ---------------------------------------------------------------------------

// The hue of an RGB triple in degrees; 0 for a chroma below 1e-9.
double rgbHue(const Vec3& rgb, double max, double chroma) {
  if (chroma < 1e-9) return 0.0;
  double h = 0;
  if (max == rgb[0]) {
    h = std::fmod((rgb[1] - rgb[2]) / chroma, 6.0);
  } else if (max == rgb[1]) {
    h = (rgb[2] - rgb[0]) / chroma + 2.0;
  } else {
    h = (rgb[0] - rgb[1]) / chroma + 4.0;
  }
  return wrapHue(60.0 * h);
}

// R′G′B′ of a hue at full saturation and value, scaled by chroma and lifted by m.
Vec3 hueToRgb(double h, double chroma, double m) {
  const double hp = wrapHue(h) / 60.0;
  const double x = chroma * (1.0 - std::fabs(std::fmod(hp, 2.0) - 1.0));
  Vec3 rgb{};
  switch (static_cast<int>(hp)) {
    case 0:
      rgb = {chroma, x, 0};
      break;
    case 1:
      rgb = {x, chroma, 0};
      break;
    case 2:
      rgb = {0, chroma, x};
      break;
    case 3:
      rgb = {0, x, chroma};
      break;
    case 4:
      rgb = {x, 0, chroma};
      break;
    default:
      rgb = {chroma, 0, x};
      break;
  }
  return {rgb[0] + m, rgb[1] + m, rgb[2] + m};
}

Vec3 srgbToHsv(const Vec3& rgb) {
  const double max = std::max({rgb[0], rgb[1], rgb[2]});
  const double min = std::min({rgb[0], rgb[1], rgb[2]});
  const double chroma = max - min;
  return {rgbHue(rgb, max, chroma), max == 0 ? 0.0 : chroma / max, max};
}

Vec3 hsvToSrgb(const Vec3& hsv) {
  const double chroma = hsv[2] * hsv[1];
  return hueToRgb(hsv[0], chroma, hsv[2] - chroma);
}

Vec3 srgbToHsl(const Vec3& rgb) {
  const double max = std::max({rgb[0], rgb[1], rgb[2]});
  const double min = std::min({rgb[0], rgb[1], rgb[2]});
  const double chroma = max - min;
  const double l = (max + min) / 2.0;
  const double denominator = 1.0 - std::fabs(2.0 * l - 1.0);
  const double s = chroma < 1e-9 || denominator == 0 ? 0.0 : chroma / denominator;
  return {rgbHue(rgb, max, chroma), s, l};
}

Vec3 hslToSrgb(const Vec3& hsl) {
  const double chroma = (1.0 - std::fabs(2.0 * hsl[2] - 1.0)) * hsl[1];
  return hueToRgb(hsl[0], chroma, hsl[2] - chroma / 2.0);
}

Vec3 srgbToHwb(const Vec3& rgb) {
  const double max = std::max({rgb[0], rgb[1], rgb[2]});
  const double min = std::min({rgb[0], rgb[1], rgb[2]});
  return {rgbHue(rgb, max, max - min), min, 1.0 - max};
}

Vec3 hwbToSrgb(const Vec3& hwb) {
  double w = hwb[1];
  double b = hwb[2];
  if (w + b >= 1.0) {
    const double grey = w / (w + b);
    return {grey, grey, grey};
  }
  const Vec3 pure = hueToRgb(hwb[0], 1.0, 0.0);
  const double scale = 1.0 - w - b;
  return {pure[0] * scale + w, pure[1] * scale + w, pure[2] * scale + w};
}

Vec3 hueSpaceToSrgb(Family family, const Vec3& v) {
  if (family == famHsv) return hsvToSrgb(v);
  if (family == famHsl) return hslToSrgb(v);
  return hwbToSrgb(v);
}

Vec3 srgbToHueSpace(Family family, const Vec3& rgb) {
  if (family == famHsv) return srgbToHsv(rgb);
  if (family == famHsl) return srgbToHsl(rgb);
  return srgbToHwb(rgb);
}

// ---- Y′CbCr --------------------------------------------------------------------------------

Vec3 srgbToYcbcr(const Vec3& rgb) {
  const double y = 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
  return {y, (rgb[2] - y) / 1.8556, (rgb[0] - y) / 1.5748};
}

Vec3 ycbcrToSrgb(const Vec3& ycc) {
  const double r = ycc[0] + 1.5748 * ycc[2];
  const double b = ycc[0] + 1.8556 * ycc[1];
  const double g = (ycc[0] - 0.2126 * r - 0.0722 * b) / 0.7152;
  return {r, g, b};
}

// ---- PQ-based spaces -------------------------------------------------------------------------

constexpr double kMediaWhite = 203.0;  // cd/m² of relative Y = 1
constexpr double kPqM1 = 0.1593017578125;
constexpr double kPqM2 = 78.84375;
constexpr double kPqC1 = 0.8359375;
constexpr double kPqC2 = 18.8515625;
constexpr double kPqC3 = 18.6875;

// Inverse EOTF with exponent m2 (or Jzazbz's p) of an absolute luminance.
double pqEncode(double luminance, double exponent) {
  const double y = std::pow(std::fmax(luminance, 0.0) / 10000.0, kPqM1);
  return std::pow((kPqC1 + kPqC2 * y) / (1.0 + kPqC3 * y), exponent);
}

double pqDecode(double encoded, double exponent) {
  const double e = std::pow(std::fmax(encoded, 0.0), 1.0 / exponent);
  return 10000.0 * std::pow(std::fmax(e - kPqC1, 0.0) / (kPqC2 - kPqC3 * e), 1.0 / kPqM1);
}

constexpr Mat3 kIctcpXyzToLms = {{{0.3592832590121217, 0.6976051147779502, -0.0358915932320290},
                                  {-0.1920808463704993, 1.1004767970374321, 0.0753748658519118},
                                  {0.0070797844607479, 0.0748396662186362, 0.8433265453898765}}};
constexpr Mat3 kIctcpLmsToXyz = {{{2.0701522183894223, -1.3263473389671563, 0.2066510476294053},
                                  {0.3647385209748072, 0.6805660249472273, -0.0453045459220347},
                                  {-0.0497472075358123, -0.0492609666966131, 1.1880659249923042}}};
constexpr Mat3 kIctcpFromLmsPrime = {{{0.5, 0.5, 0.0},
                                      {1.61376953125, -3.323486328125, 1.709716796875},
                                      {4.378173828125, -4.24560546875, -0.132568359375}}};
constexpr Mat3 kIctcpToLmsPrime = {{{1.0, 0.008609037037932761, 0.11102962500302593},
                                    {1.0, -0.00860903703793275, -0.11102962500302599},
                                    {1.0, 0.5600313357106791, -0.32062717498731885}}};

Vec3 xyzToIctcp(const Vec3& xyz) {
  const Vec3 lms =
      apply3(kIctcpXyzToLms, {xyz[0] * kMediaWhite, xyz[1] * kMediaWhite, xyz[2] * kMediaWhite});
  return apply3(kIctcpFromLmsPrime,
                {pqEncode(lms[0], kPqM2), pqEncode(lms[1], kPqM2), pqEncode(lms[2], kPqM2)});
}

Vec3 ictcpToXyz(const Vec3& ictcp) {
  const Vec3 prime = apply3(kIctcpToLmsPrime, ictcp);
  const Vec3 xyz = apply3(kIctcpLmsToXyz, {pqDecode(prime[0], kPqM2), pqDecode(prime[1], kPqM2),
                                           pqDecode(prime[2], kPqM2)});
  return {xyz[0] / kMediaWhite, xyz[1] / kMediaWhite, xyz[2] / kMediaWhite};
}

constexpr double kJzB = 1.15;
constexpr double kJzG = 0.66;
constexpr double kJzP = 134.034375;
constexpr double kJzD = -0.56;
constexpr double kJzD0 = 1.6295499532821566e-11;
constexpr Mat3 kJzXyzToLms = {{{0.41478972, 0.579999, 0.0146480},
                               {-0.2015100, 1.120649, 0.0531008},
                               {-0.0166008, 0.264800, 0.6684799}}};
constexpr Mat3 kJzLmsToXyz = {{{1.9242264357876067, -1.0047923125953657, 0.037651404030618},
                               {0.35031676209499907, 0.7264811939316552, -0.06538442294808501},
                               {-0.09098281098284752, -0.3127282905230739, 1.5227665613052603}}};
constexpr Mat3 kJzFromLmsPrime = {
    {{0.5, 0.5, 0.0}, {3.524000, -4.066708, 0.542708}, {0.199076, 1.096799, -1.295875}}};
constexpr Mat3 kJzToLmsPrime = {{{1.0, 0.13860504327153927, 0.05804731615611883},
                                 {1.0, -0.1386050432715393, -0.058047316156118904},
                                 {1.0, -0.09601924202631895, -0.811891896056039}}};

Vec3 xyzToJzazbz(const Vec3& relative) {
  const Vec3 xyz = {relative[0] * kMediaWhite, relative[1] * kMediaWhite,
                    relative[2] * kMediaWhite};
  const double xp = kJzB * xyz[0] - (kJzB - 1.0) * xyz[2];
  const double yp = kJzG * xyz[1] - (kJzG - 1.0) * xyz[0];
  const Vec3 lms = apply3(kJzXyzToLms, {xp, yp, xyz[2]});
  const Vec3 iab = apply3(kJzFromLmsPrime,
                          {pqEncode(lms[0], kJzP), pqEncode(lms[1], kJzP), pqEncode(lms[2], kJzP)});
  const double jz = (1.0 + kJzD) * iab[0] / (1.0 + kJzD * iab[0]) - kJzD0;
  return {jz, iab[1], iab[2]};
}

Vec3 jzazbzToXyz(const Vec3& jab) {
  const double iz = (jab[0] + kJzD0) / (1.0 + kJzD - kJzD * (jab[0] + kJzD0));
  const Vec3 prime = apply3(kJzToLmsPrime, {iz, jab[1], jab[2]});
  const Vec3 xyzp = apply3(
      kJzLmsToXyz, {pqDecode(prime[0], kJzP), pqDecode(prime[1], kJzP), pqDecode(prime[2], kJzP)});
  const double x = (xyzp[0] + (kJzB - 1.0) * xyzp[2]) / kJzB;
  const double y = (xyzp[1] + (kJzG - 1.0) * x) / kJzG;
  return {x / kMediaWhite, y / kMediaWhite, xyzp[2] / kMediaWhite};
}

// ---- OKLab -----------------------------------------------------------------------------------

constexpr Mat3 kOkToLms = {{{0.4122214708, 0.5363325363, 0.0514459929},
                            {0.2119034982, 0.6806995451, 0.1073969566},
                            {0.088302461, 0.2817188376, 0.6299787005}}};
constexpr Mat3 kOkFromLmsPrime = {{{0.2104542553, 0.793617786, -0.0040720468},
                                   {1.9779984951, -2.428592205, 0.4505937099},
                                   {0.0259040371, 0.7827717662, -0.808675766}}};

// ---- CAM16 family ----------------------------------------------------------------------------

Vec3 scaled(const Vec3& v, double k) { return {v[0] * k, v[1] * k, v[2] * k}; }

Vec3 xyzToHct(const Vec3& xyz) {
  const Cam16 cam = xyzToCam16(scaled(xyz, 100.0));
  return {cam.h, cam.c, lstarFromY(xyz[1] * 100.0)};
}

Vec3 hctToXyz(const Vec3& hct) {
  const std::array<int, 3> bytes = solveToInt(hct[0], hct[1], hct[2]);
  return encodedSrgbToXyz({bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0});
}

// ---- The hub ---------------------------------------------------------------------------------

ColorError notRegistered(const char* what, const char* context) {
  return colorError(cekUnknownSpace, what, context);
}

Result<Vec3> toXyzOf(const SpaceDescriptor& d, const Vec3& v) {
  switch (d.family) {
    case famRgbEncoded:
    case famRgbLinear: {
      Vec3 linear = v;
      if (d.family == famRgbEncoded) {
        for (double& x : linear) x = transferDecode(d.transfer, d.gamma, x);
      }
      const Vec3 xyz = apply3(d.toXyz, linear);
      return d.white == kD65 ? xyz : adapt(xyz, d.white, kD65);
    }
    case famXyz:
      return v;
    case famXyy:
      if (v[1] == 0.0) return colorError(cekUndefined, "xyY with y=0 is undefined", "toXYZ");
      return Vec3{v[0] * v[2] / v[1], v[2], (1.0 - v[0] - v[1]) * v[2] / v[1]};
    case famLab:
      return adapt(labToXyzD50(v), kD50, kD65);
    case famLch:
      return adapt(labToXyzD50(fromPolar(v)), kD50, kD65);
    case famOklab:
      return apply3(srgb().toXyz, oklabToLinearSrgb(v));
    case famOklch:
      return apply3(srgb().toXyz, oklabToLinearSrgb(fromPolar(v)));
    case famHsv:
    case famHsl:
    case famHwb:
      return encodedSrgbToXyz(hueSpaceToSrgb(d.family, v));
    case famCmyk:
      return encodedSrgbToXyz({1.0 - v[0], 1.0 - v[1], 1.0 - v[2]});
    case famYcbcr:
      return encodedSrgbToXyz(ycbcrToSrgb(v));
    case famIctcp:
      return ictcpToXyz(v);
    case famJzazbz:
      return jzazbzToXyz(v);
    case famCam16:
      return scaled(cam16ToXyz(v[0], v[1], v[2]), 0.01);
    case famCam16Ucs: {
      const Vec3 jch = ucsToJch(v);
      return scaled(cam16ToXyz(jch[0], jch[1], jch[2]), 0.01);
    }
    case famHct:
      return hctToXyz(v);
  }
  return colorError(cekUnsupported, "toXYZ not implemented for family", "toXYZ");
}

Result<Vec3> fromXyzOf(const SpaceDescriptor& d, const Vec3& xyz) {
  switch (d.family) {
    case famRgbEncoded:
    case famRgbLinear: {
      Vec3 rgb = apply3(d.fromXyz, d.white == kD65 ? xyz : adapt(xyz, kD65, d.white));
      if (d.family == famRgbEncoded) {
        for (double& x : rgb) x = transferEncode(d.transfer, d.gamma, x);
      }
      return rgb;
    }
    case famXyz:
      return xyz;
    case famXyy: {
      const double sum = xyz[0] + xyz[1] + xyz[2];
      if (sum == 0.0) return colorError(cekUndefined, "XYZ sum=0 -> xyY undefined", "fromXYZ");
      return Vec3{xyz[0] / sum, xyz[1] / sum, xyz[1]};
    }
    case famLab:
      return xyzD50ToLab(adapt(xyz, kD65, kD50));
    case famLch:
      return toPolar(xyzD50ToLab(adapt(xyz, kD65, kD50)));
    case famOklab:
      return linearSrgbToOklab(apply3(srgb().fromXyz, xyz));
    case famOklch:
      return toPolar(linearSrgbToOklab(apply3(srgb().fromXyz, xyz)));
    case famHsv:
    case famHsl:
    case famHwb:
      return srgbToHueSpace(d.family, xyzToEncodedSrgb(xyz));
    case famCmyk: {
      const Vec3 rgb = xyzToEncodedSrgb(xyz);
      return Vec3{1.0 - rgb[0], 1.0 - rgb[1], 1.0 - rgb[2]};
    }
    case famYcbcr:
      return srgbToYcbcr(xyzToEncodedSrgb(xyz));
    case famIctcp:
      return xyzToIctcp(xyz);
    case famJzazbz:
      return xyzToJzazbz(xyz);
    case famCam16: {
      const Cam16 cam = xyzToCam16(scaled(xyz, 100.0));
      return Vec3{cam.j, cam.c, cam.h};
    }
    case famCam16Ucs:
      return cam16ToUcs(xyzToCam16(scaled(xyz, 100.0)));
    case famHct:
      return xyzToHct(xyz);
  }
  return colorError(cekUnsupported, "fromXYZ not implemented for family", "fromXYZ");
}

Result<Vec3> shortPathOf(const SpaceDescriptor& from, const SpaceDescriptor& to, const Vec3& v) {
  if (!isShortPathPair(from.tag, to.tag)) {
    return colorError(cekUnsupported, "not a short-path pair", "shortPath");
  }
  switch (from.family) {
    case famLab:
    case famOklab:
      return toPolar(v);
    case famLch:
    case famOklch:
      return fromPolar(v);
    case famRgbEncoded:
      return decodeSrgb(v);
    case famRgbLinear:
      return encodeSrgb(v);
    default:
      return srgbToHueSpace(to.family, hueSpaceToSrgb(from.family, v));
  }
}

Vec3 toVec(const Color& c) { return {c.c[0], c.c[1], c.c[2]}; }

Result<Color> narrow(SpaceTag space, const Result<Vec3>& v, float alpha, const char* context) {
  if (!v.ok()) return v.error();
  const Color out{{static_cast<float>(v.value()[0]), static_cast<float>(v.value()[1]),
                   static_cast<float>(v.value()[2])},
                  alpha,
                  space};
  for (float x : out.c) {
    if (!std::isfinite(x)) return colorError(cekNonFinite, "component NaN/Inf at bounds", context);
  }
  return out;
}

}  // namespace

double cubeRoot(double x) {
  const double a = std::fabs(x);
  if (!(a >= DBL_MIN) || a == HUGE_VAL) return std::cbrt(x);  // 0, subnormal, inf, NaN
  // An estimate within a few percent from the exponent bits, then two Halley steps (cubic
  // convergence: relative error below 1e-14).
  double y = std::bit_cast<double>(std::bit_cast<uint64_t>(a) / 3 + 0x2A9F7893782DA1CEull);
  for (int i = 0; i < 2; ++i) {
    const double y3 = y * y * y;
    y = y * (y3 + 2.0 * a) / (2.0 * y3 + a);
  }
  return x < 0 ? -y : y;
}

Vec3 linearSrgbToOklab(const Vec3& rgb) {
  const Vec3 lms = apply3(kOkToLms, rgb);
  return apply3(kOkFromLmsPrime, {cubeRoot(lms[0]), cubeRoot(lms[1]), cubeRoot(lms[2])});
}

Vec3 oklabToLinearSrgb(const Vec3& lab) {
  static const Mat3 fromPrime = inverse3(kOkFromLmsPrime).value();
  static const Mat3 fromLms = inverse3(kOkToLms).value();
  const Vec3 prime = apply3(fromPrime, lab);
  return apply3(fromLms, {prime[0] * prime[0] * prime[0], prime[1] * prime[1] * prime[1],
                          prime[2] * prime[2] * prime[2]});
}

namespace {

// What the conversion of an sRGB byte triple into OKLab needs: the decoded level of each byte
// and the sRGB matrices of the registry.
struct SrgbBytesToOklab {
  std::array<double, 256> linear{};
  Mat3 toXyz{};
  Mat3 fromXyz{};
  SrgbBytesToOklab() {
    const SpaceDescriptor& d = srgb();  // relative to D65, as OKLab: no adaptation between
    for (int k = 0; k < 256; ++k) {
      linear[k] = transferDecode(d.transfer, d.gamma, static_cast<float>(k) / 255.0f);
    }
    toXyz = d.toXyz;
    fromXyz = d.fromXyz;
  }
};

const SrgbBytesToOklab& srgbBytesToOklab() {
  static const SrgbBytesToOklab tables;
  return tables;
}

// One triple, as `to` computes it.
bool oklabOfSrgbByte(const SrgbBytesToOklab& t, uint32_t rgb, std::array<float, 3>& out) {
  const Vec3 linear = {t.linear[rgb >> 16 & 255], t.linear[rgb >> 8 & 255], t.linear[rgb & 255]};
  const Vec3 lab = linearSrgbToOklab(apply3(t.fromXyz, apply3(t.toXyz, linear)));
  out = {static_cast<float>(lab[0]), static_cast<float>(lab[1]), static_cast<float>(lab[2])};
  return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
}

#if defined(__x86_64__)
#define ORVEL_OKLAB_AVX2 [[gnu::target("avx2"), gnu::always_inline]] inline

struct Lanes3 {
  __m256d v[3];
};

// m × v per lane, each row summed left to right as apply3 does.
ORVEL_OKLAB_AVX2 Lanes3 applyLanes(const Mat3& m, const Lanes3& x) {
  Lanes3 out;
  for (int i = 0; i < 3; ++i) {
    const __m256d p0 = _mm256_mul_pd(_mm256_set1_pd(m[i][0]), x.v[0]);
    const __m256d p1 = _mm256_mul_pd(_mm256_set1_pd(m[i][1]), x.v[1]);
    const __m256d p2 = _mm256_mul_pd(_mm256_set1_pd(m[i][2]), x.v[2]);
    out.v[i] = _mm256_add_pd(_mm256_add_pd(p0, p1), p2);
  }
  return out;
}

// Unsigned integers below 2^52 as doubles and back, exactly.
ORVEL_OKLAB_AVX2 __m256d doubleOf(__m256i v) {
  const __m256d magic = _mm256_set1_pd(4503599627370496.0);  // 2^52
  return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(v), magic), magic);
}

ORVEL_OKLAB_AVX2 __m256i integerOf(__m256d v) {
  const __m256d magic = _mm256_set1_pd(4503599627370496.0);
  return _mm256_xor_si256(_mm256_castpd_si256(_mm256_add_pd(v, magic)),
                          _mm256_castpd_si256(magic));
}

// floor(x / 3) of integers 0 <= x < 2^34: (x + 0.5) / 3 lies a sixth or more away from an
// integer, far beyond the error of the product with the rounded third.
ORVEL_OKLAB_AVX2 __m256d thirdOf(__m256d x) {
  return _mm256_floor_pd(
      _mm256_mul_pd(_mm256_add_pd(x, _mm256_set1_pd(0.5)), _mm256_set1_pd(1.0 / 3.0)));
}

// The bits of each lane divided by 3, as 2^32 × (high / 3) + (2^32 × (high % 3) + low) / 3.
ORVEL_OKLAB_AVX2 __m256i bitsThird(__m256d a) {
  const __m256i bits = _mm256_castpd_si256(a);
  const __m256d high = doubleOf(_mm256_srli_epi64(bits, 32));
  const __m256d low = doubleOf(_mm256_and_si256(bits, _mm256_set1_epi64x(0xFFFFFFFF)));
  const __m256d highThird = thirdOf(high);
  const __m256d rest = _mm256_sub_pd(high, _mm256_mul_pd(highThird, _mm256_set1_pd(3.0)));
  const __m256d lowThird =
      thirdOf(_mm256_add_pd(_mm256_mul_pd(rest, _mm256_set1_pd(4294967296.0)), low));
  return _mm256_add_epi64(_mm256_slli_epi64(integerOf(highThird), 32), integerOf(lowThird));
}

// cubeRoot per lane for magnitudes in [DBL_MIN, inf); `special` collects the lanes outside.
ORVEL_OKLAB_AVX2 __m256d cubeRootLanes(__m256d x, __m256d& special) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d a = _mm256_andnot_pd(sign, x);
  special = _mm256_or_pd(special, _mm256_cmp_pd(a, _mm256_set1_pd(DBL_MIN), _CMP_NGE_UQ));
  special = _mm256_or_pd(special, _mm256_cmp_pd(a, _mm256_set1_pd(HUGE_VAL), _CMP_EQ_OQ));
  __m256d y = _mm256_castsi256_pd(
      _mm256_add_epi64(bitsThird(a), _mm256_set1_epi64x(0x2A9F7893782DA1CEll)));
  const __m256d two = _mm256_set1_pd(2.0);
  for (int i = 0; i < 2; ++i) {
    const __m256d y3 = _mm256_mul_pd(_mm256_mul_pd(y, y), y);
    const __m256d num = _mm256_mul_pd(y, _mm256_add_pd(y3, _mm256_mul_pd(two, a)));
    y = _mm256_div_pd(num, _mm256_add_pd(_mm256_mul_pd(two, y3), a));
  }
  return _mm256_or_pd(y, _mm256_and_pd(sign, x));
}

// The decoded levels of the low bytes of four lanes.
ORVEL_OKLAB_AVX2 __m256d levelsOf(const SrgbBytesToOklab& t, __m128i lanes) {
  const __m128i byte = _mm_and_si128(lanes, _mm_set1_epi32(255));
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), t.linear.data(), byte, all, 8);
}

// Groups of four triples, each stage over every group before the next so that the long
// chains of the cube roots overlap; lanes the vector path does not cover go through the
// scalar one.
template <int kGroups>
ORVEL_OKLAB_AVX2 bool oklabGroups(const SrgbBytesToOklab& t, const uint32_t* triples,
                                  std::array<float, 3>* out) {
  Lanes3 lms[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    const __m128i rgb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(triples + 4 * g));
    Lanes3 linear;
    for (int c = 0; c < 3; ++c) linear.v[c] = levelsOf(t, _mm_srli_epi32(rgb, 16 - 8 * c));
    lms[g] = applyLanes(kOkToLms, applyLanes(t.fromXyz, applyLanes(t.toXyz, linear)));
  }
  __m256d special[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    special[g] = _mm256_setzero_pd();
    for (int c = 0; c < 3; ++c) lms[g].v[c] = cubeRootLanes(lms[g].v[c], special[g]);
  }
  bool finite = true;
  for (int g = 0; g < kGroups; ++g) {
    const Lanes3 lab = applyLanes(kOkFromLmsPrime, lms[g]);
    alignas(16) float narrow[3][4];
    __m128 nonFinite = _mm_setzero_ps();
    for (int c = 0; c < 3; ++c) {
      const __m128 v = _mm256_cvtpd_ps(lab.v[c]);
      _mm_store_ps(narrow[c], v);
      nonFinite = _mm_or_ps(nonFinite, _mm_cmp_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), v),
                                                  _mm_set1_ps(HUGE_VALF), _CMP_NLT_UQ));
    }
    const int unusual = _mm256_movemask_pd(special[g]) | _mm_movemask_ps(nonFinite);
    std::array<float, 3>* to = out + 4 * g;
    for (int lane = 0; lane < 4; ++lane) {
      to[lane] = {narrow[0][lane], narrow[1][lane], narrow[2][lane]};
      if (unusual >> lane & 1) finite &= oklabOfSrgbByte(t, triples[4 * g + lane], to[lane]);
    }
  }
  return finite;
}

[[gnu::target("avx2")]] bool oklabOfSrgbBytesAvx2(const SrgbBytesToOklab& t,
                                                  const uint32_t* triples, std::size_t count,
                                                  std::array<float, 3>* out) {
  constexpr int kGroups = 8;
  bool finite = true;
  std::size_t i = 0;
  for (; i + 4 * kGroups <= count; i += 4 * kGroups) {
    finite &= oklabGroups<kGroups>(t, triples + i, out + i);
  }
  for (; i + 4 <= count; i += 4) finite &= oklabGroups<1>(t, triples + i, out + i);
  for (; i < count; ++i) finite &= oklabOfSrgbByte(t, triples[i], out[i]);
  return finite;
}
#endif

}  // namespace

bool oklabOfSrgbBytes(const uint32_t* triples, std::size_t count, std::array<float, 3>* out) {
  const SrgbBytesToOklab& t = srgbBytesToOklab();
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return oklabOfSrgbBytesAvx2(t, triples, count, out);
#endif
  bool finite = true;
  for (std::size_t i = 0; i < count; ++i) finite &= oklabOfSrgbByte(t, triples[i], out[i]);
  return finite;
}

bool isShortPathPair(SpaceTag from, SpaceTag to) {
  auto pair = [&](SpaceTag a, SpaceTag b) {
    return (from == a && to == b) || (from == b && to == a);
  };
  auto hueSpace = [](SpaceTag t) { return t == tagHsv || t == tagHsl || t == tagHwb; };
  return from != to && (pair(tagLab, tagLch) || pair(tagOklab, tagOklch) ||
                        pair(tagSrgb, tagSrgbLinear) || (hueSpace(from) && hueSpace(to)));
}

Result<Vec3> convertComponents(SpaceTag from, SpaceTag target, const Vec3& v) {
  const SpaceDescriptor* source = spaceByTag(from);
  if (source == nullptr) return notRegistered("space not registered", "to");
  const SpaceDescriptor* destination = spaceByTag(target);
  if (destination == nullptr) return notRegistered("target space not registered", "to");
  if (from == target) return v;
  if (isShortPathPair(from, target)) return shortPathOf(*source, *destination, v);
  Result<Vec3> xyz = toXyzOf(*source, v);
  if (!xyz.ok()) return xyz;
  return fromXyzOf(*destination, xyz.value());
}

Result<Color> to(const Color& colour, SpaceTag target) {
  if (colour.space == target && spaceByTag(target) != nullptr) return colour;
  return narrow(target, convertComponents(colour.space, target, toVec(colour)), colour.alpha, "to");
}

Result<Color> shortPath(const Color& colour, SpaceTag target) {
  const SpaceDescriptor* source = spaceByTag(colour.space);
  const SpaceDescriptor* destination = spaceByTag(target);
  if (source == nullptr || destination == nullptr || !isShortPathPair(colour.space, target)) {
    return colorError(cekUnsupported, "not a short-path pair", "shortPath");
  }
  return narrow(target, shortPathOf(*source, *destination, toVec(colour)), colour.alpha,
                "shortPath");
}

Result<Color> toXYZ(const Color& colour) {
  const SpaceDescriptor* source = spaceByTag(colour.space);
  if (source == nullptr) return notRegistered("space not registered", "toXYZ");
  return narrow(tagXyz, toXyzOf(*source, toVec(colour)), colour.alpha, "toXYZ");
}

Result<Color> fromXYZ(const Color& xyz, SpaceTag target) {
  const SpaceDescriptor* destination = spaceByTag(target);
  if (destination == nullptr) return notRegistered("target space not registered", "fromXYZ");
  return narrow(target, fromXyzOf(*destination, toVec(xyz)), xyz.alpha, "fromXYZ");
}

}  // namespace orvel::color
