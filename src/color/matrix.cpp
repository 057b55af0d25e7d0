#include "color/matrix.h"

#include <cmath>

namespace orvel::color {

Mat3 mul3(const Mat3& a, const Mat3& b) noexcept {
  Mat3 out{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c)
      out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
  }
  return out;
}

double det3(const Mat3& m) noexcept {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Result<Mat3> inverse3(const Mat3& m) {
  for (const Vec3& row : m) {
    for (double v : row) {
      if (!std::isfinite(v))
        return colorError(cekNonFinite, "inverse3: non-finite entry", "inverse3");
    }
  }
  const double det = det3(m);
  if (det == 0.0 || !std::isfinite(det)) {
    return colorError(cekSingular, "inverse3: singular matrix", "inverse3");
  }
  Mat3 out{};
  out[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
  out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
  out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
  out[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
  out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
  out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
  out[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
  out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
  out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
  return out;
}

}  // namespace orvel::color
