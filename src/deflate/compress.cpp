// The DEFLATE encoder: one final fixed-Huffman block, greedy matching over hash chains of
// at most 64 candidates within the 32 KiB window. Its output is fixed byte for byte by that
// algorithm, so speed comes only from tight loops, never from a different match choice.
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "deflate/deflate.h"
#include "deflate/deflate_tables.h"

namespace orvel::deflate {
namespace {

constexpr int kHashSize = 1 << 15;
constexpr int kMaxCandidates = 64;
constexpr int kMinMatch = 3;

struct Code {
  uint16_t bits;  // already reversed: Huffman codes go out MSB first
  uint8_t length;
};

constexpr std::array<Code, kMaxLiteralSymbols> fixedLiteralCodes() {
  std::array<Code, kMaxLiteralSymbols> codes{};
  for (int s = 0; s < kMaxLiteralSymbols; ++s) {
    int code = 0;
    int length = 0;
    if (s < 144) {
      code = 0x30 + s, length = 8;
    } else if (s < 256) {
      code = 0x190 + s - 144, length = 9;
    } else if (s < 280) {
      code = s - 256, length = 7;
    } else {
      code = 0xC0 + s - 280, length = 8;
    }
    codes[s] = {static_cast<uint16_t>(reverseBits(code, length)), static_cast<uint8_t>(length)};
  }
  return codes;
}
constexpr auto kLiteralCodes = fixedLiteralCodes();

constexpr std::array<uint8_t, kMaxMatch + 1> lengthIndices() {
  std::array<uint8_t, kMaxMatch + 1> indices{};
  for (int index = 0; index < 28; ++index) {
    for (int length = kLengthBase[index]; length < kLengthBase[index + 1]; ++length) {
      indices[length] = static_cast<uint8_t>(index);
    }
  }
  indices[kMaxMatch] = 28;  // 258 has its own symbol, 285
  return indices;
}
constexpr auto kLengthIndex = lengthIndices();

constexpr int distanceCode(uint32_t distance) {
  if (distance <= 4) return static_cast<int>(distance) - 1;
  const uint32_t offset = distance - 1;
  const int top = std::bit_width(offset) - 1;
  return 2 * top + static_cast<int>((offset >> (top - 1)) & 1);
}

// LSB-first bit writer; whole 32-bit words leave the accumulator at once.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  void put(uint32_t bits, int count) {
    accumulator_ |= uint64_t{bits} << count_;
    count_ += count;
    if (count_ >= 32) {
      for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(accumulator_ >> (8 * i)));
      accumulator_ >>= 32;
      count_ -= 32;
    }
  }

  void flush() {
    for (; count_ > 0; count_ -= 8) {
      out_.push_back(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
    }
    count_ = 0;
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t accumulator_ = 0;
  int count_ = 0;
};

class Compressor {
 public:
  Compressor(std::span<const uint8_t> input, std::vector<uint8_t>& out)
      : in_(input), size_(static_cast<int32_t>(input.size())), writer_(out) {}

  void run();

 private:
  // Byte i itself is not hashed: the first byte is compared before a candidate is counted.
  uint32_t hash3(int32_t i) const { return (in_[i + 1] & 0x7Fu) << 8 | in_[i + 2]; }
  void insert(int32_t i);
  int32_t matchLength(int32_t earlier, int32_t here, int32_t limit) const;
  void findMatch(int32_t i, int32_t& bestLength, int32_t& bestDistance) const;
  void emitMatch(int32_t length, int32_t distance);
  void emitLiteral(uint8_t byte) {
    writer_.put(kLiteralCodes[byte].bits, kLiteralCodes[byte].length);
  }

  std::span<const uint8_t> in_;
  int32_t size_;
  BitWriter writer_;
  std::array<int32_t, kHashSize> head_;
  // The previous position of the same hash, for the last 32 KiB of positions: a candidate
  // is only followed while it lies within the window, and no later position can have
  // reused its slot by then. Every slot is written when its position is inserted.
  std::array<int32_t, kWindowSize> chain_;
};

void Compressor::insert(int32_t i) {
  if (size_ - i < kMinMatch) return;
  const uint32_t h = hash3(i);
  chain_[i & (kWindowSize - 1)] = head_[h];
  head_[h] = i;
}

// Matching bytes at the two positions, at most `limit`; eight at a time while they fit.
int32_t Compressor::matchLength(int32_t earlier, int32_t here, int32_t limit) const {
  const uint8_t* a = in_.data() + earlier;
  const uint8_t* b = in_.data() + here;
  int32_t length = 0;
  while (length + 8 <= limit) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    if (const uint64_t diff = x ^ y; diff != 0) {
      const int same = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                  : std::countl_zero(diff);
      return length + same / 8;
    }
    length += 8;
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

void Compressor::findMatch(int32_t i, int32_t& bestLength, int32_t& bestDistance) const {
  const int32_t limit = std::min(kMaxMatch, size_ - i);
  int32_t candidate = head_[hash3(i)];
  for (int examined = 0; candidate >= 0 && examined < kMaxCandidates; ++examined) {
    if (i - candidate > kWindowSize) break;
    if (in_[candidate + bestLength] == in_[i + bestLength]) {
      const int32_t length = matchLength(candidate, i, limit);
      if (length >= kMinMatch && length > bestLength) {
        bestLength = length;
        bestDistance = i - candidate;
        if (length == limit) break;
      }
    }
    candidate = chain_[candidate & (kWindowSize - 1)];
  }
}

void Compressor::emitMatch(int32_t length, int32_t distance) {
  const int index = kLengthIndex[length];
  const Code& code = kLiteralCodes[257 + index];
  writer_.put(code.bits, code.length);
  writer_.put(static_cast<uint32_t>(length - kLengthBase[index]), kLengthExtra[index]);
  const int dcode = distanceCode(static_cast<uint32_t>(distance));
  writer_.put(reverseBits(static_cast<uint32_t>(dcode), 5), 5);
  writer_.put(static_cast<uint32_t>(distance - kDistanceBase[dcode]), kDistanceExtra[dcode]);
}

void Compressor::run() {
  writer_.put(1, 1);  // BFINAL
  writer_.put(1, 2);  // BTYPE 1: fixed Huffman codes
  head_.fill(-1);
  int32_t i = 0;
  while (i < size_) {
    int32_t bestLength = 0;
    int32_t bestDistance = 0;
    if (size_ - i >= kMinMatch) findMatch(i, bestLength, bestDistance);
    if (bestLength >= kMinMatch) {
      emitMatch(bestLength, bestDistance);
      for (int32_t j = i; j < i + bestLength; ++j) insert(j);
      i += bestLength;
    } else {
      emitLiteral(in_[i]);
      insert(i);
      ++i;
    }
  }
  writer_.put(kLiteralCodes[kEndOfBlock].bits, kLiteralCodes[kEndOfBlock].length);
  writer_.flush();
}

}  // namespace

std::vector<uint8_t> compress(std::span<const uint8_t> input) {
  if (input.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::length_error("deflate: input of 2 GiB or more");
  }
  std::vector<uint8_t> out;
  out.reserve(input.size() + input.size() / 8 + 16);
  auto compressor = std::make_unique<Compressor>(input, out);  // 256 KiB: not on the stack
  compressor->run();
  return out;
}

}  // namespace orvel::deflate
