// The DEFLATE encoder: one final fixed-Huffman block, greedy matching over hash chains of
// at most 64 candidates within the 32 KiB window. Its output is fixed byte for byte by that
// algorithm, so speed comes only from visiting fewer candidates and tight loops, never from
// a different match choice.
//
// The chains the output is defined by link the positions whose bytes i+1 and i+2 agree (the
// low 7 bits of the first): a candidate there counts toward the 64 even when byte i differs.
// Only a candidate whose first three bytes equal those at i can give a match (of 3 or more),
// and those candidates share the defining chain. So the encoder walks a second chain keyed
// by the three bytes, verified, which visits exactly those candidates in the same order,
// and stops where the defining walk would stop: at the window's end, or at the first
// candidate with 64 or more newer positions in its defining chain. That rank comes from a
// count of the positions inserted per defining chain and each position's number in its
// chain; within the window a rank is below 2^15, so 16-bit counters that wrap suffice.
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
constexpr int kMaxTripleHashBits = 16;
constexpr int32_t kWindowMask = kWindowSize - 1;
// Slack past the output bound for the bit writer's whole-word stores.
constexpr size_t kWriterSlack = 8;

// A code ready to go out: the bits (Huffman codes already reversed, extra bits above them)
// and their count.
struct Code {
  uint32_t bits;
  uint32_t length;
};

constexpr Code fixedLiteralCode(int s) {
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
  return {reverseBits(static_cast<uint32_t>(code), length), static_cast<uint32_t>(length)};
}

constexpr std::array<Code, 256> literalCodes() {
  std::array<Code, 256> codes{};
  for (int s = 0; s < 256; ++s) codes[s] = fixedLiteralCode(s);
  return codes;
}
constexpr auto kLiteralCodes = literalCodes();
constexpr Code kEndCode = fixedLiteralCode(kEndOfBlock);

// Each match length's symbol code with its extra bits.
constexpr std::array<Code, kMaxMatch + 1> lengthCodes() {
  std::array<Code, kMaxMatch + 1> codes{};
  for (int index = 0; index < 29; ++index) {
    const int last = index == 28 ? kMaxMatch : kLengthBase[index + 1] - 1;
    for (int length = kLengthBase[index]; length <= last; ++length) {
      const Code symbol = fixedLiteralCode(257 + index);  // 258 has its own, 285
      const auto extra = static_cast<uint32_t>(length - kLengthBase[index]);
      codes[length] = {symbol.bits | extra << symbol.length, symbol.length + kLengthExtra[index]};
    }
  }
  return codes;
}
constexpr auto kLengthCodes = lengthCodes();

// Distance codes are five bits, reversed, with the extra bits above them.
constexpr std::array<uint8_t, 30> reversedDistanceCodes() {
  std::array<uint8_t, 30> codes{};
  for (uint32_t c = 0; c < 30; ++c) codes[c] = static_cast<uint8_t>(reverseBits(c, 5));
  return codes;
}
constexpr auto kReversedDistanceCodes = reversedDistanceCodes();

inline Code distanceCode(uint32_t distance) {
  uint32_t code = distance - 1;
  if (distance > 4) {
    const int top = std::bit_width(distance - 1) - 1;
    code = static_cast<uint32_t>(2 * top) + (((distance - 1) >> (top - 1)) & 1);
  }
  const uint32_t extra = distance - kDistanceBase[code];
  return {kReversedDistanceCodes[code] | extra << 5, 5u + kDistanceExtra[code]};
}

// LSB-first bit writer into a buffer with kWriterSlack bytes to spare: every put stores
// the whole accumulator and keeps fewer than 8 bits back.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out) {}

  void put(uint32_t bits, uint32_t count) {
    accumulator_ |= uint64_t{bits} << count_;
    count_ += count;
    uint64_t word = accumulator_;
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(out_ + position_, &word, sizeof word);
    position_ += count_ >> 3;
    accumulator_ >>= count_ & ~7u;
    count_ &= 7;
  }

  // The bytes written, the last one padded with zero bits.
  size_t finish() { return position_ + (count_ + 7) / 8; }

 private:
  uint8_t* out_;
  size_t position_ = 0;
  uint64_t accumulator_ = 0;
  uint32_t count_ = 0;
};

// The three bytes at a position and what they hash to.
struct Key {
  uint32_t triple;    // bytes i, i+1, i+2, little-endian
  uint32_t bucket;    // the defining 15-bit hash: low 7 bits of byte i+1, then byte i+2
  uint32_t tripleHash;
};

// Bits of the triple hash: fewer for small inputs, whose tables would otherwise cost more
// to clear than to use; they change the speed only, never the output.
int tripleHashBits(size_t size) {
  return std::clamp(static_cast<int>(std::bit_width(size)), 10, kMaxTripleHashBits);
}

class Compressor {
 public:
  Compressor(std::span<const uint8_t> input, uint8_t* out)
      : in_(input.data()),
        size_(static_cast<int32_t>(input.size())),
        writer_(out),
        hashShift_(32 - tripleHashBits(input.size())),
        slots_(new uint32_t[std::min<size_t>(input.size(), kWindowSize)]),
        newest_(new int32_t[size_t{1} << (32 - hashShift_)]) {}

  size_t run();

 private:
  Key keyAt(int32_t i) const;
  void insert(int32_t i, const Key& key);
  int32_t matchLength(int32_t earlier, int32_t here, int32_t limit) const;
  void findMatch(int32_t i, const Key& key, int32_t& bestLength, int32_t& bestDistance) const;

  const uint8_t* in_;
  int32_t size_;
  BitWriter writer_;
  std::array<uint16_t, kHashSize> bucketCount_;  // positions inserted per bucket, mod 2^16
  const int hashShift_;
  // Per position of the last 32 KiB (fewer for a smaller input), in one word: its number
  // within its bucket (low half) and how far back the previous position with the same triple
  // hash lies (high half; 0 when none lies within 32 KiB). A position's slot is only read
  // while it lies within the window, and no later position can have reused it by then.
  std::unique_ptr<uint32_t[]> slots_;
  std::unique_ptr<int32_t[]> newest_;  // per triple hash, -1 for none
};

// Only called with three bytes ahead.
Key Compressor::keyAt(int32_t i) const {
  uint32_t triple;
  if (size_ - i >= 4) {
    std::memcpy(&triple, in_ + i, sizeof triple);
    if constexpr (std::endian::native == std::endian::big) triple = __builtin_bswap32(triple);
    triple &= 0xFFFFFF;
  } else {
    triple = in_[i] | in_[i + 1] << 8 | in_[i + 2] << 16;
  }
  const uint32_t bucket = (triple & 0x7F00) | triple >> 16;
  const uint32_t tripleHash = (triple * 0x9E3779B1u) >> hashShift_;
  return {triple, bucket, tripleHash};
}

void Compressor::insert(int32_t i, const Key& key) {
  const int32_t previous = newest_[key.tripleHash];
  const uint32_t back = previous >= 0 && i - previous <= kWindowSize ? i - previous : 0;
  slots_[i & kWindowMask] = back << 16 | bucketCount_[key.bucket]++;
  newest_[key.tripleHash] = i;
}

// Matching bytes at the two positions, at most `limit`; eight at a time while they fit.
int32_t Compressor::matchLength(int32_t earlier, int32_t here, int32_t limit) const {
  const uint8_t* a = in_ + earlier;
  const uint8_t* b = in_ + here;
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

// The first longest match among the candidates the defining walk examines.
void Compressor::findMatch(int32_t i, const Key& key, int32_t& bestLength,
                           int32_t& bestDistance) const {
  const int32_t limit = std::min(kMaxMatch, size_ - i);
  // Candidates with this many newer positions in the bucket lie beyond the first 64.
  const auto newestNumber = static_cast<uint16_t>(bucketCount_[key.bucket] - 1);
  int32_t candidate = newest_[key.tripleHash];
  for (uint32_t slot = 0; candidate >= 0 && i - candidate <= kWindowSize;
       candidate = (slot >> 16) == 0 ? -1 : candidate - static_cast<int32_t>(slot >> 16)) {
    slot = slots_[candidate & kWindowMask];
    uint32_t triple;
    std::memcpy(&triple, in_ + candidate, sizeof triple);  // candidate + 4 <= i + 3 <= size
    if constexpr (std::endian::native == std::endian::big) triple = __builtin_bswap32(triple);
    if ((triple & 0xFFFFFF) != key.triple) continue;  // another triple with the same hash
    const auto newer = static_cast<uint16_t>(newestNumber - slot);
    if (newer >= kMaxCandidates) break;
    if (in_[candidate + bestLength] != in_[i + bestLength]) continue;
    const int32_t length = matchLength(candidate, i, limit);
    if (length > bestLength) {
      bestLength = length;
      bestDistance = i - candidate;
      if (length == limit) break;
    }
  }
}

size_t Compressor::run() {
  writer_.put(3, 3);  // BFINAL 1, BTYPE 1: fixed Huffman codes
  bucketCount_.fill(0);
  std::fill_n(newest_.get(), size_t{1} << (32 - hashShift_), -1);
  int32_t i = 0;
  while (i < size_) {
    if (size_ - i < kMinMatch) {
      writer_.put(kLiteralCodes[in_[i]].bits, kLiteralCodes[in_[i]].length);
      ++i;
      continue;
    }
    const Key key = keyAt(i);
    // The next position's chain head is wanted next unless a match is found: fetch it early.
    if (size_ - i > kMinMatch) __builtin_prefetch(&newest_[keyAt(i + 1).tripleHash]);
    int32_t bestLength = 0;
    int32_t bestDistance = 0;
    findMatch(i, key, bestLength, bestDistance);
    insert(i, key);
    if (bestLength < kMinMatch) {
      writer_.put(kLiteralCodes[in_[i]].bits, kLiteralCodes[in_[i]].length);
      ++i;
      continue;
    }
    const Code length = kLengthCodes[bestLength];
    const Code distance = distanceCode(static_cast<uint32_t>(bestDistance));
    writer_.put(length.bits | distance.bits << length.length, length.length + distance.length);
    const int32_t end = i + bestLength;
    const int32_t lastInserted = std::min(end, size_ - kMinMatch + 1);
    for (++i; i < lastInserted; ++i) insert(i, keyAt(i));
    i = end;
  }
  writer_.put(kEndCode.bits, kEndCode.length);
  return writer_.finish();
}

}  // namespace

std::vector<uint8_t> compress(std::span<const uint8_t> input) {
  if (input.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::length_error("deflate: input of 2 GiB or more");
  }
  // Nine bits per byte at most, and the block header and end code.
  std::vector<uint8_t> out(input.size() + input.size() / 8 + 16 + kWriterSlack);
  auto compressor = std::make_unique<Compressor>(input, out.data());  // 64 KiB: not on the stack
  out.resize(compressor->run());
  return out;
}

}  // namespace orvel::deflate
