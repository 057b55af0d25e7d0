#include "palette/common.h"

namespace orvel::palette {

DistinctIndex::DistinctIndex(const color::ColorImage& image) {
  if (!image.distinctOf.empty() || image.pixels.empty()) {
    colours_ = &image.distinct;
    of_ = &image.distinctOf;
    return;
  }
  color::buildDistinctIndex(image.pixels, ownColours_, ownOf_);
  colours_ = &ownColours_;
  of_ = &ownOf_;
}

color::ColorError emptyImage(const std::string& algorithm) {
  return color::colorError(color::cekImage, algorithm + ": empty image", algorithm);
}

color::Result<Palette> extractedPalette(const std::vector<std::array<double, 3>>& colours,
                                        color::SpaceTag space, const QuantizeOpts& opts,
                                        const std::string& noColoursMessage) {
  if (colours.empty()) return color::colorError(color::cekImage, noColoursMessage, "palette");
  std::vector<color::Color> out;
  out.reserve(colours.size());
  for (const auto& c : colours) {
    out.push_back(color::Color{
        {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])}, 1.0f, space});
  }
  return palette(std::move(out), kExtractedPaletteTag, 0, opts.seed);
}

}  // namespace orvel::palette
