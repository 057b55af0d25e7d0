// The per-axis weight tables. Their arithmetic is 32-bit float in the order written: the
// results, down to the last bit, are part of what a resize produces.
#include <algorithm>
#include <cmath>

#include "image/error.h"
#include "process/resize.h"

namespace orvel::process {

Filter filterFromCint(uint32_t code) {
  if (code > rfBox) throw image::OrvelException(image::iekInvalid, "ov_image: bad filter");
  return static_cast<Filter>(code);
}

float clamp(float x, float low, float high) noexcept {
  if (x < low) return low;
  if (x > high) return high;
  return x;
}

WeightTable bilinearWeights(int64_t sourceLength, int64_t outputLength) {
  WeightTable table;
  const auto source = static_cast<float>(sourceLength);
  const auto output = static_cast<float>(outputLength);
  for (int64_t i = 0; i < outputLength; ++i) {
    const float f =
        clamp((static_cast<float>(i) + 0.5f) * source / output - 0.5f, 0.0f, source - 1.0f);
    const auto g = static_cast<int64_t>(f);
    const float fraction = f - static_cast<float>(g);
    table.add(g, 1.0f - fraction);
    if (std::min(g + 1, sourceLength - 1) != g) table.add(g + 1, fraction);
    table.closeEntry();
  }
  return table;
}

WeightTable boxWeights(int64_t sourceLength, int64_t outputLength) {
  WeightTable table;
  const auto source = static_cast<float>(sourceLength);
  const auto output = static_cast<float>(outputLength);
  for (int64_t i = 0; i < outputLength; ++i) {
    const float begin = source * static_cast<float>(i) / output;
    const float end = source * static_cast<float>(i + 1) / output;
    const int64_t first = static_cast<int64_t>(table.index.size());
    for (auto j = static_cast<int64_t>(std::floor(begin));
         j < sourceLength && end > static_cast<float>(j); ++j) {
      const float overlap =
          std::min(end, static_cast<float>(j + 1)) - std::max(begin, static_cast<float>(j));
      if (overlap > 0) table.add(j, overlap);
    }
    float sum = 0;
    for (auto k = static_cast<size_t>(first); k < table.weight.size(); ++k) sum += table.weight[k];
    if (sum > 0) {
      for (auto k = static_cast<size_t>(first); k < table.weight.size(); ++k)
        table.weight[k] /= sum;
    } else {
      // Rounding left the cell empty: the nearest source sample by index stands in.
      table.index.resize(static_cast<size_t>(first));
      table.weight.resize(static_cast<size_t>(first));
      table.add(std::max<int64_t>(0, std::min(sourceLength - 1, i)), 1.0f);
    }
    table.closeEntry();
  }
  return table;
}

WeightTable buildWeights(Filter filter, int64_t sourceLength, int64_t outputLength) {
  switch (filter) {
    case rfNearest:
      return WeightTable{};
    case rfBox:
      return boxWeights(sourceLength, outputLength);
    default:
      return bilinearWeights(sourceLength, outputLength);
  }
}

}  // namespace orvel::process
