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
// No position: 2^31 lies more than a window before every position below 2^31.
constexpr uint32_t kNone = uint32_t{1} << 31;
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

// What the match finder reads and updates. The encoder works on a local copy of these
// pointers and of the bit writer, so that the output's byte stores, which may alias anything,
// do not make the compiler reload them.
struct Matcher {
  const uint8_t* in;
  int32_t size;
  int hashShift;
  uint16_t* bucketCount;  // positions inserted per bucket, mod 2^16
  // Per position of the last 32 KiB (fewer for a smaller input), in one word: its number
  // within its bucket (low half) and how far back the previous position with the same triple
  // hash lies (high half; 0 when none lies within 32 KiB). A position's slot is only read
  // while it lies within the window, and no later position can have reused it by then.
  uint32_t* slots;
  uint32_t* newest;  // per triple hash, kNone for none

  Key keyAt(int32_t i) const;
  void insert(int32_t i, const Key& key) const;
  int32_t matchLength(int32_t earlier, int32_t here, int32_t limit) const;
  void findMatch(int32_t i, const Key& key, int32_t& bestLength, int32_t& bestDistance) const;
};

// Only called with three bytes ahead.
inline Key Matcher::keyAt(int32_t i) const {
  uint32_t triple;
  if (size - i >= 4) {
    std::memcpy(&triple, in + i, sizeof triple);
    if constexpr (std::endian::native == std::endian::big) triple = __builtin_bswap32(triple);
    triple &= 0xFFFFFF;
  } else {
    triple = in[i] | in[i + 1] << 8 | in[i + 2] << 16;
  }
  const uint32_t bucket = (triple & 0x7F00) | triple >> 16;
  const uint32_t tripleHash = (triple * 0x9E3779B1u) >> hashShift;
  return {triple, bucket, tripleHash};
}

inline void Matcher::insert(int32_t i, const Key& key) const {
  const uint32_t back = static_cast<uint32_t>(i) - newest[key.tripleHash];
  slots[i & kWindowMask] = (back <= kWindowSize ? back << 16 : 0) | bucketCount[key.bucket]++;
  newest[key.tripleHash] = static_cast<uint32_t>(i);
}

// Matching bytes at the two positions, at most `limit`; eight at a time while they fit.
inline int32_t Matcher::matchLength(int32_t earlier, int32_t here, int32_t limit) const {
  const uint8_t* a = in + earlier;
  const uint8_t* b = in + here;
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
inline void Matcher::findMatch(int32_t i, const Key& key, int32_t& bestLength,
                               int32_t& bestDistance) const {
  const int32_t limit = std::min(kMaxMatch, size - i);
  // Candidates with this many newer positions in the bucket lie beyond the first 64.
  const auto newestNumber = static_cast<uint16_t>(bucketCount[key.bucket] - 1);
  // Candidates count back from i in unsigned arithmetic: none (kNone) and the end of a chain
  // (a step of 2^17) both lie beyond the window, so one test ends the walk.
  const auto here = static_cast<uint32_t>(i);
  for (uint32_t candidate = newest[key.tripleHash]; here - candidate - 1 < kWindowSize;) {
    const uint32_t slot = slots[candidate & kWindowMask];
    uint32_t triple;
    std::memcpy(&triple, in + candidate, sizeof triple);  // candidate + 4 <= i + 3 <= size
    if constexpr (std::endian::native == std::endian::big) triple = __builtin_bswap32(triple);
    if ((triple & 0xFFFFFF) == key.triple) {  // else another triple with the same hash
      const auto newer = static_cast<uint16_t>(newestNumber - slot);
      if (newer >= kMaxCandidates) break;
      if (in[candidate + bestLength] == in[i + bestLength]) {
        const int32_t length = matchLength(static_cast<int32_t>(candidate), i, limit);
        if (length > bestLength) {
          bestLength = length;
          bestDistance = static_cast<int32_t>(here - candidate);
          if (length == limit) break;
        }
      }
    }
    const uint32_t back = slot >> 16;
    candidate -= back == 0 ? uint32_t{1} << 17 : back;
  }
}

// Writes the block for `input` into `out` (room for 9 bits a byte and kWriterSlack more) and
// returns its size.
size_t encode(std::span<const uint8_t> input, uint8_t* out) {
  const auto size = static_cast<int32_t>(input.size());
  const int hashBits = tripleHashBits(input.size());
  auto bucketCount = std::make_unique<uint16_t[]>(kHashSize);  // zeroed
  std::unique_ptr<uint32_t[]> slots(new uint32_t[std::min<size_t>(input.size(), kWindowSize)]);
  std::unique_ptr<uint32_t[]> newest(new uint32_t[size_t{1} << hashBits]);
  std::fill_n(newest.get(), size_t{1} << hashBits, kNone);
  const Matcher m{input.data(), size, 32 - hashBits, bucketCount.get(), slots.get(),
                  newest.get()};
  const uint8_t* const in = input.data();
  BitWriter writer(out);
  writer.put(3, 3);  // BFINAL 1, BTYPE 1: fixed Huffman codes
  int32_t i = 0;
  while (i < size) {
    if (size - i < kMinMatch) {
      writer.put(kLiteralCodes[in[i]].bits, kLiteralCodes[in[i]].length);
      ++i;
      continue;
    }
    const Key key = m.keyAt(i);
    // The next position's chain head is wanted next unless a match is found: fetch it early.
    if (size - i > kMinMatch) __builtin_prefetch(&m.newest[m.keyAt(i + 1).tripleHash]);
    int32_t bestLength = 0;
    int32_t bestDistance = 0;
    m.findMatch(i, key, bestLength, bestDistance);
    m.insert(i, key);
    if (bestLength < kMinMatch) {
      writer.put(kLiteralCodes[in[i]].bits, kLiteralCodes[in[i]].length);
      ++i;
      continue;
    }
    const Code length = kLengthCodes[bestLength];
    const Code distance = distanceCode(static_cast<uint32_t>(bestDistance));
    writer.put(length.bits | distance.bits << length.length, length.length + distance.length);
    const int32_t end = i + bestLength;
    const int32_t lastInserted = std::min(end, size - kMinMatch + 1);
    for (++i; i < lastInserted; ++i) m.insert(i, m.keyAt(i));
    i = end;
  }
  writer.put(kEndCode.bits, kEndCode.length);
  return writer.finish();
}

}  // namespace

// Nine bits per byte at most, and the block header and end code.
size_t compressBound(size_t size) { return size + size / 8 + 16 + kWriterSlack; }

size_t compressInto(std::span<const uint8_t> input, uint8_t* out) {
  if (input.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::length_error("deflate: input of 2 GiB or more");
  }
  return encode(input, out);
}

std::vector<uint8_t> compress(std::span<const uint8_t> input) {
  std::vector<uint8_t> out(compressBound(input.size()));
  out.resize(compressInto(input, out.data()));
  return out;
}

}  // namespace orvel::deflate
