// A self-organising network: n neurons on a ring, each step pulling the neuron nearest a
// random pixel and its ring neighbours toward it, with a learning rate and radius that shrink
// linearly over the run (to 1, or to the winner alone on rings of fewer than four).
#include <limits>
#include <string>
#include <vector>

#include "palette/common.h"
#include "palette/splitmix.h"

namespace orvel::palette {

color::Result<Palette> neuquant(const color::ColorImage& image, int64_t n, const QuantizeOpts& o) {
  if (image.pixels.empty()) return emptyImage("neuquant");
  // Neurons start on pixels; more of them than pixels would only size memory from n.
  if (static_cast<uint64_t>(n) > image.pixels.size()) {
    return color::colorError(color::cekArgument,
                             "neuquant: n (" + std::to_string(n) + ") > pixel count (" +
                                 std::to_string(image.pixels.size()) + ")",
                             "neuquant");
  }
  // Each step reads one random pixel: straight from the image, one memory access.
  const std::vector<color::Color>& pixels = image.pixels;
  const uint64_t count = pixels.size();
  SplitMix64 rng = quantizerRng(o.seed);

  std::vector<std::array<double, 3>> neurons(static_cast<std::size_t>(n));
  for (auto& neuron : neurons) {
    const auto& c = pixels[rng.next() % count].c;
    neuron = {c[0], c[1], c[2]};
  }

  const int64_t passes = o.maxIterations < 2 ? 1 : o.maxIterations;
  int64_t steps = 0;
  if (__builtin_mul_overflow(static_cast<int64_t>(count), passes, &steps)) {
    steps = std::numeric_limits<int64_t>::max();
  }
  const double total = static_cast<double>(steps);
  const int64_t radiusStart = n >= 4 ? n / 2 : 1;
  for (int64_t w = 0; w < steps; ++w) {
    const double remaining = 1.0 - static_cast<double>(w) / total;
    const double alpha = 0.3 * remaining;
    if (alpha <= 0) break;
    int64_t radius = static_cast<int64_t>(static_cast<double>(radiusStart) * remaining);
    // A radius of 1 spans a ring of two or three neurons whole: every neuron would make every
    // move and they would end as one colour. Such rings shrink to the winner alone.
    if (radius < 1) radius = n < 4 ? 0 : 1;

    const auto& p = pixels[rng.next() % count].c;
    const double p0 = p[0], p1 = p[1], p2 = p[2];
    int64_t best = 0;
    double bestDist = std::numeric_limits<double>::infinity();
    for (int64_t i = 0; i < n; ++i) {
      const auto& q = neurons[i];
      const double d0 = p0 - q[0], d1 = p1 - q[1], d2 = p2 - q[2];
      const double d = d0 * d0 + d1 * d1 + d2 * d2;
      if (d < bestDist) {
        bestDist = d;
        best = i;
      }
    }
    // Each neuron within the radius moves once, also when the radius wraps the whole ring.
    const int64_t first = 2 * radius + 1 >= n ? 0 : best - radius;
    const int64_t span = 2 * radius + 1 >= n ? n : 2 * radius + 1;
    for (int64_t k = 0; k < span; ++k) {
      auto& q = neurons[static_cast<std::size_t>(((first + k) % n + n) % n)];
      q[0] += alpha * (p0 - q[0]);
      q[1] += alpha * (p1 - q[1]);
      q[2] += alpha * (p2 - q[2]);
    }
  }
  return extractedPalette(neurons, image.space, o, "neuquant: produced no colors");
}

}  // namespace orvel::palette
