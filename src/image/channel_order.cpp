#include "image/channel_order.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
#if defined(__SSE2__)
  // Five pixels per 16-byte vector: byte 3k takes byte 3k + 2 (a shift right by two), byte
  // 3k + 2 takes byte 3k (a shift left), green stays. Byte 15 comes out wrong and is rewritten
  // by the next store, so the last vector must end inside the row.
  const __m128i green = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0);
  const __m128i first = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
  const __m128i third = _mm_slli_si128(first, 2);
  for (; i + 6 <= pixels; i += 5, src += 15, dst += 15) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i out = _mm_or_si128(_mm_and_si128(v, green),
                                     _mm_or_si128(_mm_and_si128(_mm_srli_si128(v, 2), first),
                                                  _mm_and_si128(_mm_slli_si128(v, 2), third)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), out);
  }
#endif
  for (; i < pixels; ++i, src += 3, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
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
