#include "checksum/adler32.h"

#include <algorithm>
#include <array>
#include <atomic>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvel::checksum {
namespace {

constexpr uint32_t kModulus = 65521;
// Bytes are summed in 32 lanes: per lane, `plain` adds each byte and `prior` adds the lane's
// running sum before each block, which yields the weighted sum of the second half without
// a multiply per byte; the compiler turns the lane loops into vector code. Over a chunk of
// 32 KiB the lane sums stay below 2^28, and 64-bit totals are reduced once per chunk.
constexpr size_t kLanes = 32;
constexpr size_t kChunk = 1 << 15;

void addBlocks(std::span<const uint8_t> blocks, uint64_t& low, uint64_t& high) {
  std::array<uint32_t, kLanes> plain{};
  std::array<uint32_t, kLanes> prior{};
  for (size_t at = 0; at < blocks.size(); at += kLanes) {
    for (size_t k = 0; k < kLanes; ++k) {
      prior[k] += plain[k];
      plain[k] += blocks[at + k];
    }
  }
  uint64_t sumPlain = 0;
  uint64_t sumPrior = 0;
  uint64_t weighted = 0;
  for (size_t k = 0; k < kLanes; ++k) {
    sumPlain += plain[k];
    sumPrior += prior[k];
    weighted += k * uint64_t{plain[k]};
  }
  // Byte u of n adds (n - u) times itself to the high sum; u = 32 * block + lane.
  high += blocks.size() * low + kLanes * (sumPrior + sumPlain) - weighted;
  low += sumPlain;
}

#if defined(__x86_64__)
// The same sums with AVX2, 32 bytes a step: `plain` adds the bytes (in four lanes), `prior`
// adds `plain` before each step, and `weighted` adds each byte times 32 down to 1 by its
// place in the step. Over a chunk of 32 KiB every lane stays below 2^31.
[[gnu::target("avx2")]] uint64_t total(__m256i lanes) {
  alignas(32) std::array<uint32_t, 8> parts;
  _mm256_store_si256(reinterpret_cast<__m256i*>(parts.data()), lanes);
  uint64_t sum = 0;
  for (uint32_t part : parts) sum += part;
  return sum;
}

[[gnu::target("avx2")]] void addBlocksAvx2(std::span<const uint8_t> blocks, uint64_t& low,
                                           uint64_t& high) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i weights =
      _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                       14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  __m256i plain = zero;
  __m256i prior = zero;
  __m256i weighted = zero;
  for (size_t at = 0; at < blocks.size(); at += kLanes) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&blocks[at]));
    prior = _mm256_add_epi32(prior, plain);
    plain = _mm256_add_epi32(plain, _mm256_sad_epu8(bytes, zero));
    weighted =
        _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
  }
  high += blocks.size() * low + kLanes * total(prior) + total(weighted);
  low += total(plain);
}
#endif

std::atomic<bool> portableChosen{false};

void addBlocksBest(std::span<const uint8_t> blocks, uint64_t& low, uint64_t& high) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2 && !portableChosen.load(std::memory_order_relaxed)) {
    return addBlocksAvx2(blocks, low, high);
  }
#endif
  addBlocks(blocks, low, high);
}

}  // namespace

void choosePortableAdler32(bool portable) {
  portableChosen.store(portable, std::memory_order_relaxed);
}

uint32_t adler32Update(uint32_t adler, std::span<const uint8_t> data) noexcept {
  uint64_t low = adler & 0xFFFF;
  uint64_t high = adler >> 16;
  while (!data.empty()) {
    const size_t chunkSize = std::min(data.size(), kChunk);
    const size_t blockBytes = chunkSize - chunkSize % kLanes;
    addBlocksBest(data.first(blockBytes), low, high);
    for (uint8_t byte : data.subspan(blockBytes, chunkSize - blockBytes)) {
      low += byte;
      high += low;
    }
    low %= kModulus;
    high %= kModulus;
    data = data.subspan(chunkSize);
  }
  return static_cast<uint32_t>(high << 16 | low);
}

}  // namespace orvel::checksum
