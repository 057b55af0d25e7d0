// Prefix codes of lossless WebP: canonical codes built from code lengths, decoded through a root
// table of up to 8 bits and second-level tables for longer codes.
//
// Files may declare incomplete or over-subscribed codes, and both decode exactly as a reader
// that takes one bit at a time would: the shortest code matching the next bits wins, and bits
// that match no code of 15 bits or fewer are an error. Every table is sized from the lengths
// actually declared (the worst case over-subscription can produce included), so no declared code
// can write past one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/webp/bit_reader.h"

namespace orvel::codec::webp {

inline constexpr int kMaxCodeLength = 15;

// One table slot: a symbol and its code length, a link to a second-level table, or nothing.
struct PrefixEntry {
  uint16_t value;  // the symbol, or the link's offset from the root table
  uint8_t bits;    // the code length; kLinkBits + index bits for a link; kNoCode
};
inline constexpr uint8_t kLinkBits = 16;
inline constexpr uint8_t kNoCode = 0xFF;

// Where a built code lives in its arena.
struct PrefixCodeRef {
  uint32_t offset = 0;
  uint32_t rootMask = 0;
  int usedSymbols = 0;
  uint16_t onlySymbol = 0;  // the symbol when usedSymbols == 1 (decoded with no bits)
};

// Builds the code of `lengths` (each 0..15, 0 = unused) at the end of `arena`.
PrefixCodeRef buildPrefixCode(std::span<const uint8_t> lengths, std::vector<PrefixEntry>& arena);

// A built code ready for decoding.
struct PrefixCode {
  const PrefixEntry* table = nullptr;
  uint32_t rootMask = 0;

  // The entry for the next bits: a symbol with its length, or kNoCode. Needs 15 bits in the
  // window.
  PrefixEntry lookup(const BitReader& reader) const noexcept {
    const uint32_t bits = reader.window32();
    PrefixEntry entry = table[bits & rootMask];
    if (entry.bits >= kLinkBits && entry.bits != kNoCode) {
      const uint32_t indexMask = (1u << (entry.bits - kLinkBits)) - 1;
      entry = table[entry.value + ((bits >> 8) & indexMask)];
    }
    return entry;
  }
};

}  // namespace orvel::codec::webp
