// Huffman codes of baseline JPEG: decoding tables (a look-ahead for short codes, the canonical
// comparison by length for long ones) and the encoder's symbol-to-code map.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "codec/jpeg/header.h"
#include "codec/jpeg/tables.h"

namespace orvel::codec::jpeg {

inline constexpr int kLookaheadBits = 9;
inline constexpr int kMaxCodeLength = 16;

// Decoding arrays of ITU T.81 Annex C, with look-ahead tables that give the same answers. Any
// code counts are accepted: an over-subscribed length never yields more symbols than it
// counts, and bits matching no code are a bad code.
struct HuffmanDecoder {
  // For each 9-bit prefix: the length (high byte) and symbol (low byte) of the code it starts
  // with, or 0 when that code is longer than 9 bits or there is none.
  std::array<uint16_t, 1 << kLookaheadBits> fast{};
  // For AC tables: where a code and all the value bits of its coefficient fit in 9 bits, the
  // coefficient's value (bits 16 and up, signed), the zero run (bits 8 to 15) and the bits used
  // (low byte); otherwise 0.
  std::array<int32_t, 1 << kLookaheadBits> fastAc{};
  // By code length 1 to 16: the largest code, or -1 when there is none, and the offset that
  // turns a code of that length into its symbol's index.
  std::array<int32_t, kMaxCodeLength + 1> maxCode{};
  std::array<int32_t, kMaxCodeLength + 1> symbolOffset{};
  std::vector<uint8_t> symbols;

  // The length and symbol of the code that the 16 bits (most significant first) begin with,
  // or length 0 when none of up to 16 bits is a code.
  struct Match {
    int length;
    int symbol;
  };
  Match match16(uint32_t bits16) const noexcept {
    const uint16_t entry = fast[bits16 >> (kMaxCodeLength - kLookaheadBits)];
    if (entry != 0) return {entry >> 8, entry & 0xFF};
    return matchLong(bits16);
  }
  Match matchLong(uint32_t bits16) const noexcept;
};

// The decoding table of a file's Huffman table (an undefined one matches no code).
HuffmanDecoder buildHuff(const HuffmanSpec& spec);

// The JPEG sign extension of an n-bit value.
inline int32_t extend(uint32_t value, int n) noexcept {
  return value < (1u << (n - 1)) ? static_cast<int32_t>(value) - (1 << n) + 1
                                 : static_cast<int32_t>(value);
}

struct HuffmanCode {
  uint16_t code = 0;
  uint8_t length = 0;  // 0: the symbol has no code
};
using HuffmanEncoder = std::array<HuffmanCode, 256>;

// Canonical codes: in symbol-list order within each length, incremented, doubled between
// lengths.
HuffmanEncoder buildHuffEnc(const HuffmanCounts& table);

}  // namespace orvel::codec::jpeg
