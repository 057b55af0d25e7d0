#include "checksum/adler32.h"

#include <algorithm>
#include <array>

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

}  // namespace

uint32_t adler32Update(uint32_t adler, std::span<const uint8_t> data) noexcept {
  uint64_t low = adler & 0xFFFF;
  uint64_t high = adler >> 16;
  while (!data.empty()) {
    const size_t chunkSize = std::min(data.size(), kChunk);
    const size_t blockBytes = chunkSize - chunkSize % kLanes;
    addBlocks(data.first(blockBytes), low, high);
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
