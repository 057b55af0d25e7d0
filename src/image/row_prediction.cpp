// Sixteen bytes a step: the running sum within the vector by shifted adds (lags unit, 2 unit,
// 4 unit, 8 unit), then the last pixel of the previous vector added to every lane of its
// channel. The portable path does a whole 4-byte pixel per word, else one byte at a time.
#include "image/row_prediction.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace orvel::image {
namespace {

std::atomic<bool> portableChosen{false};

uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Four byte-wise sums modulo 256.
uint32_t addBytes(uint32_t a, uint32_t b) {
  return ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u);
}

// Continues the running sum from byte `from` (at least `unit`) to the end.
void addLeftPortable(const uint8_t* raw, uint8_t* out, int64_t from, int64_t length, int unit) {
  int64_t i = from;
  if (unit == 4 && i + 4 <= length) {
    uint32_t left = load32(out + i - 4);
    for (; i + 4 <= length; i += 4) {
      left = addBytes(load32(raw + i), left);
      std::memcpy(out + i, &left, 4);
    }
  }
  for (; i < length; ++i) out[i] = static_cast<uint8_t>(raw[i] + out[i - unit]);
}

#if defined(__x86_64__)
// Byte j of the carry is byte 16 - kUnit + j % kUnit of the previous vector: the last sample
// of the channel that lane j belongs to.
template <int kUnit>
[[gnu::target("ssse3")]] __m128i carryPattern() {
  alignas(16) int8_t lanes[16];
  for (int j = 0; j < 16; ++j) lanes[j] = static_cast<int8_t>(16 - kUnit + j % kUnit);
  return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
}

// Returns how many bytes it did; whole vectors only.
template <int kUnit>
[[gnu::target("ssse3")]] int64_t addLeftSsse3(const uint8_t* raw, uint8_t* out, int64_t length) {
  const __m128i pattern = carryPattern<kUnit>();
  __m128i carry = _mm_setzero_si128();
  int64_t i = 0;
  for (; i + 16 <= length; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i));
    v = _mm_add_epi8(v, _mm_slli_si128(v, kUnit));
    if constexpr (2 * kUnit < 16) v = _mm_add_epi8(v, _mm_slli_si128(v, 2 * kUnit));
    if constexpr (4 * kUnit < 16) v = _mm_add_epi8(v, _mm_slli_si128(v, 4 * kUnit));
    if constexpr (8 * kUnit < 16) v = _mm_add_epi8(v, _mm_slli_si128(v, 8 * kUnit));
    v = _mm_add_epi8(v, carry);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    carry = _mm_shuffle_epi8(v, pattern);
  }
  return i;
}

int64_t addLeftVectors(const uint8_t* raw, uint8_t* out, int64_t length, int unit) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (!ssse3 || portableChosen.load(std::memory_order_relaxed)) return 0;
  switch (unit) {
    case 1: return addLeftSsse3<1>(raw, out, length);
    case 2: return addLeftSsse3<2>(raw, out, length);
    case 3: return addLeftSsse3<3>(raw, out, length);
    case 4: return addLeftSsse3<4>(raw, out, length);
    case 6: return addLeftSsse3<6>(raw, out, length);
    case 8: return addLeftSsse3<8>(raw, out, length);
    default: return 0;
  }
}
#else
int64_t addLeftVectors(const uint8_t*, uint8_t*, int64_t, int) { return 0; }
#endif

}  // namespace

void addLeftNeighbours(const uint8_t* raw, uint8_t* out, int64_t length, int unit) noexcept {
  if (length <= 0) return;
  const int64_t done = addLeftVectors(raw, out, length, unit);
  if (done > 0) return addLeftPortable(raw, out, done, length, unit);
  const int64_t head = length < unit ? length : unit;
  std::memmove(out, raw, static_cast<size_t>(head));
  addLeftPortable(raw, out, head, length, unit);
}

void choosePortablePrediction(bool portable) noexcept {
  portableChosen.store(portable, std::memory_order_relaxed);
}

}  // namespace orvel::image
