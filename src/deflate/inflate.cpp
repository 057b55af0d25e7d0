// The DEFLATE decoder. Two loops share one state: a fast loop that decodes whole symbols
// through the lookup tables while plenty of input, output room and budget remain, and a
// careful loop that follows the bit-by-bit rules exactly (budget before bits, truncation
// per byte, cap before budget) near the ends. Both give the same bytes and the same
// failures, since the fast loop only commits symbols that cannot fail.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "deflate/deflate.h"
#include "deflate/huffman.h"

namespace orvel::deflate {
namespace {

constexpr int64_t kUnlimited = std::numeric_limits<int64_t>::max();
// Bits one fast iteration may take: a literal/length code with its extra bits, then a
// distance code with its extra bits. A refill leaves at least 56.
constexpr int kMaxBitsPerMatch = 15 + 5 + 15 + 13;
constexpr int kMaxDistanceBits = 15 + 13;
// Output room of the fast loop: two literal pairs and a whole match. Input slack: three
// whole-word refills per pass, each reading 8 bytes and moving on by at most 7.
constexpr int64_t kFastOutputRoom = 4 + kMaxMatch;
constexpr int64_t kFastInputRoom = 24;
// Budget kept back from the fast loop's window: the bits of refills past the input limit
// and of the bits already held, the output past the output limit, with room to spare.
constexpr int64_t kFastBudgetMargin = 1024;
constexpr int64_t kInitialOutput = 1 << 15;

[[noreturn]] void fail(ZepraErrorKind kind, const char* message) {
  throw ZepraException(kind, message);
}

constexpr uint64_t lowBits(int count) { return (uint64_t{1} << count) - 1; }

uint64_t loadLe64(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
  return value;
}

struct Tables {
  const uint32_t* literal;
  const uint32_t* distance;
  const CanonicalCode* literalCode;
  const CanonicalCode* distanceCode;
};

class Inflater {
 public:
  // Into a vector of its own that grows as output arrives, up to `cap` bytes.
  Inflater(std::span<const uint8_t> input, int64_t start, int64_t cap, int64_t budget)
      : input_(input), position_(start), cap_(std::max<int64_t>(cap, 0)), budget_(budget) {
    const int64_t guess = std::max<int64_t>(kInitialOutput, 4 * (inputSize() - start));
    grown_.resize(static_cast<size_t>(std::min(cap_, guess)));
    outBase_ = grown_.data();
    capacity_ = static_cast<int64_t>(grown_.size());
  }

  // Into the caller's buffer, whose size is the cap. Only produced bytes are ever written,
  // so pages the stream never reaches stay untouched.
  Inflater(std::span<const uint8_t> input, int64_t start, std::span<uint8_t> out, int64_t budget)
      : input_(input),
        position_(start),
        outBase_(out.data()),
        capacity_(static_cast<int64_t>(out.size())),
        fixedOutput_(true),
        cap_(capacity_),
        budget_(budget) {}

  void run();
  int64_t produced() const { return outSize_; }
  // Bytes whose bits were used: the buffer may hold whole bytes read ahead.
  int64_t consumed() const { return position_ - bitCount_ / 8; }
  std::vector<uint8_t> takeOutput() {
    grown_.resize(static_cast<size_t>(outSize_));
    return std::move(grown_);
  }

 private:
  int64_t inputSize() const { return static_cast<int64_t>(input_.size()); }
  int64_t capacity() const { return capacity_; }

  void spend(int64_t units);
  void fillByte();
  uint32_t readBits(int count);
  void refillAhead();
  uint32_t decodeSlow(const uint32_t* table, int rootBits, const CanonicalCode& code,
                      TreeKind kind);
  uint32_t decodeCanonical(const CanonicalCode& code, TreeKind kind);

  void storedBlock();
  void dynamicBlock();
  void huffmanBlock(const Tables& tables);
  bool careful(const Tables& tables);
  bool fast(const Tables& tables);
  bool prepareFast(int64_t& inputEnd, int64_t& outputEnd);
  void makeRoom(int64_t bytes);
  void copyMatch(int64_t length, int64_t distance);

  std::span<const uint8_t> input_;
  int64_t position_;   // next input byte not yet in the bit buffer
  uint64_t bits_ = 0;  // LSB first; bits above bitCount_ are the true following bits or 0
  int bitCount_ = 0;
  std::vector<uint8_t> grown_;  // the output when the inflater owns it
  uint8_t* outBase_ = nullptr;  // capacity_ bytes, of which outSize_ are produced
  int64_t capacity_ = 0;
  int64_t outSize_ = 0;
  bool fixedOutput_ = false;  // the caller's buffer: it never grows
  int64_t cap_;
  int64_t budget_;
  // Tables of the current dynamic block.
  std::array<uint32_t, kLiteralTableSize> literalTable_;
  std::array<uint32_t, kDistanceTableSize> distanceTable_;
  CanonicalCode literalCode_;
  CanonicalCode distanceCode_;
};

void Inflater::spend(int64_t units) {
  if (budget_ < units) fail(zekLimit, "deflate: decode work exceeds the budget");
  budget_ -= units;
}

void Inflater::fillByte() {
  if (position_ >= inputSize()) fail(zekTruncated, "deflate: stream truncated");
  bits_ |= uint64_t{input_[position_++]} << bitCount_;
  bitCount_ += 8;
}

uint32_t Inflater::readBits(int count) {
  spend(count);
  while (bitCount_ < count) fillByte();
  const auto value = static_cast<uint32_t>(bits_ & lowBits(count));
  bits_ >>= count;
  bitCount_ -= count;
  return value;
}

// Loads whole bytes while they fit, a word at once where the input allows; unused ones are
// given back by consumed().
void Inflater::refillAhead() {
  if (inputSize() - position_ >= 8) {
    bits_ |= loadLe64(input_.data() + position_) << bitCount_;
    position_ += (63 - bitCount_) >> 3;
    bitCount_ |= 56;
    return;
  }
  while (bitCount_ <= 48 && position_ < inputSize()) {
    bits_ |= uint64_t{input_[position_++]} << bitCount_;
    bitCount_ += 8;
  }
}

// One symbol, exactly as bit-by-bit decoding would spend and fail. With 15 bits at hand
// and 15 units of budget, the table gives that same answer in one step.
uint32_t Inflater::decodeSlow(const uint32_t* table, int rootBits, const CanonicalCode& code,
                              TreeKind kind) {
  if (budget_ < kMaxCodeLength) return decodeCanonical(code, kind);
  refillAhead();
  if (bitCount_ < kMaxCodeLength) return decodeCanonical(code, kind);
  uint32_t entry = table[bits_ & lowBits(rootBits)];
  if (entry & kEntrySubtable) {
    entry = table[entryValue(entry) + ((bits_ >> rootBits) & lowBits(entryBits(entry)))];
  }
  if (entry & kEntryInvalid) {
    readBits(kMaxCodeLength);  // bit-by-bit decoding gives up after 15 bits
    fail(zekCorrupt, "deflate: invalid Huffman code");
  }
  readBits(static_cast<int>(entryCodeLength(entry)));  // a pair gives its first literal only
  return entry;
}

uint32_t Inflater::decodeCanonical(const CanonicalCode& code, TreeKind kind) {
  int value = 0;
  int first = 0;
  int index = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    value |= static_cast<int>(readBits(1));
    const int count = code.count[length];
    if (value - count < first) return codeEntry(code.symbols[index + value - first], kind, length);
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  fail(zekCorrupt, "deflate: invalid Huffman code");
}

// Callers check the cap first, so a fixed buffer always has the room.
void Inflater::makeRoom(int64_t bytes) {
  if (outSize_ + bytes <= capacity() || fixedOutput_) return;
  const int64_t wanted = std::max(outSize_ + bytes, 2 * capacity());
  grown_.resize(static_cast<size_t>(std::min(cap_, wanted)));
  outBase_ = grown_.data();
  capacity_ = static_cast<int64_t>(grown_.size());
}

void Inflater::storedBlock() {
  position_ = consumed();  // drop the partial byte; give back whole bytes read ahead
  bits_ = 0;
  bitCount_ = 0;
  if (inputSize() - position_ < 4) fail(zekTruncated, "deflate: stored header truncated");
  const uint32_t length = input_[position_] | input_[position_ + 1] << 8;
  const uint32_t inverse = input_[position_ + 2] | input_[position_ + 3] << 8;
  if ((length ^ inverse) != 0xFFFF) fail(zekCorrupt, "deflate: stored LEN/NLEN mismatch");
  position_ += 4;
  if (inputSize() - position_ < length) fail(zekTruncated, "deflate: stored block truncated");
  if (cap_ - outSize_ < length) fail(zekLimit, "deflate: output exceeds the size cap");
  spend(length);
  makeRoom(length);
  std::copy_n(input_.begin() + position_, length, outBase_ + outSize_);
  position_ += length;
  outSize_ += length;
}

// Below this much input left, a block's literals are decoded one at a time: pairing them
// costs more than it saves (a TIFF strip of a row or two, a small PNG).
constexpr int64_t kPairedBlockInput = int64_t{8} << 10;

void Inflater::dynamicBlock() {
  const int literals = static_cast<int>(readBits(5)) + 257;
  const int distances = static_cast<int>(readBits(5)) + 1;
  const int codeLengthCodes = static_cast<int>(readBits(4)) + 4;
  std::array<uint8_t, kCodeLengthSymbols> codeLengthLengths{};
  for (int i = 0; i < codeLengthCodes; ++i) {
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(readBits(3));
  }
  const CanonicalCode codeLengthCode = buildHuff(codeLengthLengths, tkCodeLength);
  std::array<uint32_t, kCodeLengthTableSize> codeLengthTable;
  fillTable(codeLengthLengths, tkCodeLength, kCodeLengthRootBits, codeLengthTable);

  // One sequence for both trees: repeats may cross from literal to distance lengths.
  std::array<uint8_t, kMaxLiteralSymbols + kMaxDistanceSymbols> lengths{};
  const int total = literals + distances;
  int filled = 0;
  while (filled < total) {
    const uint32_t symbol = entryValue(
        decodeSlow(codeLengthTable.data(), kCodeLengthRootBits, codeLengthCode, tkCodeLength));
    if (symbol < 16) {
      lengths[filled++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t repeated = 0;
    int count = 0;
    if (symbol == 16) {
      if (filled == 0) fail(zekCorrupt, "deflate: code 16 at start");
      repeated = lengths[filled - 1];
      count = 3 + static_cast<int>(readBits(2));
      if (filled + count > total) fail(zekCorrupt, "deflate: code 16 overruns");
    } else if (symbol == 17) {
      count = 3 + static_cast<int>(readBits(3));
      if (filled + count > total) fail(zekCorrupt, "deflate: code 17 overruns");
    } else {
      count = 11 + static_cast<int>(readBits(7));
      if (filled + count > total) fail(zekCorrupt, "deflate: code 18 overruns");
    }
    std::fill_n(lengths.begin() + filled, count, repeated);
    filled += count;
  }
  if (lengths[kEndOfBlock] == 0) fail(zekCorrupt, "deflate: literal tree has no end-of-block code");
  const std::span<const uint8_t> literalLengths(lengths.data(), literals);
  const std::span<const uint8_t> distanceLengths(lengths.data() + literals, distances);
  literalCode_ = buildHuff(literalLengths, tkLiteral);
  distanceCode_ = buildHuff(distanceLengths, tkDistance);
  fillTable(literalLengths, tkLiteral, kLiteralRootBits, literalTable_,
            inputSize() - position_ >= kPairedBlockInput);
  fillTable(distanceLengths, tkDistance, kDistanceRootBits, distanceTable_);
  huffmanBlock({literalTable_.data(), distanceTable_.data(), &literalCode_, &distanceCode_});
}

void Inflater::copyMatch(int64_t length, int64_t distance) {
  makeRoom(length);
  uint8_t* out = outBase_ + outSize_;
  for (int64_t i = 0; i < length; ++i) out[i] = out[i - distance];  // overlaps repeat bytes
  outSize_ += length;
}

// One symbol by the exact rules. Returns true at the end of the block.
bool Inflater::careful(const Tables& tables) {
  const uint32_t symbol =
      decodeSlow(tables.literal, kLiteralRootBits, *tables.literalCode, tkLiteral);
  if (symbol & kEntryLiteral) {
    if (outSize_ >= cap_) fail(zekLimit, "deflate: output exceeds the size cap");
    spend(1);
    makeRoom(1);
    outBase_[outSize_++] = static_cast<uint8_t>(entryValue(symbol));
    return false;
  }
  if (symbol & kEntryEnd) return true;
  if (symbol & kEntryBad) fail(zekCorrupt, "deflate: bad length code");
  const int64_t length = entryValue(symbol) + readBits(static_cast<int>(entryExtra(symbol)));
  const uint32_t code =
      decodeSlow(tables.distance, kDistanceRootBits, *tables.distanceCode, tkDistance);
  if (code & kEntryBad) fail(zekCorrupt, "deflate: bad distance code");
  const int64_t distance = entryValue(code) + readBits(static_cast<int>(entryExtra(code)));
  if (distance > outSize_) fail(zekCorrupt, "deflate: distance too far back");
  if (cap_ - outSize_ < length) fail(zekLimit, "deflate: output exceeds the size cap");
  spend(length);
  copyMatch(length, distance);
  return false;
}

// Decides how far the fast loop may run: every symbol it commits must be unable to fail,
// so the input, the output room (within the cap) and the budget must all suffice.
bool Inflater::prepareFast(int64_t& inputEnd, int64_t& outputEnd) {
  if (capacity() - outSize_ < kFastOutputRoom && capacity() < cap_) makeRoom(kFastOutputRoom);
  inputEnd = inputSize() - kFastInputRoom;
  outputEnd = capacity() - kFastOutputRoom;
  if (budget_ != kUnlimited) {
    // Spending is at most 8 per byte loaded (the window plus 21 beyond) plus the bits
    // held, plus one per byte written (the window plus 262 beyond).
    const int64_t spare = budget_ - bitCount_ - kFastBudgetMargin;
    if (spare <= 0) return false;
    inputEnd = std::min(inputEnd, position_ + spare / 16);
    outputEnd = std::min(outputEnd, outSize_ + spare / 2);
  }
  return position_ < inputEnd && outSize_ < outputEnd;
}

// The entry a subtable link leads to for these bits.
inline uint32_t subEntry(const uint32_t* table, int rootBits, uint32_t link, uint64_t bits) {
  return table[entryValue(link) + ((bits >> rootBits) & lowBits(entryBits(link)))];
}

template <size_t N>
inline void copyBlock(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, N);
}

template <typename T>
inline T loadAs(const uint8_t* from) {
  T value;
  std::memcpy(&value, from, sizeof value);
  return value;
}

template <typename T>
inline void storeAs(uint8_t* to, T value) {
  std::memcpy(to, &value, sizeof value);
}

// A short match whose source lies wholly before it (1 to 15 bytes, distance at least the
// length), without a branch on the length: pieces of 8, 4, 2 and 1 bytes, one per bit of
// the length, each stored in place or, when its bit is clear, into `spare`.
inline void copyShort(uint8_t* out, const uint8_t* from, uint32_t length, uint8_t* spare) {
  const uint32_t at4 = length & 8;
  const uint32_t at2 = length & 12;
  const uint32_t at1 = length & 14;
  storeAs(length & 8 ? out : spare, loadAs<uint64_t>(from));
  storeAs(length & 4 ? out + at4 : spare, loadAs<uint32_t>(from + at4));
  storeAs(length & 2 ? out + at2 : spare, loadAs<uint16_t>(from + at2));
  *(length & 1 ? out + at1 : spare) = from[at1];
}

// Copies a match inside the output, writing exactly `length` (3 to 258) bytes: the caller's
// buffer may be committed lazily, so nothing past the match is touched. A last block that
// ends at the match's end may overlap the one before; it rewrites the same bytes.
inline void copyExact(uint8_t* out, uint32_t length, uint32_t distance, uint8_t* spare) {
  const uint8_t* from = out - distance;
  if (length < 16 && distance >= length) {
    copyShort(out, from, length, spare);
  } else if (distance >= 16) {
    for (uint32_t i = 0; i + 16 < length; i += 16) copyBlock<16>(out + i, from + i);
    copyBlock<16>(out + length - 16, from + length - 16);
  } else if (distance >= 8) {
    for (uint32_t i = 0; i + 8 < length; i += 8) copyBlock<8>(out + i, from + i);
    copyBlock<8>(out + length - 8, from + length - 8);
  } else if (distance == 1) {
    std::memset(out, out[-1], length);
  } else {
    // Short distances: the output repeats with period `distance`, hence also with the first
    // multiple of it that reaches 8; once that far is written, 8 bytes go at a time.
    const uint32_t period = distance * ((8 + distance - 1) / distance);
    const uint32_t single = std::min(length, period - distance);
    uint32_t i = 0;
    for (; i < single; ++i) out[i] = from[i];
    for (; i + 8 <= length; i += 8) copyBlock<8>(out + i, out + i - period);
    for (; i < length; ++i) out[i] = out[i - distance];
  }
}

// What the fast loop works on: the tables, the input and output windows it may run in, and
// the bit buffer. The bit count keeps its true value in its low 6 bits only: the loop
// subtracts whole entries from it, whose bits above the sixth do not matter there.
struct FastState {
  const uint32_t* literals;
  const uint32_t* distances;
  const uint8_t* in;
  const uint8_t* inLimit;
  uint8_t* outBase;
  uint8_t* out;
  uint8_t* outLimit;
  uint64_t bits;
  uint32_t count;
};

// The fast loop. Each pass starts with at least 56 bits held and the entry for them looked
// up; it decodes up to three literal entries (a pair is two literals) or, after at most
// two, one match, and ends by refilling and looking up the next entry, so that the lookup
// overlaps the copy. Anything that could fail (an invalid or bad code, a distance too far
// back) puts the bits back to the start of its symbol and leaves it to the careful loop.
// Returns true at the end of the block. Inlined into one plain and one BMI2 variant.
[[gnu::always_inline]] inline bool fastLoop(FastState& state) {
  const uint32_t* const literals = state.literals;
  const uint32_t* const distances = state.distances;
  const uint8_t* in = state.in;
  const uint8_t* const inLimit = state.inLimit;
  uint8_t* const outBase = state.outBase;
  uint8_t* out = state.out;
  uint8_t* const outLimit = state.outLimit;
  uint64_t bits = state.bits;
  uint32_t count = state.count;
  constexpr uint64_t kLiteralMask = lowBits(kLiteralRootBits);
  constexpr uint64_t kDistanceMask = lowBits(kDistanceRootBits);
  alignas(8) uint8_t spare[8];  // where the pieces of a short copy go when not needed
  bool ended = false;
  // Whole-word refill: afterwards at least 56 bits are held; the next bytes sit above them,
  // so an entry looked up before a refill stays valid after it.
  auto refill = [&] {
    bits |= loadLe64(in) << (count & 63);
    in += 7 - ((count >> 3) & 7);
    count |= 56;
  };
  auto consume = [&](uint32_t entry) {
    bits >>= (entry & 63);
    count -= entry;
  };
  // One literal or a pair, written exactly: the second byte first, then the first over it
  // when there is no second.
  auto put = [&](uint32_t entry) {
    const uint32_t pair = (entry >> 6) & 1;
    out[pair] = static_cast<uint8_t>(entry >> 24);
    out[0] = static_cast<uint8_t>(entry >> 16);
    out += 1 + pair;
  };
  refill();
  uint32_t entry = literals[bits & kLiteralMask];
  do {
    if (entry & kEntryLiteral) {
      // Root literals take at most 11 bits: three of them and the next lookup fit in 56.
      consume(entry);
      put(entry);
      entry = literals[bits & kLiteralMask];
      if (entry & kEntryLiteral) {
        consume(entry);
        put(entry);
        entry = literals[bits & kLiteralMask];
        if (entry & kEntryLiteral) {
          consume(entry);
          put(entry);
          entry = literals[bits & kLiteralMask];
          refill();
          continue;
        }
      }
      refill();  // a match needs up to 48 bits
    }
    const uint64_t savedBits = bits;
    const uint32_t savedCount = count;
    const uint8_t* const savedIn = in;
    if (entry & kEntryExceptional) {
      if (entry & kEntrySubtable) entry = subEntry(literals, kLiteralRootBits, entry, bits);
      if (entry & kEntryLiteral) {  // a long literal
        consume(entry);
        put(entry);
        refill();
        entry = literals[bits & kLiteralMask];
        continue;
      }
      if (entry & kEntryEnd) {
        consume(entry);
        ended = true;
        break;
      }
      if (entry & (kEntryInvalid | kEntryBad)) break;
    }
    // Lengths and distances carry no flags in bits 12-13, so `entry >> 8` shifted by the
    // machine's 6-bit count is the code length.
    consume(entry);
    const uint32_t length =
        entryValue(entry) +
        static_cast<uint32_t>((savedBits & lowBits(entry & 31)) >> ((entry >> 8) & 63));
    // Enough bits for the longest distance and the next lookup after it, so that the lookup
    // need not wait for a refill: rarely short after a length.
    if ((count & 63) < kMaxDistanceBits + kLiteralRootBits) refill();
    uint32_t code = distances[bits & kDistanceMask];
    if (code & kEntryExceptional) {
      if (code & kEntrySubtable) code = subEntry(distances, kDistanceRootBits, code, bits);
      if (code & (kEntryInvalid | kEntryBad)) {
        bits = savedBits;
        count = savedCount;
        in = savedIn;
        break;
      }
    }
    const uint64_t distanceBits = bits;
    consume(code);
    const uint32_t distance =
        entryValue(code) +
        static_cast<uint32_t>((distanceBits & lowBits(code & 31)) >> ((code >> 8) & 63));
    if (distance > static_cast<uint64_t>(out - outBase)) {
      bits = savedBits;
      count = savedCount;
      in = savedIn;
      break;
    }
    entry = literals[bits & kLiteralMask];
    refill();
    copyExact(out, length, distance, spare);
    out += length;
  } while (in < inLimit && out < outLimit);
  static_assert(kMaxBitsPerMatch <= 56 && 3 * kLiteralRootBits + kLiteralRootBits <= 56);
  state.in = in;
  state.out = out;
  state.bits = bits;
  state.count = count & 63;
  return ended;
}

bool fastLoopPlain(FastState& state) { return fastLoop(state); }

std::atomic<bool> portableLoopChosen{false};

#if defined(__x86_64__)
[[gnu::target("bmi,bmi2")]] bool fastLoopBmi2(FastState& state) { return fastLoop(state); }

bool runFastLoop(FastState& state) {
  static const bool bmi2 = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
  const bool portable = portableLoopChosen.load(std::memory_order_relaxed);
  return bmi2 && !portable ? fastLoopBmi2(state) : fastLoopPlain(state);
}
#else
bool runFastLoop(FastState& state) { return fastLoopPlain(state); }
#endif

bool Inflater::fast(const Tables& tables) {
  int64_t inputEnd = 0;
  int64_t outputEnd = 0;
  if (!prepareFast(inputEnd, outputEnd)) return false;
  const int64_t spentBefore = 8 * position_ - bitCount_ + outSize_;
  FastState state{tables.literal,
                  tables.distance,
                  input_.data() + position_,
                  input_.data() + inputEnd,
                  outBase_,
                  outBase_ + outSize_,
                  outBase_ + outputEnd,
                  bits_,
                  static_cast<uint32_t>(bitCount_)};
  const bool ended = runFastLoop(state);
  bits_ = state.bits;
  bitCount_ = static_cast<int>(state.count);
  position_ = state.in - input_.data();
  outSize_ = state.out - outBase_;
  if (budget_ != kUnlimited) budget_ -= 8 * position_ - bitCount_ + outSize_ - spentBefore;
  return ended;
}

void Inflater::huffmanBlock(const Tables& tables) {
  while (true) {
    if (fast(tables)) return;
    if (careful(tables)) return;
  }
}

void Inflater::run() {
  bool final = false;
  while (!final) {
    final = readBits(1) != 0;
    const uint32_t type = readBits(2);
    if (type == 0) {
      storedBlock();
    } else if (type == 1) {
      huffmanBlock({kFixedLiteralTable.data(), kFixedDistanceTable.data(), &kFixedLiteralCode,
                    &kFixedDistanceCode});
    } else if (type == 2) {
      dynamicBlock();
    } else {
      fail(zekCorrupt, "deflate: reserved BTYPE 3");
    }
  }
}

}  // namespace

InflateResult inflateWithConsumed(std::span<const uint8_t> input, int64_t start, int64_t outputCap,
                                  int64_t budget) {
  if (start < 0) throw std::out_of_range("deflate: negative start offset");
  Inflater inflater(input, std::min<int64_t>(start, static_cast<int64_t>(input.size())), outputCap,
                    budget);
  inflater.run();
  const int64_t consumed = inflater.consumed();
  return {inflater.takeOutput(), consumed};
}

void choosePortableInflateLoop(bool portable) {
  portableLoopChosen.store(portable, std::memory_order_relaxed);
}

InflateIntoResult inflateIntoWithConsumed(std::span<const uint8_t> input, int64_t start,
                                          std::span<uint8_t> out, int64_t budget) {
  if (start < 0) throw std::out_of_range("deflate: negative start offset");
  Inflater inflater(input, std::min<int64_t>(start, static_cast<int64_t>(input.size())), out,
                    budget);
  inflater.run();
  return {inflater.produced(), inflater.consumed()};
}

}  // namespace orvel::deflate
