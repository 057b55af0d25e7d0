// The lossless WebP bitstream (VP8L): header, transforms, colour cache, prefix codes and the
// LZ77-coded pixels, decoded to 32-bit ARGB.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::webp {

// Pixels as 32-bit ARGB words (alpha in the top byte), row after row.
struct ArgbImage {
  int64_t width = 0;
  int64_t height = 0;
  image::PixelBuffer pixels;  // width × height × 4 bytes

  uint32_t* data() noexcept { return reinterpret_cast<uint32_t*>(pixels.data()); }
  const uint32_t* data() const noexcept { return reinterpret_cast<const uint32_t*>(pixels.data()); }
};

// A VP8L image stream without its header, of the given size, starting at byte `start`.
ArgbImage decodeVp8lBody(base::ByteView bytes, int64_t start, int64_t width, int64_t height);

// The pixels as an image of layout csRgba (with alpha) or csRgb, reusing their memory.
image::Image argbToImage(ArgbImage argb, bool withAlpha);

}  // namespace orvel::codec::webp
