// The vector loops of resampling and compositing, compiled twice (SSE2, and AVX2 for the
// processors that have it) from one source; the chosen set is picked once per process.
#pragma once

#include <cstdint>

namespace orvel::process {

// The horizontal weights laid out for the vector loops: output pixels in groups (two for pixels
// of three or four channels, eight for one channel), each group with as many taps as its
// widest member, the narrower ones padded with weight 0 (adding +0 leaves a sum unchanged).
// Tap t of group g holds one float offset into the source row and one weight per pixel.
struct HorizontalView {
  const int64_t* tapStart;  // group g's taps are [tapStart[g], tapStart[g + 1])
  const int64_t* offset;    // per tap, group-size entries: source sample index × channels
  const float* weight;      // per tap, group-size entries
  int64_t groups;
};

// Every loop computes each value with the same operations, in the same order, as the scalar
// definition: sums start at 0 and add w × sample per tap.
struct ResizeKernels {
  // count bytes to floats.
  void (*bytesToFloats)(const uint8_t* source, float* out, int64_t count);
  // One source row (as floats) to one intermediate row: one channel, three, four plain, and
  // RGBA with colour weighted by alpha.
  void (*horizontal1)(const float* row, const HorizontalView& plan, float* out);
  void (*horizontal3)(const float* row, const HorizontalView& plan, float* out);
  void (*horizontal4)(const float* row, const HorizontalView& plan, float* out);
  void (*horizontalRgba)(const float* row, const HorizontalView& plan, float* out);
  // Sums `taps` intermediate rows with their weights and writes count bytes; rows are padded
  // to a multiple of 32 floats.
  void (*verticalPlain)(const float* const* rows, const float* weights, int64_t taps, int64_t count,
                        uint8_t* out);
  void (*verticalRgba)(const float* const* rows, const float* weights, int64_t taps, int64_t count,
                       uint8_t* out);
};

// The blend of one row of `count` pixels: source pixels as R, G, B, A bytes (A 255 for
// sources without alpha), destination RGBA pixels changed in place.
struct CompositeKernels {
  void (*blendRow)(const uint8_t* sourceRgba, uint8_t* destination, int64_t count,
                   uint32_t opacity);
};

const ResizeKernels& resizeKernels() noexcept;
const CompositeKernels& compositeKernels() noexcept;

// Where the processor offers AVX2 the loops use it; this picks the SSE2 ones instead, so that
// tests can prove both give the same bytes.
void usePortableKernels(bool portable) noexcept;

}  // namespace orvel::process
