// The core k-means of the palette layer, over the pixels of a colour image in OKLab.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "color/color.h"
#include "color/image.h"

namespace orvel::palette {

using Centroid = std::array<double, 3>;

struct KmeansOptions {
  uint64_t seed = 0;
  int64_t k = 1;
  int64_t maxIterations = 20;
  bool plusPlus = false;  // k-means++ initial centroids instead of random pixels
  double tolerance = 1e-4;
  int64_t threads = 1;
};

// Validates the options ("kmeans: k must be >= 1, got <k>", "kmeans: k (<k>) > number of
// points (<count>)", "kmeans: maxIter must be >= 0, got <m>", "kmeans: threads must be >= 1,
// got <t>", "kmeans: empty point set"), draws the initial centroids and runs Lloyd's
// iterations until the largest centroid move is below the tolerance.
color::Result<std::vector<Centroid>> kmeans(const color::ColorImage& points,
                                            const KmeansOptions& opts);

// Lloyd's iterations with each pixel weighted by its OKLab chroma plus one.
color::Result<std::vector<Centroid>> weightedLloyd(const color::ColorImage& points,
                                                   std::vector<Centroid> centroids,
                                                   int64_t maxIterations, double tolerance);

double sqDist(const Centroid& a, const Centroid& b);
double deltaE_ok(const Centroid& a, const Centroid& b);

}  // namespace orvel::palette
