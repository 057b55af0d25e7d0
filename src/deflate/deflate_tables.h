// The fixed tables of DEFLATE: length and distance bases with their extra bits, the order
// of the code-length code lengths, and the fixed Huffman code lengths.
#pragma once

#include <array>
#include <cstdint>

namespace orvel::deflate {

inline constexpr int kMaxCodeLength = 15;
inline constexpr int kMaxLiteralSymbols = 288;  // HLIT may announce 286 and 287 too
inline constexpr int kMaxDistanceSymbols = 32;  // HDIST may announce 30 and 31 too
inline constexpr int kCodeLengthSymbols = 19;
inline constexpr int kEndOfBlock = 256;
inline constexpr int kMaxMatch = 258;
inline constexpr int kWindowSize = 32768;

// Length symbols 257..285 (index = symbol - 257).
inline constexpr std::array<uint16_t, 29> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<uint8_t, 29> kLengthExtra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Distance symbols 0..29.
inline constexpr std::array<uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                           4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                           9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

inline constexpr std::array<uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline constexpr std::array<uint8_t, kMaxLiteralSymbols> fixedLiteralLengths() {
  std::array<uint8_t, kMaxLiteralSymbols> lengths{};
  for (int s = 0; s < kMaxLiteralSymbols; ++s) {
    lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  }
  return lengths;
}

inline constexpr std::array<uint8_t, kMaxDistanceSymbols> fixedDistanceLengths() {
  std::array<uint8_t, kMaxDistanceSymbols> lengths{};
  for (auto& length : lengths) length = 5;
  return lengths;
}

// Reverses the low `length` bits (at most 16): Huffman codes are defined MSB first but
// travel LSB first. Swaps of halves, quarters, nibbles, pairs and bits reverse 16 bits.
inline constexpr uint32_t reverseBits(uint32_t code, int length) {
  uint32_t x = code & 0xFFFF;
  x = (x & 0x00FF) << 8 | (x >> 8 & 0x00FF);
  x = (x & 0x0F0F) << 4 | (x >> 4 & 0x0F0F);
  x = (x & 0x3333) << 2 | (x >> 2 & 0x3333);
  x = (x & 0x5555) << 1 | (x >> 1 & 0x5555);
  return x >> (16 - length);
}

}  // namespace orvel::deflate
