// Undoing PNG's per-row prediction filters.
#pragma once

#include <cstdint>

namespace orvel::codec::png {

// Undoes filter `type` (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth) of one row of `length` bytes
// against the previous unfiltered row (zeros above the first row), with `unit` bytes per
// complete pixel (at least 1). `out` may lie before `raw` in the same buffer (a row shifted back
// over its filter bytes): each byte is read before anything at or beyond it is written.
// `previous` may not overlap either. False for an unknown filter type.
bool unfilterRow(uint8_t type, const uint8_t* raw, const uint8_t* previous, uint8_t* out,
                 int64_t length, int unit) noexcept;

}  // namespace orvel::codec::png
