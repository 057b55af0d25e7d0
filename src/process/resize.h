// Resampling: nearest neighbour, bilinear and box (area average) filters. The filtered ones are
// separable: a horizontal pass into 32-bit floats, then a vertical pass into bytes; RGBA colour
// is weighted by alpha on the way.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/image.h"

namespace orvel::process {

enum Filter : uint8_t {
  rfNearest = 0,
  rfBilinear = 1,
  rfBox = 2,
};

// The filter a C caller's number names; any other number raises "ov_image: bad filter".
Filter filterFromCint(uint32_t code);

// The weights of one axis: entry i lists the (source index, weight) pairs of output index i.
struct WeightTable {
  std::vector<int64_t> start{0};  // entry i holds the pairs [start[i], start[i + 1])
  std::vector<int64_t> index;
  std::vector<float> weight;

  int64_t entries() const noexcept { return static_cast<int64_t>(start.size()) - 1; }
  std::span<const int64_t> indices(int64_t entry) const noexcept {
    return {index.data() + start[entry], static_cast<size_t>(start[entry + 1] - start[entry])};
  }
  std::span<const float> weights(int64_t entry) const noexcept {
    return {weight.data() + start[entry], static_cast<size_t>(start[entry + 1] - start[entry])};
  }
  void add(int64_t source, float w) {
    index.push_back(source);
    weight.push_back(w);
  }
  void closeEntry() { start.push_back(static_cast<int64_t>(index.size())); }
};

float clamp(float x, float low, float high) noexcept;

// Two samples around each output position, at any ratio.
WeightTable bilinearWeights(int64_t sourceLength, int64_t outputLength);
// The source cells each output cell covers, by their overlap, normalised to sum 1.
WeightTable boxWeights(int64_t sourceLength, int64_t outputLength);
// The table of a filter; nearest neighbour samples directly and has an empty one.
WeightTable buildWeights(Filter filter, int64_t sourceLength, int64_t outputLength);

// A filtered value as a byte: rounded half up, clamped to 0..255.
inline uint8_t toByte(float x) noexcept {
  if (x <= 0) return 0;
  if (x >= 255) return 255;
  return static_cast<uint8_t>(x + 0.5f);
}

// A new image of width × height resampled from `source` (any layout, kept). Raises
// OrvelException (iekInvalid) for a malformed source, a size below 1 or one whose work or
// output is too large.
image::Image resize(const image::Image& source, int64_t width, int64_t height, Filter filter);

}  // namespace orvel::process
