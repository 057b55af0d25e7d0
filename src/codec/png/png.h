// PNG: every standard colour type and bit depth, non-interlaced, reduced to 8 bits per channel;
// written as 8-bit gray, RGB or RGBA in one IDAT of unfiltered rows.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::png {

image::Image decodePng(base::ByteView bytes);
std::vector<uint8_t> encodePng(const image::Image& image);

// Appends one chunk with its CRC.
void writeChunk(std::vector<uint8_t>& output, std::string_view type, base::ByteView data);

// The Paeth predictor of a pixel from its left, upper and upper-left neighbours.
uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) noexcept;

// Sample `index` of a packed row: depths 1, 2 and 4 most significant bits first; depth 8 the
// byte itself.
uint8_t sampleBits(std::span<const uint8_t> row, int64_t index, int depth) noexcept;

}  // namespace orvel::codec::png
