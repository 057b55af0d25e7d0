// Quarter turns, mirrors, orientations and crops. The quarter turns and the two transposing
// orientations walk the output in square tiles, so that the source rows a tile reads and the
// output rows it writes stay in cache; mirrors and crops move whole rows.
#include "process/geometry.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "image/error.h"
#include "process/checks.h"

namespace orvel::process {
namespace {

using image::Image;

// A tile of 32 × 32 pixels: 32 source rows and 32 output rows, few enough pages for the TLB.
constexpr int64_t kTile = 32;

[[noreturn]] void invalid(const char* message) {
  throw image::OrvelException(image::iekInvalid, message);
}

// The transposing copies: output pixel (u, v) is source pixel (x, y) with x = v, or W − 1 − v
// when `mirrorX`, and y = u, or H − 1 − u when `mirrorY`. The output is H × W.
struct Transpose {
  const uint8_t* source;
  int64_t sourceStride;
  int64_t width;   // source width: the output's height
  int64_t height;  // source height: the output's width
  uint8_t* out;
  int64_t outStride;
  bool mirrorX;
  bool mirrorY;

  int64_t sourceX(int64_t v) const { return mirrorX ? width - 1 - v : v; }
  int64_t sourceY(int64_t u) const { return mirrorY ? height - 1 - u : u; }
};

template <int kChannels>
void transposeTile(const Transpose& t, int64_t u0, int64_t u1, int64_t v0, int64_t v1) {
  const int64_t step = t.mirrorY ? -t.sourceStride : t.sourceStride;
  for (int64_t v = v0; v < v1; ++v) {
    const uint8_t* from = t.source + t.sourceY(u0) * t.sourceStride + t.sourceX(v) * kChannels;
    uint8_t* to = t.out + v * t.outStride + u0 * kChannels;
    for (int64_t u = u0; u < u1; ++u, from += step, to += kChannels) {
      std::memcpy(to, from, kChannels);
    }
  }
}

// Four-byte pixels four by four: four source rows, transposed in registers.
void transposeQuads(const Transpose& t, int64_t u0, int64_t u1, int64_t v0, int64_t v1) {
  for (int64_t v = v0; v < v1; v += 4) {
    const int64_t firstColumn = std::min(t.sourceX(v), t.sourceX(v + 3));
    for (int64_t u = u0; u < u1; u += 4) {
      __m128i rows[4];
      for (int i = 0; i < 4; ++i) {
        rows[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
            t.source + t.sourceY(u + i) * t.sourceStride + firstColumn * 4));
      }
      const __m128i low01 = _mm_unpacklo_epi32(rows[0], rows[1]);
      const __m128i high01 = _mm_unpackhi_epi32(rows[0], rows[1]);
      const __m128i low23 = _mm_unpacklo_epi32(rows[2], rows[3]);
      const __m128i high23 = _mm_unpackhi_epi32(rows[2], rows[3]);
      const __m128i columns[4] = {
          _mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
          _mm_unpacklo_epi64(high01, high23), _mm_unpackhi_epi64(high01, high23)};
      for (int j = 0; j < 4; ++j) {
        const __m128i column = columns[t.mirrorX ? 3 - j : j];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t.out + (v + j) * t.outStride + u * 4), column);
      }
    }
  }
}

void transposeAll(const Transpose& t, int64_t channels) {
  const int64_t outWidth = t.height;
  const int64_t outHeight = t.width;
  for (int64_t v0 = 0; v0 < outHeight; v0 += kTile) {
    const int64_t v1 = std::min(outHeight, v0 + kTile);
    for (int64_t u0 = 0; u0 < outWidth; u0 += kTile) {
      const int64_t u1 = std::min(outWidth, u0 + kTile);
      if (channels == 1) {
        transposeTile<1>(t, u0, u1, v0, v1);
      } else if (channels == 3) {
        transposeTile<3>(t, u0, u1, v0, v1);
      } else {
        // Whole quads in registers, the ragged right and bottom edges pixel by pixel.
        const int64_t uQuads = u0 + (u1 - u0) / 4 * 4;
        const int64_t vQuads = v0 + (v1 - v0) / 4 * 4;
        transposeQuads(t, u0, uQuads, v0, vQuads);
        transposeTile<4>(t, uQuads, u1, v0, vQuads);
        transposeTile<4>(t, u0, u1, vQuads, v1);
      }
    }
  }
}

Image transposed(const Image& source, bool mirrorX, bool mirrorY) {
  Image out = image::newImageForOverwrite(source.height, source.width, source.colorspace);
  const Transpose t{source.pixels.data(), source.stride(), source.width, source.height,
                    out.pixels.data(),    out.stride(),    mirrorX,      mirrorY};
  transposeAll(t, source.channels);
  return out;
}

template <int kChannels>
void reversePixels(const uint8_t* from, uint8_t* to, int64_t count) {
  const uint8_t* last = from + (count - 1) * kChannels;
  for (int64_t x = 0; x < count; ++x)
    std::memcpy(to + x * kChannels, last - x * kChannels, kChannels);
}

// Four-byte pixels four at a time, their order reversed in a register.
void reverseQuads(const uint8_t* from, uint8_t* to, int64_t count) {
  int64_t x = 0;
  for (; x + 4 <= count; x += 4) {
    const __m128i quad =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + (count - x - 4) * 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x * 4), _mm_shuffle_epi32(quad, 0x1B));
  }
  reversePixels<4>(from, to + x * 4, count - x);
}

void reverseRow(const uint8_t* from, uint8_t* to, int64_t count, int64_t channels) {
  if (channels == 1) {
    reversePixels<1>(from, to, count);
  } else if (channels == 3) {
    reversePixels<3>(from, to, count);
  } else {
    reverseQuads(from, to, count);
  }
}

// Output row y is source row y (or H − 1 − y when `mirrorY`), reversed when `mirrorX`.
Image rowsMoved(const Image& source, bool mirrorX, bool mirrorY) {
  Image out = image::newImageForOverwrite(source.width, source.height, source.colorspace);
  const int64_t stride = source.stride();
  for (int64_t y = 0; y < source.height; ++y) {
    const uint8_t* from = source.pixels.data() + (mirrorY ? source.height - 1 - y : y) * stride;
    uint8_t* to = out.pixels.data() + y * stride;
    if (mirrorX) {
      reverseRow(from, to, source.width, source.channels);
    } else {
      std::memcpy(to, from, static_cast<size_t>(stride));
    }
  }
  return out;
}

void requireWellFormed(const Image& source, const char* message) {
  if (!isWellFormed(source)) invalid(message);
}

}  // namespace

RotateOp rotateOpFromCint(uint32_t code) {
  if (code > roMirrorTopBottom) invalid("ov_image: bad rotate op");
  return static_cast<RotateOp>(code);
}

Image rotate(const Image& source, RotateOp op) {
  requireWellFormed(source, "rotate: malformed source image");
  switch (op) {
    case roClockwise90:
      return transposed(source, false, true);
    case roHalfTurn:
      return rowsMoved(source, true, true);
    case roCounterClockwise90:
      return transposed(source, true, false);
    case roMirrorLeftRight:
      return rowsMoved(source, true, false);
    case roMirrorTopBottom:
      return rowsMoved(source, false, true);
  }
  invalid("ov_image: bad rotate op");
}

// Orientations 5 and 7 (a mirror, then a quarter turn) are single transposing passes: the
// composed mapping, without the intermediate image.
Image applyExifOrientation(const Image& source, int64_t orientation) {
  switch (orientation) {
    case 1:
      requireWellFormed(source, "rotate: malformed source image");
      return source;
    case 2:
      return rotate(source, roMirrorLeftRight);
    case 3:
      return rotate(source, roHalfTurn);
    case 4:
      return rotate(source, roMirrorTopBottom);
    case 5:
      requireWellFormed(source, "rotate: malformed source image");
      return transposed(source, false, false);
    case 6:
      return rotate(source, roClockwise90);
    case 7:
      requireWellFormed(source, "rotate: malformed source image");
      return transposed(source, true, true);
    case 8:
      return rotate(source, roCounterClockwise90);
    default:
      invalid("EXIF orientation must be between 1 and 8");
  }
}

Image crop(const Image& source, int64_t x, int64_t y, int64_t width, int64_t height) {
  requireWellFormed(source, "crop: malformed source image");
  if (x < 0 || y < 0 || width < 1 || height < 1) invalid("crop: non-positive or negative");
  int64_t right = 0;
  int64_t bottom = 0;
  if (__builtin_add_overflow(x, width, &right) || __builtin_add_overflow(y, height, &bottom)) {
    throw std::overflow_error("crop: rectangle position overflows");
  }
  if (right > source.width || bottom > source.height)
    invalid("crop: rectangle overruns the source");
  Image out = image::newImageForOverwrite(width, height, source.colorspace);
  const int64_t rowBytes = out.stride();
  const uint8_t* from = source.pixels.data() + y * source.stride() + x * source.channels;
  for (int64_t i = 0; i < height; ++i) {
    std::memcpy(out.pixels.data() + i * rowBytes, from + i * source.stride(),
                static_cast<size_t>(rowBytes));
  }
  return out;
}

}  // namespace orvel::process
