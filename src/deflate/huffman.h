// Huffman trees of DEFLATE: validation of code-length sets, the canonical form used for
// bit-by-bit decoding, and two-level lookup tables for fast decoding.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "deflate/deflate_tables.h"
#include "deflate/error.h"

namespace orvel::deflate {

enum TreeKind : uint8_t { tkCodeLength, tkLiteral, tkDistance };

// Codes per length and the symbols sorted by (code length, symbol value).
struct CanonicalCode {
  std::array<uint16_t, kMaxCodeLength + 1> count{};
  std::array<uint16_t, kMaxLiteralSymbols> symbols{};
};

// A table entry: bits 0-4 the bits a fast decoder takes for it at once (the code and the
// extra bits of a length or distance; for a subtable link: its index bits), bits 8-11 the
// code length, bits 6, 7 and 12-15 flags; bits 16-31 the literal (two literals for a pair:
// the first in bits 16-23), the base value, the code-length symbol or the subtable offset.
// Bit 5 stays clear, so `entry & 63` is the bit count.
inline constexpr uint32_t kEntrySubtable = 0x8000;
inline constexpr uint32_t kEntryInvalid = 0x4000;  // no code starts with these bits
inline constexpr uint32_t kEntryLiteral = 0x2000;
inline constexpr uint32_t kEntryEnd = 0x1000;
inline constexpr uint32_t kEntryBad = 0x0080;   // length symbols 286/287, distances 30/31
inline constexpr uint32_t kEntryPair = 0x0040;  // two literals whose codes fit the root
// Entries a fast decoder leaves to the careful path or handles apart.
inline constexpr uint32_t kEntryExceptional =
    kEntrySubtable | kEntryInvalid | kEntryEnd | kEntryBad;

constexpr uint32_t entryBits(uint32_t entry) { return entry & 0x1F; }
constexpr uint32_t entryCodeLength(uint32_t entry) { return (entry >> 8) & 0xF; }
constexpr uint32_t entryExtra(uint32_t entry) { return entryBits(entry) - entryCodeLength(entry); }
constexpr uint32_t entryValue(uint32_t entry) { return entry >> 16; }

// What a decoded symbol means, in table-entry form without the code length; the bit count
// holds the extra bits.
constexpr uint32_t symbolEntry(int symbol, TreeKind kind) {
  if (kind == tkCodeLength) return static_cast<uint32_t>(symbol) << 16;
  if (kind == tkDistance) {
    if (symbol >= 30) return kEntryBad;
    return uint32_t{kDistanceBase[symbol]} << 16 | uint32_t{kDistanceExtra[symbol]};
  }
  if (symbol < 256) return static_cast<uint32_t>(symbol) << 16 | kEntryLiteral;
  if (symbol == kEndOfBlock) return kEntryEnd;
  if (symbol > 285) return kEntryBad;
  const int index = symbol - 257;
  return uint32_t{kLengthBase[index]} << 16 | uint32_t{kLengthExtra[index]};
}

// The entry of a symbol whose code has `length` bits.
constexpr uint32_t codeEntry(int symbol, TreeKind kind, int length) {
  const auto bits = static_cast<uint32_t>(length);
  return symbolEntry(symbol, kind) + (bits << 8) + bits;
}

// Largest table any accepted code-length set can need, for `symbols` symbols and a root of
// `rootBits`. A prefix whose codes reach depth rootBits + d needs a subtable of 2^d entries
// and at least d + 1 symbols below it; the prefixes without a subtable need at least
// popcount(uncovered prefixes) shorter codes. The knapsack below maximises the subtable
// entries under that symbol budget, which bounds every complete code (canonical or not);
// a lone code (the one incomplete shape accepted) needs at most one subtable of the deepest kind.
constexpr int maxTableEntries(int symbols, int rootBits) {
  const int deepest = kMaxCodeLength - rootBits;
  const int root = 1 << rootBits;
  int best = root + (deepest > 0 ? 1 << deepest : 0);
  if (deepest <= 0) return root;
  // most[w]: the most subtable entries of exactly k subtables weighing at most w symbols.
  std::array<int, kMaxLiteralSymbols + 1> most{};
  std::array<int, kMaxLiteralSymbols + 1> next{};
  constexpr int kNone = -1;
  for (int w = 0; w <= symbols; ++w) most[w] = 0;
  for (int k = 1; k <= root && 2 * k <= symbols; ++k) {
    for (int w = 0; w <= symbols; ++w) {
      next[w] = kNone;
      for (int d = 1; d <= deepest; ++d) {
        if (w - (d + 1) >= 0 && most[w - (d + 1)] != kNone) {
          next[w] = std::max(next[w], most[w - (d + 1)] + (1 << d));
        }
      }
    }
    most = next;
    const int spare = symbols - std::popcount(static_cast<unsigned>(root - k));
    if (spare >= 0 && most[spare] != kNone) best = std::max(best, root + most[spare]);
  }
  return best;
}

inline constexpr int kLiteralRootBits = 11;
inline constexpr int kDistanceRootBits = 8;
inline constexpr int kCodeLengthRootBits = 7;  // code-length codes are at most 7 bits long
// The bounds for the two roots, as numbers: working them out at compile time takes more
// steps than some compilers allow. A test recomputes them with maxTableEntries.
inline constexpr int kLiteralTableSize = 2944;  // maxTableEntries(288, 11)
inline constexpr int kDistanceTableSize = 642;  // maxTableEntries(32, 8)
inline constexpr int kCodeLengthTableSize = 1 << kCodeLengthRootBits;

// Validates a code-length set and returns its canonical form. Raises ZepraException with
// the tree messages (invalid length, oversubscribed, empty, incomplete).
constexpr CanonicalCode buildHuff(std::span<const uint8_t> lengths, TreeKind kind) {
  if (lengths.size() > kMaxLiteralSymbols) throw std::logic_error("deflate: too many symbols");
  CanonicalCode code;
  for (uint8_t length : lengths) {
    if (length > kMaxCodeLength) {
      throw ZepraException(zekCorrupt, "deflate: invalid Huffman code length");
    }
    ++code.count[length];
  }
  code.count[0] = 0;
  int available = 1;
  int codes = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    available = available * 2 - code.count[length];
    codes += code.count[length];
    if (available < 0) throw ZepraException(zekCorrupt, "deflate: oversubscribed Huffman tree");
  }
  // A distance tree may be empty: a block of literals alone needs no distance code, and any
  // distance it then reads is an invalid code, found after 15 bits like any other.
  if (codes == 0 && kind != tkDistance)
    throw ZepraException(zekCorrupt, "deflate: empty Huffman tree");
  const bool loneCodeAllowed = kind != tkCodeLength && codes == 1;
  const bool emptyAllowed = kind == tkDistance && codes == 0;
  if (available != 0 && !loneCodeAllowed && !emptyAllowed)
    throw ZepraException(zekCorrupt, "deflate: incomplete Huffman tree");
  std::array<uint16_t, kMaxCodeLength + 2> offset{};
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    offset[length + 1] = static_cast<uint16_t>(offset[length] + code.count[length]);
  }
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0) {
      code.symbols[offset[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
    }
  }
  return code;
}

inline constexpr int kMaxRootBits = 11;

// Where the root bits hold a literal's code and the whole code of a second literal after
// it, the entry decodes both; no literal code is shorter than `shortestLiteral`. Entries are
// visited from the top: the second literal's entry lies at a lower index, still unpaired
// when it is read.
constexpr void pairLiterals(std::span<uint32_t> root, int rootBits, int shortestLiteral) {
  const auto longestFirst = static_cast<uint32_t>(rootBits - shortestLiteral);
  for (size_t i = root.size(); i-- > 0;) {
    const uint32_t first = root[i];
    const uint32_t firstLength = entryCodeLength(first);
    if (!(first & kEntryLiteral) || firstLength > longestFirst) continue;
    const uint32_t second = root[i >> firstLength];
    const bool fits = firstLength + entryBits(second) <= static_cast<uint32_t>(rootBits);
    if (!(second & kEntryLiteral) || !fits) continue;
    root[i] = first + (entryValue(second) << 24) + entryBits(second) + kEntryPair;
  }
}

// Fills `table` (whose first 2^rootBits entries are the root) for a set that buildHuff
// accepted; codes no set member starts are marked invalid. Returns the entries used. A
// table too small for the set is a defect (std::logic_error); the sizes above rule it out.
// Literal pairs (`pairs`) decode faster but take a pass over the root to make: a short block
// is better off without them.
constexpr int fillTable(std::span<const uint8_t> lengths, TreeKind kind, int rootBits,
                        std::span<uint32_t> table, bool pairs = true) {
  const uint32_t rootSize = uint32_t{1} << rootBits;
  if (table.size() < rootSize) throw std::logic_error("deflate: decode table too small");
  std::array<uint16_t, kMaxCodeLength + 2> nextCode{};
  std::array<uint16_t, kMaxCodeLength + 1> count{};
  int longest = 0;
  int shortestLiteral = kMaxCodeLength + 1;
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const int length = lengths[symbol];
    if (length > kMaxCodeLength || lengths.size() > kMaxLiteralSymbols) {
      throw std::logic_error("deflate: unvalidated code lengths");
    }
    ++count[length];
    longest = std::max(longest, length);
    if (length > 0 && symbol < 256) shortestLiteral = std::min(shortestLiteral, length);
  }
  count[0] = 0;
  int32_t kraft = 0;  // in units of 2^-15: a complete code fills every entry by itself
  for (int length = 1, code = 0; length <= kMaxCodeLength; ++length) {
    code = (code + count[length - 1]) << 1;
    nextCode[length] = static_cast<uint16_t>(code);
    kraft += count[length] << (kMaxCodeLength - length);
  }
  const bool complete = kraft == 1 << kMaxCodeLength;
  if (!complete) {
    for (uint32_t i = 0; i < rootSize; ++i) table[i] = kEntryInvalid;
  }
  uint32_t used = rootSize;
  if (longest > rootBits) {
    // The deepest code below every root prefix decides its subtable's size.
    std::array<uint8_t, 1 << kMaxRootBits> deepest{};
    std::array<uint16_t, 1 << kMaxRootBits> prefixes{};
    uint32_t prefixCount = 0;
    std::array<uint16_t, kMaxCodeLength + 2> codes = nextCode;
    for (uint8_t length : lengths) {
      if (length <= rootBits) {
        if (length > 0) ++codes[length];
        continue;
      }
      const uint32_t prefix = reverseBits(codes[length]++, length) & (rootSize - 1);
      if (deepest[prefix] == 0) prefixes[prefixCount++] = static_cast<uint16_t>(prefix);
      if (length > deepest[prefix]) deepest[prefix] = length;
    }
    for (uint32_t k = 0; k < prefixCount; ++k) {
      const uint32_t prefix = prefixes[k];
      const uint32_t subBits = deepest[prefix] - static_cast<uint32_t>(rootBits);
      const uint32_t subSize = uint32_t{1} << subBits;
      if (table.size() - used < subSize) throw std::logic_error("deflate: decode table too small");
      table[prefix] = used << 16 | kEntrySubtable | subBits;
      if (!complete) {
        for (uint32_t i = 0; i < subSize; ++i) table[used + i] = kEntryInvalid;
      }
      used += subSize;
    }
  }
  // Every code fills the entries whose low bits are its reversed code.
  std::array<uint16_t, kMaxCodeLength + 2> codes = nextCode;
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const int length = lengths[symbol];
    if (length == 0) continue;
    const uint32_t entry = codeEntry(static_cast<int>(symbol), kind, length);
    const uint32_t reversed = reverseBits(codes[length]++, length);
    if (length <= rootBits) {
      for (uint32_t i = reversed; i < rootSize; i += uint32_t{1} << length) table[i] = entry;
      continue;
    }
    const uint32_t link = table[reversed & (rootSize - 1)];
    const uint32_t base = entryValue(link);
    const uint32_t subSize = uint32_t{1} << entryBits(link);
    const uint32_t step = uint32_t{1} << (length - rootBits);
    for (uint32_t i = reversed >> rootBits; i < subSize; i += step) table[base + i] = entry;
  }
  if (pairs && kind == tkLiteral && 2 * shortestLiteral <= rootBits) {
    pairLiterals(table.first(rootSize), rootBits, shortestLiteral);
  }
  return static_cast<int>(used);
}

// The decode tables of the fixed codes, computed at compile time.
template <size_t Size, size_t Symbols>
constexpr std::array<uint32_t, Size> fixedTable(const std::array<uint8_t, Symbols>& lengths,
                                                TreeKind kind, int rootBits) {
  std::array<uint32_t, Size> table{};
  fillTable(lengths, kind, rootBits, table);
  return table;
}

inline constexpr auto kFixedLiteralTable =
    fixedTable<kLiteralTableSize>(fixedLiteralLengths(), tkLiteral, kLiteralRootBits);
inline constexpr auto kFixedDistanceTable =
    fixedTable<kDistanceTableSize>(fixedDistanceLengths(), tkDistance, kDistanceRootBits);
inline constexpr CanonicalCode kFixedLiteralCode = buildHuff(fixedLiteralLengths(), tkLiteral);
inline constexpr CanonicalCode kFixedDistanceCode = buildHuff(fixedDistanceLengths(), tkDistance);

}  // namespace orvel::deflate
