// k-means with random or k-means++ initial centroids, plain or chroma-weighted. Each
// assignment is computed once per distinct colour; sums still run over the pixels in order.
#include "palette/kmeans.h"

#include <cmath>
#include <string>

#include "palette/common.h"
#include "palette/splitmix.h"

namespace orvel::palette {
namespace {

using color::colorError;

Centroid asCentroid(const color::Components& c) { return {c[0], c[1], c[2]}; }

// The nearest centroid of every distinct colour (the first of equal distances).
std::vector<uint32_t> assign(const std::vector<color::Components>& colours,
                             const std::vector<Centroid>& centroids) {
  std::vector<uint32_t> label(colours.size());
  for (std::size_t i = 0; i < colours.size(); ++i) {
    const Centroid p = asCentroid(colours[i]);
    double best = sqDist(p, centroids[0]);
    uint32_t bestIndex = 0;
    for (std::size_t c = 1; c < centroids.size(); ++c) {
      const double d = sqDist(p, centroids[c]);
      if (d < best) {
        best = d;
        bestIndex = static_cast<uint32_t>(c);
      }
    }
    label[i] = bestIndex;
  }
  return label;
}

std::vector<Centroid> randomInit(const DistinctIndex& index, int64_t k, SplitMix64& rng) {
  const uint64_t count = index.of().size();
  std::vector<Centroid> centroids;
  for (int64_t i = 0; i < k; ++i) {
    centroids.push_back(asCentroid(index.colours()[index.of()[rng.next() % count]]));
  }
  return centroids;
}

std::vector<Centroid> kppInit(const DistinctIndex& index, int64_t k, SplitMix64& rng) {
  const auto& colours = index.colours();
  const auto& of = index.of();
  const uint64_t count = of.size();
  std::vector<Centroid> centroids = {asCentroid(colours[of[rng.next() % count]])};
  // Squared distance of each distinct colour to its nearest chosen centroid.
  std::vector<double> nearest(colours.size());
  for (std::size_t d = 0; d < colours.size(); ++d)
    nearest[d] = sqDist(asCentroid(colours[d]), centroids[0]);
  while (static_cast<int64_t>(centroids.size()) < k) {
    double sum = 0.0;
    for (uint32_t d : of) sum += nearest[d];
    uint64_t chosen = 0;
    if (sum == 0.0) {
      chosen = rng.next() % count;
    } else {
      const double target = sum * rng.nextFloat();
      double running = 0.0;
      chosen = count - 1;
      for (uint64_t i = 0; i < count; ++i) {
        running += nearest[of[i]];
        if (running >= target) {
          chosen = i;
          break;
        }
      }
    }
    centroids.push_back(asCentroid(colours[of[chosen]]));
    for (std::size_t d = 0; d < colours.size(); ++d) {
      const double dist = sqDist(asCentroid(colours[d]), centroids.back());
      if (dist < nearest[d]) nearest[d] = dist;
    }
  }
  return centroids;
}

double largestMove(const std::vector<Centroid>& before, const std::vector<Centroid>& after) {
  double move = 0.0;
  for (std::size_t c = 0; c < before.size(); ++c) {
    const double d = deltaE_ok(before[c], after[c]);
    if (d > move) move = d;
  }
  return move;
}

// One update of Lloyd's iteration; weights null means every pixel weighs 1. False when a
// weighted update is not finite.
bool update(const DistinctIndex& index, const std::vector<uint32_t>& label,
            const std::vector<double>* weights, std::vector<Centroid>& centroids) {
  const std::size_t k = centroids.size();
  std::vector<Centroid> sums(k, Centroid{0, 0, 0});
  std::vector<double> mass(k, 0.0);
  const auto& colours = index.colours();
  for (uint32_t d : index.of()) {
    const uint32_t c = label[d];
    const auto& p = colours[d];
    if (weights == nullptr) {
      sums[c][0] += p[0];
      sums[c][1] += p[1];
      sums[c][2] += p[2];
      mass[c] += 1.0;
    } else {
      const double w = (*weights)[d];
      sums[c][0] += w * p[0];
      sums[c][1] += w * p[1];
      sums[c][2] += w * p[2];
      mass[c] += w;
    }
  }
  for (std::size_t c = 0; c < k; ++c) {
    if (mass[c] == 0.0) continue;  // a centroid without pixels keeps its place
    const Centroid next = {sums[c][0] / mass[c], sums[c][1] / mass[c], sums[c][2] / mass[c]};
    if (!std::isfinite(next[0]) || !std::isfinite(next[1]) || !std::isfinite(next[2])) return false;
    centroids[c] = next;
  }
  return true;
}

}  // namespace

double sqDist(const Centroid& a, const Centroid& b) {
  const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
  return d0 * d0 + d1 * d1 + d2 * d2;
}

double deltaE_ok(const Centroid& a, const Centroid& b) { return std::sqrt(sqDist(a, b)); }

color::Result<std::vector<Centroid>> kmeans(const color::ColorImage& points,
                                            const KmeansOptions& opts) {
  const int64_t count = static_cast<int64_t>(points.pixels.size());
  if (opts.k < 1) {
    return colorError(color::cekArgument, "kmeans: k must be >= 1, got " + std::to_string(opts.k),
                      "kmeans");
  }
  if (opts.k > count) {
    return colorError(color::cekArgument,
                      "kmeans: k (" + std::to_string(opts.k) + ") > number of points (" +
                          std::to_string(count) + ")",
                      "kmeans");
  }
  if (opts.maxIterations < 0) {
    return colorError(color::cekArgument,
                      "kmeans: maxIter must be >= 0, got " + std::to_string(opts.maxIterations),
                      "kmeans");
  }
  if (opts.threads < 1) {
    return colorError(color::cekArgument,
                      "kmeans: threads must be >= 1, got " + std::to_string(opts.threads),
                      "kmeans");
  }
  if (count == 0) return colorError(color::cekArgument, "kmeans: empty point set", "kmeans");

  const DistinctIndex index(points);
  SplitMix64 rng = quantizerRng(opts.seed);
  std::vector<Centroid> centroids =
      opts.plusPlus ? kppInit(index, opts.k, rng) : randomInit(index, opts.k, rng);
  for (int64_t it = 0; it < opts.maxIterations; ++it) {
    const std::vector<Centroid> before = centroids;
    update(index, assign(index.colours(), centroids), nullptr, centroids);
    if (largestMove(before, centroids) < opts.tolerance) break;
  }
  return centroids;
}

color::Result<std::vector<Centroid>> weightedLloyd(const color::ColorImage& points,
                                                   std::vector<Centroid> centroids,
                                                   int64_t maxIterations, double tolerance) {
  const DistinctIndex index(points);
  std::vector<double> weights(index.colours().size());
  for (std::size_t d = 0; d < weights.size(); ++d) {
    const double a = index.colours()[d][1], b = index.colours()[d][2];
    weights[d] = std::sqrt(a * a + b * b) + 1.0;
  }
  for (int64_t it = 0; it < maxIterations; ++it) {
    const std::vector<Centroid> before = centroids;
    if (!update(index, assign(index.colours(), centroids), &weights, centroids)) {
      return colorError(color::cekNonFinite,
                        "weightedLloyd: centroid update produced invalid comps", "weightedLloyd");
    }
    if (largestMove(before, centroids) < tolerance) break;
  }
  return centroids;
}

color::Result<Palette> computeKmeansImage(const color::ColorImage& image, int64_t n,
                                          const QuantizeOpts& o, bool plusPlus) {
  if (image.pixels.empty()) return emptyImage("kmeans");
  if (image.space != color::tagOklab) {
    return colorError(color::cekArgument,
                      "kmeans: requires OKLab work space, got " + color::spaceTagText(image.space),
                      "kmeans");
  }
  const int64_t count = static_cast<int64_t>(image.pixels.size());
  if (n > count) {
    return colorError(
        color::cekArgument,
        "kmeans: n (" + std::to_string(n) + ") > pixel count (" + std::to_string(count) + ")",
        "kmeans");
  }
  KmeansOptions core;
  core.seed = o.seed;
  core.k = n;
  core.maxIterations = o.weighted ? 0 : o.maxIterations;
  core.plusPlus = plusPlus;
  core.threads = o.weighted ? 1 : (o.parallel && o.threads > 1 ? o.threads : 1);
  color::Result<std::vector<Centroid>> centroids = kmeans(image, core);
  if (centroids.ok() && o.weighted) {
    if (o.maxIterations < 0) {
      return colorError(color::cekArgument,
                        "kmeans: maxIter must be >= 0, got " + std::to_string(o.maxIterations),
                        "kmeans");
    }
    centroids = weightedLloyd(image, std::move(centroids).value(), o.maxIterations, core.tolerance);
  }
  if (!centroids.ok()) return std::move(centroids).error();
  return extractedPalette(centroids.value(), color::tagOklab, o, "kmeans: produced no colors");
}

}  // namespace orvel::palette
