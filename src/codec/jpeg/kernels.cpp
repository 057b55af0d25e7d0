#include "codec/jpeg/kernels.h"

#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

#include "codec/jpeg/jpeg.h"

namespace orvel::codec::jpeg {
namespace {

// Decoder colour: R = 128.5 + Y + 1.402 Cr, G = 128.5 + Y - 0.344136 Cb - 0.714136 Cr,
// B = 128.5 + Y + 1.772 Cb, each product fused into the sum before it, truncated, clamped.
constexpr float kCrToR = 1.402f;
constexpr float kCbToG = -0.344136f;
constexpr float kCrToG = -0.714136f;
constexpr float kCbToB = 1.772f;
constexpr float kHalfUp = 128.5f;

// Encoder colour, each line summed left to right with fused products.
constexpr float kRToY = 0.299f, kGToY = 0.587f, kBToY = 0.114f;
constexpr float kRToCb = -0.168736f, kGToCb = -0.331264f, kBToCb = 0.5f;
constexpr float kRToCr = 0.5f, kGToCr = -0.418688f, kBToCr = -0.081312f;
constexpr float kLevelShift = 128.0f;

uint8_t toByte(float value) {
  const float clamped = value < 0.0f ? 0.0f : value > 255.0f ? 255.0f : value;
  return static_cast<uint8_t>(clamped);  // truncation, as of the unclamped value
}

void yccToRgbScalar(float y, float cb, float cr, uint8_t* rgb) {
  const float base = kHalfUp + y;
  rgb[0] = toByte(std::fma(kCrToR, cr, base));
  rgb[1] = toByte(std::fma(kCrToG, cr, std::fma(kCbToG, cb, base)));
  rgb[2] = toByte(std::fma(kCbToB, cb, base));
}

void rgbToYccScalar(const uint8_t* rgb, float& y, float& cb, float& cr) {
  const float r = rgb[0], g = rgb[1], b = rgb[2];
  y = std::fma(kBToY, b, std::fma(kGToY, g, kRToY * r)) - kLevelShift;
  cb = std::fma(kBToCb, b, std::fma(kGToCb, g, kRToCb * r));
  cr = std::fma(kBToCr, b, std::fma(kGToCr, g, kRToCr * r));
}

void yccToRgbPortable(const float* y, const float* cb, const float* cr, uint8_t* rgb,
                      int64_t count) {
  for (int64_t i = 0; i < count; ++i) yccToRgbScalar(y[i], cb[i], cr[i], rgb + 3 * i);
}

void yToGrayPortable(const float* y, uint8_t* gray, int64_t count) {
  for (int64_t i = 0; i < count; ++i) gray[i] = toByte(kHalfUp + y[i]);
}

void rgbToYccPortable(const uint8_t* rgb, int64_t count, float* y, float* cb, float* cr) {
  for (int64_t i = 0; i < count; ++i) rgbToYccScalar(rgb + 3 * i, y[i], cb[i], cr[i]);
}

// pshufb masks between 16 interleaved R, G, B pixels (48 bytes, three registers) and one
// register per channel; 0x80 clears a byte.
using Mask = std::array<uint8_t, 16>;
constexpr Mask interleaveMask(int chunk, int channel) {
  Mask mask{};
  for (int i = 0; i < 16; ++i) {
    const int j = 16 * chunk + i;
    mask[i] = j % 3 == channel ? static_cast<uint8_t>(j / 3) : 0x80;
  }
  return mask;
}
constexpr Mask deinterleaveMask(int chunk, int channel) {
  Mask mask{};
  for (int i = 0; i < 16; ++i) {
    const int j = 3 * i + channel - 16 * chunk;
    mask[i] = j >= 0 && j < 16 ? static_cast<uint8_t>(j) : 0x80;
  }
  return mask;
}
template <Mask (*make)(int, int)>
constexpr std::array<std::array<Mask, 3>, 3> masks() {
  std::array<std::array<Mask, 3>, 3> all{};
  for (int chunk = 0; chunk < 3; ++chunk) {
    for (int channel = 0; channel < 3; ++channel) all[chunk][channel] = make(chunk, channel);
  }
  return all;
}
constexpr auto kInterleave = masks<interleaveMask>();
constexpr auto kDeinterleave = masks<deinterleaveMask>();

namespace sse2 {

#define ORVEL_JPEG_TARGET
#if defined(__SSE2__)
struct F8 {
  __m128 lo, hi;
};
inline F8 load8(const float* p) { return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)}; }
inline void store8(float* p, F8 v) {
  _mm_storeu_ps(p, v.lo);
  _mm_storeu_ps(p + 4, v.hi);
}
inline F8 splat(float x) { return {_mm_set1_ps(x), _mm_set1_ps(x)}; }
inline F8 add(F8 a, F8 b) { return {_mm_add_ps(a.lo, b.lo), _mm_add_ps(a.hi, b.hi)}; }
inline F8 mul(F8 a, F8 b) { return {_mm_mul_ps(a.lo, b.lo), _mm_mul_ps(a.hi, b.hi)}; }
inline F8 div(F8 a, F8 b) { return {_mm_div_ps(a.lo, b.lo), _mm_div_ps(a.hi, b.hi)}; }
// Adds 0.5 to values at or above 0 and -0.5 to the others, truncates, stores.
inline __m128i roundHalfAway(__m128 q) {
  const __m128 up = _mm_cmpge_ps(q, _mm_setzero_ps());
  const __m128 half =
      _mm_or_ps(_mm_and_ps(up, _mm_set1_ps(0.5f)), _mm_andnot_ps(up, _mm_set1_ps(-0.5f)));
  return _mm_cvttps_epi32(_mm_add_ps(q, half));
}
inline void storeRounded(int32_t* out, F8 q) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), roundHalfAway(q.lo));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), roundHalfAway(q.hi));
}
#else
// Processors without SSE2: the same operations one lane at a time.
struct F8 {
  std::array<float, 8> lane;
};
template <class Op>
F8 each(F8 a, F8 b, Op op) {
  for (int i = 0; i < 8; ++i) a.lane[i] = op(a.lane[i], b.lane[i]);
  return a;
}
inline F8 load8(const float* p) {
  F8 v;
  std::copy_n(p, 8, v.lane.begin());
  return v;
}
inline void store8(float* p, F8 v) { std::copy_n(v.lane.begin(), 8, p); }
inline F8 splat(float x) {
  F8 v;
  v.lane.fill(x);
  return v;
}
inline F8 add(F8 a, F8 b) {
  return each(a, b, [](float x, float y) { return x + y; });
}
inline F8 mul(F8 a, F8 b) {
  return each(a, b, [](float x, float y) { return x * y; });
}
inline F8 div(F8 a, F8 b) {
  return each(a, b, [](float x, float y) { return x / y; });
}
inline void storeRounded(int32_t* out, F8 q) {
  for (int i = 0; i < 8; ++i)
    out[i] = static_cast<int32_t>(q.lane[i] + (q.lane[i] >= 0 ? 0.5f : -0.5f));
}
#endif
#include "codec/jpeg/kernels_simd.inc"
#undef ORVEL_JPEG_TARGET

}  // namespace sse2

#if defined(__x86_64__)
namespace avx2 {

#define ORVEL_JPEG_TARGET [[gnu::target("avx2,fma")]]
#define ORVEL_JPEG_INLINE [[gnu::target("avx2,fma"), gnu::always_inline]] inline
using F8 = __m256;
ORVEL_JPEG_INLINE F8 load8(const float* p) { return _mm256_loadu_ps(p); }
ORVEL_JPEG_INLINE void store8(float* p, F8 v) { _mm256_storeu_ps(p, v); }
ORVEL_JPEG_INLINE F8 splat(float x) { return _mm256_set1_ps(x); }
ORVEL_JPEG_INLINE F8 add(F8 a, F8 b) { return _mm256_add_ps(a, b); }
ORVEL_JPEG_INLINE F8 mul(F8 a, F8 b) { return _mm256_mul_ps(a, b); }
ORVEL_JPEG_INLINE F8 div(F8 a, F8 b) { return _mm256_div_ps(a, b); }
ORVEL_JPEG_INLINE void storeRounded(int32_t* out, F8 q) {
  const F8 up = _mm256_cmp_ps(q, _mm256_setzero_ps(), _CMP_GE_OQ);
  const F8 half = _mm256_blendv_ps(_mm256_set1_ps(-0.5f), _mm256_set1_ps(0.5f), up);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_cvttps_epi32(_mm256_add_ps(q, half)));
}
#include "codec/jpeg/kernels_simd.inc"

ORVEL_JPEG_INLINE __m128i loadMask(const Mask& mask) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data()));
}

// Sixteen values clamped to 0..255, truncated, as bytes in order.
ORVEL_JPEG_INLINE __m128i toBytes(__m256 low, __m256 high) {
  const __m256 zero = _mm256_setzero_ps();
  const __m256 top = _mm256_set1_ps(255.0f);
  const __m256i a = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(low, zero), top));
  const __m256i b = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(high, zero), top));
  const __m128i words0 = _mm_packs_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
  const __m128i words1 = _mm_packs_epi32(_mm256_castsi256_si128(b), _mm256_extracti128_si256(b, 1));
  return _mm_packus_epi16(words0, words1);
}

ORVEL_JPEG_TARGET void yccToRgb(const float* y, const float* cb, const float* cr, uint8_t* rgb,
                                int64_t count) {
  const __m256 toR = _mm256_set1_ps(kCrToR), cbToG = _mm256_set1_ps(kCbToG);
  const __m256 crToG = _mm256_set1_ps(kCrToG), toB = _mm256_set1_ps(kCbToB);
  const __m256 halfUp = _mm256_set1_ps(kHalfUp);
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m256 r[2], g[2], b[2];
    for (int h = 0; h < 2; ++h) {
      const __m256 base = _mm256_add_ps(halfUp, _mm256_loadu_ps(y + i + 8 * h));
      const __m256 blue = _mm256_loadu_ps(cb + i + 8 * h);
      const __m256 red = _mm256_loadu_ps(cr + i + 8 * h);
      r[h] = _mm256_fmadd_ps(toR, red, base);
      g[h] = _mm256_fmadd_ps(crToG, red, _mm256_fmadd_ps(cbToG, blue, base));
      b[h] = _mm256_fmadd_ps(toB, blue, base);
    }
    const __m128i channels[3] = {toBytes(r[0], r[1]), toBytes(g[0], g[1]), toBytes(b[0], b[1])};
    for (int chunk = 0; chunk < 3; ++chunk) {
      __m128i bytes = _mm_setzero_si128();
      for (int c = 0; c < 3; ++c) {
        bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(channels[c], loadMask(kInterleave[chunk][c])));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * i + 16 * chunk), bytes);
    }
  }
  for (; i < count; ++i) yccToRgbScalar(y[i], cb[i], cr[i], rgb + 3 * i);
}

ORVEL_JPEG_TARGET void yToGray(const float* y, uint8_t* gray, int64_t count) {
  const __m256 halfUp = _mm256_set1_ps(kHalfUp);
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i bytes = toBytes(_mm256_add_ps(halfUp, _mm256_loadu_ps(y + i)),
                                  _mm256_add_ps(halfUp, _mm256_loadu_ps(y + i + 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(gray + i), bytes);
  }
  for (; i < count; ++i) gray[i] = toByte(kHalfUp + y[i]);
}

ORVEL_JPEG_TARGET void rgbToYcc(const uint8_t* rgb, int64_t count, float* y, float* cb, float* cr) {
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i in[3];
    for (int chunk = 0; chunk < 3; ++chunk) {
      in[chunk] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 3 * i + 16 * chunk));
    }
    __m128i channel[3];
    for (int c = 0; c < 3; ++c) {
      channel[c] = _mm_setzero_si128();
      for (int chunk = 0; chunk < 3; ++chunk) {
        channel[c] = _mm_or_si128(channel[c],
                                  _mm_shuffle_epi8(in[chunk], loadMask(kDeinterleave[chunk][c])));
      }
    }
    for (int h = 0; h < 2; ++h) {
      __m256 v[3];
      for (int c = 0; c < 3; ++c) {
        const __m128i half = h == 0 ? channel[c] : _mm_srli_si128(channel[c], 8);
        v[c] = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(half));
      }
      const __m256 luma = _mm256_fmadd_ps(
          _mm256_set1_ps(kBToY), v[2],
          _mm256_fmadd_ps(_mm256_set1_ps(kGToY), v[1], _mm256_mul_ps(_mm256_set1_ps(kRToY), v[0])));
      const __m256 blue =
          _mm256_fmadd_ps(_mm256_set1_ps(kBToCb), v[2],
                          _mm256_fmadd_ps(_mm256_set1_ps(kGToCb), v[1],
                                          _mm256_mul_ps(_mm256_set1_ps(kRToCb), v[0])));
      const __m256 red =
          _mm256_fmadd_ps(_mm256_set1_ps(kBToCr), v[2],
                          _mm256_fmadd_ps(_mm256_set1_ps(kGToCr), v[1],
                                          _mm256_mul_ps(_mm256_set1_ps(kRToCr), v[0])));
      _mm256_storeu_ps(y + i + 8 * h, _mm256_sub_ps(luma, _mm256_set1_ps(kLevelShift)));
      _mm256_storeu_ps(cb + i + 8 * h, blue);
      _mm256_storeu_ps(cr + i + 8 * h, red);
    }
  }
  for (; i < count; ++i) rgbToYccScalar(rgb + 3 * i, y[i], cb[i], cr[i]);
}

#undef ORVEL_JPEG_INLINE
#undef ORVEL_JPEG_TARGET

}  // namespace avx2
#endif

constexpr JpegKernels kPortable = {sse2::inverseTransform, sse2::forwardTransform, yccToRgbPortable,
                                   yToGrayPortable, rgbToYccPortable};
#if defined(__x86_64__)
constexpr JpegKernels kAvx2 = {avx2::inverseTransform, avx2::forwardTransform, avx2::yccToRgb,
                               avx2::yToGray, avx2::rgbToYcc};
#endif

std::atomic<bool> portableChosen{false};

}  // namespace

void choosePortableJpeg(bool portable) {
  portableChosen.store(portable, std::memory_order_relaxed);
}

const JpegKernels& jpegKernels() {
#if defined(__x86_64__)
  static const bool fast = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  if (fast && !portableChosen.load(std::memory_order_relaxed)) return kAvx2;
#endif
  return kPortable;
}

}  // namespace orvel::codec::jpeg
