// The filters run along a row with a dependency from each pixel to its left neighbour, so the
// speed comes from doing a whole pixel per step: four bytes in one word for Sub and Average,
// and the bytes of one pixel in SSE2 lanes for Paeth. Every path gives the bytes the per-byte
// definitions give.
#include "codec/png/unfilter.h"

#include <emmintrin.h>

#include <cstring>

#include "codec/png/png.h"
#include "image/row_prediction.h"

namespace orvel::codec::png {
namespace {

uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Four byte-wise sums modulo 256.
uint32_t addBytes(uint32_t a, uint32_t b) {
  return ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u);
}

// Four byte-wise floor averages.
uint32_t averageBytes(uint32_t a, uint32_t b) { return (a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1); }

// Sixteen bytes loaded before the same sixteen are stored, so a row shifted back over its own
// raw bytes stays correct.
void unfilterUp(const uint8_t* raw, const uint8_t* previous, uint8_t* out, int64_t length) {
  int64_t i = 0;
  for (; i + 16 <= length; i += 16) {
    const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), sum);
  }
  for (; i < length; ++i) out[i] = static_cast<uint8_t>(raw[i] + previous[i]);
}

void unfilterAverage(const uint8_t* raw, const uint8_t* previous, uint8_t* out, int64_t length,
                     int unit) {
  const int64_t head = std::min<int64_t>(unit, length);
  for (int64_t i = 0; i < head; ++i) out[i] = static_cast<uint8_t>(raw[i] + (previous[i] >> 1));
  int64_t i = head;
  if (unit == 4) {
    uint32_t left = load32(out);
    for (; i + 4 <= length; i += 4) {
      left = addBytes(load32(raw + i), averageBytes(left, load32(previous + i)));
      store32(out + i, left);
    }
  }
  for (; i < length; ++i) {
    out[i] = static_cast<uint8_t>(raw[i] + ((out[i - unit] + previous[i]) >> 1));
  }
}

// One pixel of up to four bytes in 16-bit lanes: a (left), b (up), c (up-left).
__m128i paethPixel(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bc = _mm_sub_epi16(b, c);  // p - a
  const __m128i ac = _mm_sub_epi16(a, c);  // p - b
  const __m128i sum = _mm_add_epi16(bc, ac);  // p - c
  const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(zero, bc));
  const __m128i pb = _mm_max_epi16(ac, _mm_sub_epi16(zero, ac));
  const __m128i pc = _mm_max_epi16(sum, _mm_sub_epi16(zero, sum));
  // a when pa <= pb and pa <= pc; else b when pb <= pc; else c.
  const __m128i takeA = _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)),
                                         _mm_set1_epi16(-1));
  const __m128i takeB = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
  const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, c));
  return _mm_or_si128(_mm_and_si128(takeA, a), _mm_andnot_si128(takeA, bOrC));
}

__m128i widen(uint32_t bytes) {
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), _mm_setzero_si128());
}

uint32_t narrow(__m128i words) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}

// Pixels of three or four bytes: whole pixels in lanes while four bytes can be read and
// written, the last bytes one at a time.
void unfilterPaethWide(const uint8_t* raw, const uint8_t* previous, uint8_t* out, int64_t length,
                       int unit) {
  const __m128i mask = unit == 4 ? _mm_set1_epi16(0xFF) : _mm_set_epi16(0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF);
  __m128i a = _mm_setzero_si128();
  __m128i c = _mm_setzero_si128();
  int64_t i = 0;
  for (; i + 4 <= length; i += unit) {
    const __m128i b = widen(load32(previous + i));
    const __m128i predicted = _mm_and_si128(paethPixel(a, b, c), mask);
    const __m128i value = _mm_and_si128(_mm_add_epi16(widen(load32(raw + i)), predicted), mask);
    a = _mm_and_si128(value, _mm_set1_epi16(0xFF));
    c = _mm_and_si128(b, mask);
    // Writes four bytes; for three-byte pixels the fourth is rewritten by the next pixel.
    store32(out + i, narrow(a));
  }
  for (; i < length; ++i) {
    const uint8_t left = i >= unit ? out[i - unit] : 0;
    const uint8_t upLeft = i >= unit ? previous[i - unit] : 0;
    out[i] = static_cast<uint8_t>(raw[i] + paeth(left, previous[i], upLeft));
  }
}

void unfilterPaeth(const uint8_t* raw, const uint8_t* previous, uint8_t* out, int64_t length,
                   int unit) {
  if (unit == 3 || unit == 4) return unfilterPaethWide(raw, previous, out, length, unit);
  for (int64_t i = 0; i < length; ++i) {
    const uint8_t left = i >= unit ? out[i - unit] : 0;
    const uint8_t upLeft = i >= unit ? previous[i - unit] : 0;
    out[i] = static_cast<uint8_t>(raw[i] + paeth(left, previous[i], upLeft));
  }
}

}  // namespace

bool unfilterRow(uint8_t type, const uint8_t* raw, const uint8_t* previous, uint8_t* out,
                 int64_t length, int unit) noexcept {
  switch (type) {
    case 0: std::memmove(out, raw, static_cast<size_t>(length)); return true;
    case 1: image::addLeftNeighbours(raw, out, length, unit); return true;
    case 2: unfilterUp(raw, previous, out, length); return true;
    case 3: unfilterAverage(raw, previous, out, length, unit); return true;
    case 4: unfilterPaeth(raw, previous, out, length, unit); return true;
    default: return false;
  }
}

}  // namespace orvel::codec::png
