// Lossless geometry: quarter turns, mirrors, the eight EXIF orientations and crops, each into a
// new image of the same layout.
#pragma once

#include <cstdint>

#include "image/image.h"

namespace orvel::process {

enum RotateOp : uint8_t {
  roClockwise90 = 0,         // output H × W; (x, y) lands at (H − 1 − y, x)
  roHalfTurn = 1,            // (W − 1 − x, H − 1 − y)
  roCounterClockwise90 = 2,  // output H × W; (x, y) lands at (y, W − 1 − x)
  roMirrorLeftRight = 3,     // (W − 1 − x, y)
  roMirrorTopBottom = 4,     // (x, H − 1 − y)
};

// The operation a C caller's number names; any other number raises "ov_image: bad rotate op".
RotateOp rotateOpFromCint(uint32_t code);

image::Image rotate(const image::Image& source, RotateOp op);

// The upright image of one stored with EXIF orientation 1..8; other values raise "EXIF
// orientation must be between 1 and 8".
image::Image applyExifOrientation(const image::Image& source, int64_t orientation);

// The width × height rectangle whose top-left pixel is (x, y).
image::Image crop(const image::Image& source, int64_t x, int64_t y, int64_t width, int64_t height);

}  // namespace orvel::process
