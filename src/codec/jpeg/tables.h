// The constant tables of baseline JPEG: the zigzag order, the example quantisation and Huffman
// tables of ITU T.81 Annex K, and the single-precision cosine table both transforms share.
#pragma once

#include <array>
#include <cstdint>

namespace orvel::codec::jpeg {

// Natural (row-major) index of each zigzag position.
inline constexpr std::array<uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Table K.1 (luminance) and K.2 (chrominance), natural order.
inline constexpr std::array<uint8_t, 64> kLuminanceQuant = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
inline constexpr std::array<uint8_t, 64> kChrominanceQuant = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// A Huffman table as a file defines it: the number of codes of each length 1 to 16, then the
// symbols in code order.
struct HuffmanCounts {
  std::array<uint8_t, 16> counts;
  const uint8_t* symbols;
  int symbolCount;
};

// Tables K.3 to K.6.
extern const HuffmanCounts kLuminanceDc;
extern const HuffmanCounts kChrominanceDc;
extern const HuffmanCounts kLuminanceAc;
extern const HuffmanCounts kChrominanceAc;

// C(0) of the transforms, 1/sqrt(2) in single precision; C(k) = 1 otherwise.
inline constexpr float kC0 = 0.70710677f;

// cos((2x + 1) u pi / 16) for x, u in 0..7, at [x * 8 + u], computed once in single precision
// with pi as 3.1415927. Column u = 0 holds exactly 1.
struct CosineTable {
  std::array<float, 64> at;      // [x * 8 + u]
  std::array<float, 64> byFreq;  // the same transposed: [u * 8 + x]
};
const CosineTable& cosineTable();

}  // namespace orvel::codec::jpeg
