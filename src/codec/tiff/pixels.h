// Rows of TIFF samples: horizontal differencing undone, and samples of 1, 4, 8 or 16 bits turned
// into 8-bit output pixels of the chosen layout.
#pragma once

#include <cstdint>
#include <vector>

namespace orvel::codec::tiff {

struct PixelFormat {
  int64_t width = 0;
  int64_t height = 0;
  int bits = 8;
  int samples = 1;
  int photometric = 0;
  uint32_t compression = 1;
  int predictor = 1;
  bool bigEndian = false;
  uint8_t colorspace = 0;
  std::vector<uint8_t> palette;  // R, G, B of each index when photometric is 3
};

// Bytes of a row of `width` pixels: whole bytes, sub-byte samples packed from the top bit.
int64_t rowBytesFor(const PixelFormat& format, int64_t width);

// Whether stored rows are output rows byte for byte (8-bit samples, one per output channel,
// nothing to invert or look up).
bool rowsAreOutput(const PixelFormat& format);

// Adds each sample to the same channel of the previous pixel, modulo 2^8 or 2^16.
void undoDifferencing(const PixelFormat& format, uint8_t* row, int64_t width);

// The first `width` pixels of a stored row as output pixels.
void convertRow(const PixelFormat& format, const uint8_t* row, int64_t width, uint8_t* out);

}  // namespace orvel::codec::tiff
