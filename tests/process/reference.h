// Literal, slow transcriptions of resampling, geometry and compositing: the oracles that the
// fast code must match byte for byte.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "image/image.h"

namespace orvel::testing {

using Pairs = std::vector<std::pair<int64_t, float>>;
using Table = std::vector<Pairs>;

Table referenceBilinear(int64_t sourceLength, int64_t outputLength);
Table referenceBox(int64_t sourceLength, int64_t outputLength);

// filter 0 nearest, 1 bilinear, 2 box; through a full float intermediate image.
image::Image referenceResize(const image::Image& source, int64_t width, int64_t height, int filter);

// op 0..4 by each pixel's destination; orientations 1..8 as their one or two operations.
image::Image referenceRotate(const image::Image& source, int op);
image::Image referenceOrientation(const image::Image& source, int orientation);

// Changes `destination` pixel by pixel; a source sharing the destination is copied first.
void referenceComposite(image::Image& destination, const image::Image& source, int64_t x, int64_t y,
                        int opacity);

}  // namespace orvel::testing
