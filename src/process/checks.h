// Whether an image record is consistent with itself, as the operations require of their inputs.
#pragma once

#include "image/image.h"

namespace orvel::process {

// Width and height at least 1, a known layout with its channel count, and exactly
// width × height × channels pixel bytes (a product that fits 64 bits).
inline bool isWellFormed(const image::Image& image) noexcept {
  if (image.width < 1 || image.height < 1) return false;
  if (image.colorspace >= image::ChannelCount.size()) return false;
  if (image.channels != image::ChannelCount[image.colorspace]) return false;
  int64_t bytes = 0;
  if (__builtin_mul_overflow(image.width, image.height, &bytes) ||
      __builtin_mul_overflow(bytes, image.channels, &bytes)) {
    return false;
  }
  return static_cast<uint64_t>(bytes) == image.pixels.size();
}

}  // namespace orvel::process
