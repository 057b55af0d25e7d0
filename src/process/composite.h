// Alpha compositing of one image over another, in place.
#pragma once

#include <cstdint>

#include "image/image.h"

namespace orvel::process {

// Puts `source` (gray, RGB or RGBA) over the RGBA `destination` with its top-left pixel at
// (x, y), clipped to the destination, at the given opacity: the "over" operator on straight
// alpha, every result rounded to nearest in integer arithmetic. The source may be the
// destination itself.
void compositeOver(image::Image& destination, const image::Image& source, int64_t x, int64_t y,
                   uint8_t opacity);

}  // namespace orvel::process
