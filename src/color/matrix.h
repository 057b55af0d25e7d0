// 3×3 matrices and vectors in double precision, row-major, for the colour conversions.
#pragma once

#include <array>

#include "color/color.h"

namespace orvel::color {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

Mat3 mul3(const Mat3& a, const Mat3& b) noexcept;

// m · v, each row summed left to right.
inline Vec3 apply3(const Mat3& m, const Vec3& v) noexcept {
  return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
          m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
          m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

double det3(const Mat3& m) noexcept;

// The inverse by cofactors: "inverse3: non-finite entry", "inverse3: singular matrix".
Result<Mat3> inverse3(const Mat3& m);

}  // namespace orvel::color
