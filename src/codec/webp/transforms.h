// The inverse transforms of lossless WebP over 32-bit ARGB pixels, each in place on rows stored
// one after another at the width the transform was declared with.
#pragma once

#include <array>
#include <cstdint>

namespace orvel::codec::webp {

// A sub-image of per-block values: one pixel for each 2^bits × 2^bits block.
struct BlockImage {
  const uint32_t* pixels = nullptr;
  int64_t width = 0;
  int bits = 0;
};

// The predictor modes (green of each block, 0..13; 14 and 15 predict as 0) undone.
void undoPredictor(uint32_t* pixels, int64_t width, int64_t height, const BlockImage& modes);

// The colour transform (green-to-red, green-to-blue, red-to-blue multipliers) undone.
void undoColorTransform(uint32_t* pixels, int64_t width, int64_t height, const BlockImage& multipliers);

// Green added back to red and blue.
void addGreen(uint32_t* pixels, int64_t count);

// Indices (green, packed 2^widthBits to a pixel) replaced by palette colours; the packed rows
// of `width` >> widthBits pixels (rounded up) occupy the start of the buffer and widen in place.
void expandColorMap(uint32_t* pixels, int64_t width, int64_t height, int widthBits,
                    const std::array<uint32_t, 256>& palette);

// One pixel's prediction by mode from its left, top, top-right and top-left neighbours.
uint32_t predictorValue(int mode, uint32_t left, uint32_t top, uint32_t topRight, uint32_t topLeft);

}  // namespace orvel::codec::webp
