#include "color/cam16.h"

#include <cmath>
#include <numbers>

#include "color/spaces.h"

namespace orvel::color {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr Mat3 kM16 = {{{0.401288, 0.650173, -0.051461},
                        {-0.250268, 1.204414, 0.045854},
                        {-0.002079, 0.048952, 0.953127}}};

const Mat3& m16Inverse() {
  static const Mat3 inverse = inverse3(kM16).value();
  return inverse;
}

double sign(double v) { return v < 0 ? -1.0 : (v > 0 ? 1.0 : 0.0); }

double adaptedResponse(double component, double fl) {
  const double x = std::pow(fl * std::fabs(component) / 100.0, 0.42);
  return sign(component) * 400.0 * x / (x + 27.13);
}

double wrapDegrees(double h) {
  double out = std::fmod(h, 360.0);
  if (out < 0) out += 360.0;
  return out;
}

double eccentricity(double hDegrees) {
  return 0.25 * (std::cos(hDegrees * kPi / 180.0 + 2.0) + 3.8);
}

}  // namespace

ViewingConditions makeViewingConditions(const Vec3& white, double adaptingLuminance,
                                        double backgroundY, double surroundF, double surroundC,
                                        double surroundNc) {
  ViewingConditions vc;
  vc.white = white;
  vc.adaptingLuminance = adaptingLuminance;
  vc.backgroundY = backgroundY;
  vc.f = surroundF;
  vc.c = surroundC;
  vc.nc = surroundNc;
  const Vec3 rgbW = apply3(kM16, white);
  double d = surroundF * (1.0 - (1.0 / 3.6) * std::exp((-adaptingLuminance - 42.0) / 92.0));
  d = d < 0 ? 0 : (d > 1 ? 1 : d);
  for (int i = 0; i < 3; ++i) vc.rgbD[i] = d * white[1] / rgbW[i] + 1.0 - d;
  const double k = 1.0 / (5.0 * adaptingLuminance + 1.0);
  const double k4 = k * k * k * k;
  vc.fl =
      k4 * adaptingLuminance + 0.1 * (1.0 - k4) * (1.0 - k4) * std::cbrt(5.0 * adaptingLuminance);
  vc.flRoot = std::pow(vc.fl, 0.25);
  vc.n = backgroundY / white[1];
  vc.z = 1.48 + std::sqrt(vc.n);
  vc.nbb = 0.725 * std::pow(vc.n, -0.2);
  vc.ncb = vc.nbb;
  Vec3 ra{};
  for (int i = 0; i < 3; ++i) ra[i] = adaptedResponse(vc.rgbD[i] * rgbW[i], vc.fl);
  vc.aw = (2.0 * ra[0] + ra[1] + 0.05 * ra[2]) * vc.nbb;
  return vc;
}

const ViewingConditions& defaultViewingConditions() {
  static const ViewingConditions vc = [] {
    const double backgroundY = yFromLstar(50.0);
    const Vec3 white = {kD65[0] * 100.0, kD65[1] * 100.0, kD65[2] * 100.0};
    return makeViewingConditions(white, 200.0 / kPi * backgroundY / 100.0, backgroundY, 1.0, 0.69,
                                 1.0);
  }();
  return vc;
}

Cam16 xyzToCam16(const Vec3& xyz, const ViewingConditions& vc) {
  const Vec3 rgb = apply3(kM16, xyz);
  Vec3 ra{};
  for (int i = 0; i < 3; ++i) ra[i] = adaptedResponse(vc.rgbD[i] * rgb[i], vc.fl);
  const double a = ra[0] - 12.0 * ra[1] / 11.0 + ra[2] / 11.0;
  const double b = (ra[0] + ra[1] - 2.0 * ra[2]) / 9.0;
  Cam16 out;
  out.h = wrapDegrees(std::atan2(b, a) * 180.0 / kPi);
  const double achromatic = (2.0 * ra[0] + ra[1] + 0.05 * ra[2]) * vc.nbb;
  out.j = 100.0 * std::pow(achromatic / vc.aw, vc.c * vc.z);
  out.q = (4.0 / vc.c) * std::sqrt(out.j / 100.0) * (vc.aw + 4.0) * vc.flRoot;
  const double t = (50000.0 / 13.0) * vc.nc * vc.ncb * eccentricity(out.h) * std::hypot(a, b) /
                   (ra[0] + ra[1] + 1.05 * ra[2] + 0.305);
  const double alpha = std::pow(t, 0.9) * std::pow(1.64 - std::pow(0.29, vc.n), 0.73);
  out.c = alpha * std::sqrt(out.j / 100.0);
  out.m = out.c * vc.flRoot;
  out.s = 50.0 * std::sqrt(alpha * vc.c / (vc.aw + 4.0));
  return out;
}

Vec3 cam16ToXyz(double j, double c, double h, const ViewingConditions& vc) {
  if (j == 0.0) return {0.0, 0.0, 0.0};
  const double alpha = c == 0.0 ? 0.0 : c / std::sqrt(j / 100.0);
  const double t = std::pow(alpha / std::pow(1.64 - std::pow(0.29, vc.n), 0.73), 1.0 / 0.9);
  const double hr = h * kPi / 180.0;
  const double achromatic = vc.aw * std::pow(j / 100.0, 1.0 / (vc.c * vc.z));
  const double p1 = (50000.0 / 13.0) * vc.nc * vc.ncb * eccentricity(h);
  const double p2 = achromatic / vc.nbb;
  const double hSin = std::sin(hr);
  const double hCos = std::cos(hr);
  const double gamma = 23.0 * (p2 + 0.305) * t / (23.0 * p1 + 11.0 * t * hCos + 108.0 * t * hSin);
  const double a = gamma * hCos;
  const double b = gamma * hSin;
  const Vec3 ra = {(460.0 * p2 + 451.0 * a + 288.0 * b) / 1403.0,
                   (460.0 * p2 - 891.0 * a - 261.0 * b) / 1403.0,
                   (460.0 * p2 - 220.0 * a - 6300.0 * b) / 1403.0};
  Vec3 rgb{};
  for (int i = 0; i < 3; ++i) {
    const double mag = std::fabs(ra[i]);
    const double base = std::fmax(0.0, 27.13 * mag / (400.0 - mag));
    rgb[i] = sign(ra[i]) * (100.0 / vc.fl) * std::pow(base, 1.0 / 0.42) / vc.rgbD[i];
  }
  return apply3(m16Inverse(), rgb);
}

Vec3 cam16ToUcs(const Cam16& cam) {
  const double jstar = 1.7 * cam.j / (1.0 + 0.007 * cam.j);
  const double mstar = std::log1p(0.0228 * cam.m) / 0.0228;
  const double hr = cam.h * kPi / 180.0;
  return {jstar, mstar * std::cos(hr), mstar * std::sin(hr)};
}

Vec3 ucsToJch(const Vec3& ucs, const ViewingConditions& vc) {
  const double j = ucs[0] / (1.0 - 0.007 * (ucs[0] - 100.0));
  const double mstar = std::hypot(ucs[1], ucs[2]);
  const double m = std::expm1(0.0228 * mstar) / 0.0228;
  const double h = wrapDegrees(std::atan2(ucs[2], ucs[1]) * 180.0 / kPi);
  return {j, m / vc.flRoot, h};
}

double lstarFromY(double y100) {
  const double t = y100 / 100.0;
  const double f = t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
  return 116.0 * f - 16.0;
}

double yFromLstar(double lstar) {
  const double u = (lstar + 16.0) / 116.0;
  const double u3 = u * u * u;
  return u3 > 216.0 / 24389.0 ? 100.0 * u3 : 100.0 * (116.0 * u - 16.0) / (24389.0 / 27.0);
}

// ---- The HCT solver --------------------------------------------------------------------

namespace {

using Rgb = Vec3;  // linear sRGB on the 0–100 scale

const Mat3& srgbToXyz() { return spaceByTag(tagSrgb)->toXyz; }
const Mat3& xyzToSrgb() { return spaceByTag(tagSrgb)->fromXyz; }

double luminance(const Rgb& rgb) {
  const Mat3& m = srgbToXyz();
  return m[1][0] * rgb[0] + m[1][1] * rgb[1] + m[1][2] * rgb[2];
}

double hueOf(const Rgb& linear) { return xyzToCam16(apply3(srgbToXyz(), linear)).h; }

int toByte(double linear100) {
  const double encoded = transferEncode(tkSrgb, 2.4, linear100 / 100.0) * 255.0;
  const double rounded = std::round(encoded);
  return rounded < 0 ? 0 : (rounded > 255 ? 255 : static_cast<int>(rounded));
}

std::array<int, 3> toBytes(const Rgb& rgb) {
  return {toByte(rgb[0]), toByte(rgb[1]), toByte(rgb[2])};
}

// Within one turn, is b met before c going from a?
bool inCyclicOrder(double a, double b, double c) { return wrapDegrees(b - a) < wrapDegrees(c - a); }

// Vertex n (0..11) of the plane of luminance y with the cube's edges, or nothing.
bool nthVertex(double y, int n, Rgb& out) {
  const Mat3& m = srgbToXyz();
  const double k[3] = {m[1][0], m[1][1], m[1][2]};
  const double coordA = n % 4 <= 1 ? 0.0 : 100.0;
  const double coordB = n % 2 == 0 ? 0.0 : 100.0;
  // The free channel of the edge and the two fixed ones.
  const int free = n < 4 ? 0 : (n < 8 ? 1 : 2);
  const int first = (free + 1) % 3;
  const int second = (free + 2) % 3;
  out[first] = coordA;
  out[second] = coordB;
  out[free] = (y - coordA * k[first] - coordB * k[second]) / k[free];
  return out[free] >= 0.0 && out[free] <= 100.0;
}

// The two adjacent vertices of the luminance plane whose hues bracket the target.
std::array<Rgb, 2> bracketOnCube(double y, double targetHue) {
  Rgb left{}, right{};
  double leftHue = 0, rightHue = 0;
  bool initialised = false;
  bool uncut = true;
  for (int n = 0; n < 12; ++n) {
    Rgb mid{};
    if (!nthVertex(y, n, mid)) continue;
    const double midHue = hueOf(mid);
    if (!initialised) {
      left = right = mid;
      leftHue = rightHue = midHue;
      initialised = true;
      continue;
    }
    if (uncut || inCyclicOrder(leftHue, midHue, rightHue)) {
      uncut = false;
      if (inCyclicOrder(leftHue, targetHue, midHue)) {
        right = mid;
        rightHue = midHue;
      } else {
        left = mid;
        leftHue = midHue;
      }
    }
  }
  return {left, right};
}

// The linear values (0–100) halfway between consecutive 8-bit codes.
double criticalPlane(int m) { return 100.0 * transferDecode(tkSrgb, 2.4, (m + 0.5) / 255.0); }

double encodedByteValue(double linear100) {
  return transferEncode(tkSrgb, 2.4, linear100 / 100.0) * 255.0;
}

Rgb lerpTo(const Rgb& source, double coordinate, const Rgb& target, int axis) {
  const double t = (coordinate - source[axis]) / (target[axis] - source[axis]);
  return {source[0] + (target[0] - source[0]) * t, source[1] + (target[1] - source[1]) * t,
          source[2] + (target[2] - source[2]) * t};
}

Rgb bisectToLimit(double y, double targetHue) {
  std::array<Rgb, 2> segment = bracketOnCube(y, targetHue);
  Rgb left = segment[0];
  Rgb right = segment[1];
  double leftHue = hueOf(left);
  for (int axis = 0; axis < 3; ++axis) {
    if (left[axis] == right[axis]) continue;
    int lPlane = 0, rPlane = 0;
    if (left[axis] < right[axis]) {
      lPlane = static_cast<int>(std::floor(encodedByteValue(left[axis]) - 0.5));
      rPlane = static_cast<int>(std::ceil(encodedByteValue(right[axis]) - 0.5));
    } else {
      lPlane = static_cast<int>(std::ceil(encodedByteValue(left[axis]) - 0.5));
      rPlane = static_cast<int>(std::floor(encodedByteValue(right[axis]) - 0.5));
    }
    for (int i = 0; i < 8; ++i) {
      if (std::abs(rPlane - lPlane) <= 1) break;
      const int mPlane = (lPlane + rPlane) / 2;
      if (mPlane < 0 || mPlane > 254) break;
      const Rgb mid = lerpTo(left, criticalPlane(mPlane), right, axis);
      const double midHue = hueOf(mid);
      if (inCyclicOrder(leftHue, targetHue, midHue)) {
        right = mid;
        rPlane = mPlane;
      } else {
        left = mid;
        leftHue = midHue;
        lPlane = mPlane;
      }
    }
  }
  return {(left[0] + right[0]) / 2.0, (left[1] + right[1]) / 2.0, (left[2] + right[2]) / 2.0};
}

// Newton iteration on J toward the target luminance; false when the colour lies outside sRGB.
bool findExact(double h, double c, double y, Rgb& out) {
  double j = std::sqrt(y) * 11.0;
  for (int round = 0; round < 5; ++round) {
    const Rgb linear = apply3(xyzToSrgb(), cam16ToXyz(j, c, h));
    if (linear[0] < 0 || linear[1] < 0 || linear[2] < 0) return false;
    const double fnj = luminance(linear);
    if (!(fnj > 0)) return false;
    if (round == 4 || std::fabs(fnj - y) < 0.002) {
      if (linear[0] > 100.01 || linear[1] > 100.01 || linear[2] > 100.01) return false;
      out = linear;
      return true;
    }
    j = j - (fnj - y) * j / (2.0 * fnj);
  }
  return false;
}

}  // namespace

std::array<int, 3> solveToInt(double h, double c, double t) {
  if (c < 0.0001 || t < 0.0001 || t > 99.9999) {
    const int grey = toByte(yFromLstar(t));
    return {grey, grey, grey};
  }
  h = wrapDegrees(h);
  const double y = yFromLstar(t);
  Rgb exact{};
  if (findExact(h, c, y, exact)) return toBytes(exact);
  return toBytes(bisectToLimit(y, h));
}

}  // namespace orvel::color
