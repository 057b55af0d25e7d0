// Literal transcriptions of the six quantisers: every step per pixel, in the order the
// algorithms are written, with no caching. The optimised quantisers must give the same bytes.
#pragma once

#include "palette/quantize.h"

namespace oracle {

using orvel::color::ColorImage;
using orvel::palette::Palette;
using orvel::palette::QuantizeOpts;

Palette wu(const ColorImage& image, int64_t n, const QuantizeOpts& o);
Palette kmeans(const ColorImage& image, int64_t n, const QuantizeOpts& o, bool plusPlus);
Palette medianCut(const ColorImage& image, int64_t n, const QuantizeOpts& o);
Palette octree(const ColorImage& image, int64_t n, const QuantizeOpts& o);
Palette neuquant(const ColorImage& image, int64_t n, const QuantizeOpts& o);

}  // namespace oracle
