// The arithmetic of both directions, block by block and row by row: the transforms in single
// precision (lanes across columns, each lane in the order of the direct sums), quantisation,
// and the colour conversions with fused multiply-adds. One SSE2 set and, where the processor
// has them, one AVX2 and FMA set; both give the same bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/jpeg/tables.h"

namespace orvel::codec::jpeg {

struct JpegKernels {
  // The inverse transform of one block of dequantised coefficients (natural order, 0 where the
  // block has none). Bit v of `rows` is set when row v holds a non-zero coefficient, of
  // `acRows` when it holds one past column 0. Writes 8 rows of 8 samples, `stride` apart.
  //   r(x, v) = sum over u of (C(u) F(u, v)) cos(x, u)
  //   f(x, y) = 1/4 sum over v of (C(v) r(x, v)) cos(y, v)
  // Terms of zero coefficients, and rows of them, are skipped: they leave the sums unchanged.
  void (*inverseTransform)(const float* coefficients, unsigned rows, unsigned acRows, float* out,
                           std::ptrdiff_t stride, const CosineTable& cosine);
  // The forward transform of 8 rows of 8 samples (`stride` apart), each coefficient divided by
  // its quantiser (natural order) and rounded half away from zero; natural order out.
  //   r(u, y) = C(u) sum over x of f(x, y) cos(x, u)
  //   F(u, v) = 1/4 (C(v) sum over y of r(u, y) cos(y, v))
  void (*forwardTransform)(const float* samples, std::ptrdiff_t stride, const float* quant,
                           int32_t* out, const CosineTable& cosine);
  // Y, Cb, Cr samples centred on 0 to interleaved R, G, B bytes.
  void (*yccToRgb)(const float* y, const float* cb, const float* cr, uint8_t* rgb, int64_t count);
  // Y samples centred on 0 to gray bytes.
  void (*yToGray)(const float* y, uint8_t* gray, int64_t count);
  // Interleaved R, G, B bytes to Y, Cb, Cr samples centred on 0.
  void (*rgbToYcc)(const uint8_t* rgb, int64_t count, float* y, float* cb, float* cr);
};

// The best set for this processor (or the SSE2 set when choosePortableJpeg asked for it).
const JpegKernels& jpegKernels();

}  // namespace orvel::codec::jpeg
