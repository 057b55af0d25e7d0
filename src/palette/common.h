// Helpers shared by the quantisers.
#pragma once

#include <string>
#include <vector>

#include "color/image.h"
#include "palette/palette.h"
#include "palette/quantize.h"

namespace orvel::palette {

// The distinct colours of an image and, per pixel, the index of its colour: the image's own
// index when it carries one, otherwise one built here.
class DistinctIndex {
 public:
  explicit DistinctIndex(const color::ColorImage& image);
  const std::vector<color::Components>& colours() const { return *colours_; }
  const std::vector<uint32_t>& of() const { return *of_; }

 private:
  std::vector<color::Components> ownColours_;
  std::vector<uint32_t> ownOf_;
  const std::vector<color::Components>* colours_;
  const std::vector<uint32_t>* of_;
};

// "<algorithm>: empty image" (kind 12).
color::ColorError emptyImage(const std::string& algorithm);

// An extracted palette (tag 1, intent 0, the options' seed) of double-precision colours in
// the given space, alpha 1.
color::Result<Palette> extractedPalette(const std::vector<std::array<double, 3>>& colours,
                                        color::SpaceTag space, const QuantizeOpts& opts,
                                        const std::string& noColoursMessage);

}  // namespace orvel::palette
