#include "image/channel_order.h"

#include <cstring>

namespace orvel::image {
namespace {

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Bytes 0 and 2 of a little-endian word exchanged.
inline uint32_t swapped(uint32_t v) {
  return (v >> 16 & 0xFFu) | (v & 0xFF00FF00u) | (v & 0xFFu) << 16;
}

}  // namespace

void swapRedBlue3(const uint8_t* src, uint8_t* dst, int64_t pixels) noexcept {
  int64_t i = 0;
  // Four pixels as three words: B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3 become
  // R0 G0 B0 R1 | G1 B1 R2 G2 | B2 R3 G3 B3.
  for (; i + 4 <= pixels; i += 4, src += 12, dst += 12) {
    const uint32_t w0 = load32(src);
    const uint32_t w1 = load32(src + 4);
    const uint32_t w2 = load32(src + 8);
    store32(dst, (w0 >> 16 & 0xFFu) | (w0 & 0xFF00u) | (w0 & 0xFFu) << 16 | (w1 & 0xFF00u) << 16);
    store32(dst + 4, (w1 & 0xFFu) | (w0 >> 16 & 0xFF00u) | (w2 & 0xFFu) << 16 | (w1 & 0xFF000000u));
    store32(dst + 8,
            (w1 >> 16 & 0xFFu) | (w2 >> 16 & 0xFF00u) | (w2 & 0xFF0000u) | (w2 & 0xFF00u) << 16);
  }
  for (; i < pixels; ++i, src += 3, dst += 3) {
    const uint8_t first = src[0];
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = first;
  }
}

void swapRedBlue4(const uint8_t* src, uint8_t* dst, int64_t pixels) noexcept {
  for (int64_t i = 0; i < pixels; ++i) store32(dst + 4 * i, swapped(load32(src + 4 * i)));
}

void swapRedBlue4Opaque(const uint8_t* src, uint8_t* dst, int64_t pixels) noexcept {
  for (int64_t i = 0; i < pixels; ++i) {
    store32(dst + 4 * i, swapped(load32(src + 4 * i)) | 0xFF000000u);
  }
}

}  // namespace orvel::image
