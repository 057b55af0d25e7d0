// Palette extraction: the options, the registry of quantisers by name, the six built-in
// quantisers, and the two entry points (from a colour image, and from an 8-bit Image).
//
// Every quantiser works on the pixels' three components in the work space and ignores alpha;
// its colours carry the work space's tag and alpha 1. Sums of components are accumulated in
// double precision in pixel order (k-means and the self-organising network keep their
// centroids and neurons in double precision too); counts are 64-bit integers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "color/image.h"
#include "image/image.h"
#include "palette/palette.h"

namespace orvel::palette {

struct QuantizeOpts {
  uint64_t seed = 0;
  int64_t maxIterations = 20;
  bool weighted = false;  // chroma-weighted Lloyd refinement for the k-means quantisers
  bool parallel = false;
  int64_t threads = 0;  // used when parallel and above 1; all work runs on the calling thread
};

QuantizeOpts defaultQuantizeOpts() noexcept;

using QuantizeFn = color::Result<Palette> (*)(const color::ColorImage& image, int64_t n,
                                              const QuantizeOpts& opts);

// The registry. registerQuantizeAlgo refuses (false) an empty name, a name already present, a
// null function, and every registration once the registry is sealed. The six built-in
// quantisers ("wu", "kmeans", "kmeansPP", "medianCut", "octree", "neuquant") are registered
// on first use; start-up seals the registry.
bool registerQuantizeAlgo(std::string_view name, QuantizeFn fn);
void sealQuantizeAlgos();
bool quantizeAlgosSealed();
QuantizeFn lookupQuantizeAlgo(std::string_view name);  // exact, case-sensitive; null if absent
std::string quantizeAlgoNames();                       // "wu, kmeans, ..." in registration order

// The quantisers. Each does per-colour work once per distinct colour (the image's index, or one
// it builds), which does not change its result.
color::Result<Palette> computeWu(const color::ColorImage& image, int64_t n, const QuantizeOpts& o);
color::Result<Palette> computeKmeansImage(const color::ColorImage& image, int64_t n,
                                          const QuantizeOpts& o, bool plusPlus);
color::Result<Palette> medianCut(const color::ColorImage& image, int64_t n, const QuantizeOpts& o);
color::Result<Palette> octree(const color::ColorImage& image, int64_t n, const QuantizeOpts& o);
color::Result<Palette> neuquant(const color::ColorImage& image, int64_t n, const QuantizeOpts& o);

// The pixels of an 8-bit Gray, RGB or RGBA image as sRGB colours (component = byte / 255);
// kind 12, context "Orvel.extractPalette" for an image it cannot take.
color::Result<color::ColorImage> toColorImage(const image::Image& image);

// n colours of the image in the work space by the named quantiser.
color::Result<Palette> extractPalette(const color::ColorImage& image, int64_t n,
                                      std::string_view algorithm, color::SpaceTag workSpace,
                                      const QuantizeOpts& opts);
color::Result<Palette> extractPalette(const image::Image& image, int64_t n,
                                      std::string_view algorithm, color::SpaceTag workSpace,
                                      const QuantizeOpts& opts);

}  // namespace orvel::palette
