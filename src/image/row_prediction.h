// Undoing left-neighbour prediction along a row of bytes: PNG's Sub filter and TIFF's
// horizontal differencing of 8-bit samples are the same running sum per byte lane.
#pragma once

#include <cstdint>

namespace orvel::image {

// out[i] = raw[i] + out[i - unit] (mod 256), the first `unit` bytes copied. `out` may equal
// `raw` or lie before it in the same buffer: every byte is read before anything at or beyond
// it is written. `unit` is at least 1.
void addLeftNeighbours(const uint8_t* raw, uint8_t* out, int64_t length, int unit) noexcept;

// For tests: true makes every later call take the portable path instead of the SSSE3 one.
void choosePortablePrediction(bool portable) noexcept;

}  // namespace orvel::image
