#include "process/composite.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/error.h"
#include "process/checks.h"
#include "process/kernels.h"

namespace orvel::process {
namespace {

using image::Image;

// Source pixels are widened to RGBA this many at a time, on the stack.
constexpr int64_t kChunk = 256;

[[noreturn]] void invalid(const char* message) {
  throw image::OrvelException(image::iekInvalid, message);
}

// `count` source pixels of the given channel count as R, G, B, A (A 255 without alpha).
void widen(const uint8_t* from, int64_t channels, int64_t count, uint8_t* to) {
  for (int64_t i = 0; i < count; ++i, to += 4) {
    if (channels == 1) {
      to[0] = to[1] = to[2] = from[i];
      to[3] = 255;
    } else if (channels == 3) {
      std::memcpy(to, from + 3 * i, 3);
      to[3] = 255;
    } else {
      std::memcpy(to, from + 4 * i, 4);
    }
  }
}

// The covered part of one row: `count` source pixels over as many destination pixels.
void blendSpan(const uint8_t* from, int64_t channels, int64_t count, uint8_t* to,
               uint32_t opacity) {
  const CompositeKernels& kernels = compositeKernels();
  // An opaque source at full opacity replaces the pixels it covers.
  const bool replaces = opacity == 255 && channels != 4;
  if (channels == 4 && !replaces) {
    kernels.blendRow(from, to, count, opacity);
    return;
  }
  uint8_t wide[4 * kChunk];
  for (int64_t done = 0; done < count; done += kChunk) {
    const int64_t n = std::min(kChunk, count - done);
    if (replaces) {
      widen(from + done * channels, channels, n, to + done * 4);
    } else {
      widen(from + done * channels, channels, n, wide);
      kernels.blendRow(wide, to + done * 4, n, opacity);
    }
  }
}

}  // namespace

void compositeOver(Image& destination, const Image& source, int64_t x, int64_t y, uint8_t opacity) {
  if (!isWellFormed(destination) || destination.colorspace != image::csRgba) {
    invalid("compositeOver: destination must be valid RGBA8");
  }
  if (!isWellFormed(source) || source.colorspace > image::csRgba) {
    invalid("compositeOver: source must be valid Gray/RGB/RGBA8");
  }
  if (opacity == 0 || x >= destination.width || y >= destination.height || x + source.width <= 0 ||
      y + source.height <= 0) {
    return;
  }
  const int64_t skipX = std::max<int64_t>(0, -x);
  const int64_t skipY = std::max<int64_t>(0, -y);
  const int64_t left = std::max<int64_t>(0, x);
  const int64_t top = std::max<int64_t>(0, y);
  const int64_t width = std::min(source.width - skipX, destination.width - left);
  const int64_t height = std::min(source.height - skipY, destination.height - top);
  const int64_t channels = source.channels;
  const int64_t spanBytes = width * channels;

  const uint8_t* from = source.pixels.data() + skipY * source.stride() + skipX * channels;
  int64_t fromStride = source.stride();
  // Compositing an image over itself reads the source as it was before the call.
  std::vector<uint8_t> copy;
  if (source.pixels.data() == destination.pixels.data()) {
    copy.resize(static_cast<size_t>(spanBytes * height));
    for (int64_t i = 0; i < height; ++i) {
      std::memcpy(copy.data() + i * spanBytes, from + i * fromStride,
                  static_cast<size_t>(spanBytes));
    }
    from = copy.data();
    fromStride = spanBytes;
  }
  uint8_t* to = destination.pixels.data() + top * destination.stride() + left * 4;
  for (int64_t i = 0; i < height; ++i) {
    blendSpan(from + i * fromStride, channels, width, to + i * destination.stride(), opacity);
  }
}

}  // namespace orvel::process
