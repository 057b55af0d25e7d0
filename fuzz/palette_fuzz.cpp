// Palette extraction over arbitrary small images, algorithms, spaces and options. The first
// eight bytes choose the request; the rest are pixels (repeated to fill the image).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "palette/quantize.h"

namespace {

const char* const kAlgorithms[] = {"wu",     "kmeans",   "kmeansPP", "medianCut",
                                   "octree", "neuquant", "Wu"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  using namespace orvel;
  const int64_t width = 1 + data[0] % 24;
  const int64_t height = 1 + data[1] % 24;
  const uint8_t layout = data[2] % 6;
  const int64_t n = int64_t(data[3] % 40) - 2;
  const char* algorithm = kAlgorithms[data[4] % 7];
  const color::SpaceTag space = static_cast<color::SpaceTag>(data[5] % 30);
  palette::QuantizeOpts opts;
  opts.seed = data[6];
  opts.maxIterations =
      int64_t(data[7] % 6) - 1;  // bounded: the network trains pixels × passes steps
  opts.weighted = data[7] & 0x80;
  image::Image im = image::newImage(width, height, layout);
  const uint8_t* pixels = data + 8;
  const size_t available = size - 8;
  for (size_t i = 0; i < im.pixels.size(); ++i) im.pixels[i] = pixels[i % available];

  color::Result<palette::Palette> result = palette::extractPalette(im, n, algorithm, space, opts);
  if (!result.ok()) return 0;
  const palette::Palette& p = result.value();
  if (p.colors.empty() || static_cast<int64_t>(p.colors.size()) > n) std::abort();
  for (const color::Color& c : p.colors) {
    if (c.space != space || c.alpha != 1.0f) std::abort();
    for (float v : c.c) {
      if (!std::isfinite(v)) std::abort();
    }
  }
  return 0;
}
