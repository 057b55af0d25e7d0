// Resampling. Nearest neighbour copies bytes. The filtered resize runs the horizontal pass one
// source row at a time into a ring of intermediate rows, just those the vertical pass needs,
// and the vertical pass writes each output row from the rows its weights name: the values are
// those of a full intermediate image, in a few rows that stay in cache.
#include "process/resize.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/error.h"
#include "process/checks.h"
#include "process/kernels.h"

namespace orvel::process {
namespace {

using image::Image;

constexpr int64_t kMostPixels = int64_t{1} << 30;
constexpr int64_t kMostIntermediate = (int64_t{1} << 61) - 1;
// Horizontal passes write this many floats past a row's last value (three-channel pixels are
// stored four floats at a time); intermediate rows are padded to whole blocks of 32 floats.
constexpr int64_t kRowSlack = 2;
constexpr int64_t kRowBlock = 32;

[[noreturn]] void invalid(const char* message) {
  throw image::OrvelException(image::iekInvalid, message);
}

void validate(const Image& source, int64_t width, int64_t height, Filter filter) {
  if (!isWellFormed(source)) invalid("resize: malformed source image");
  if (width < 1 || height < 1) invalid("resize: non-positive dims");
  int64_t intermediatePixels = 0;
  int64_t outputPixels = 0;
  int64_t intermediateBytes = 0;
  int64_t outputBytes = 0;
  if (__builtin_mul_overflow(width, source.height, &intermediatePixels) ||
      intermediatePixels > kMostPixels || __builtin_mul_overflow(width, height, &outputPixels) ||
      outputPixels > kMostPixels ||
      __builtin_mul_overflow(intermediatePixels, source.channels, &intermediateBytes) ||
      __builtin_mul_overflow(outputPixels, source.channels, &outputBytes)) {
    invalid("resize: dimensions too large");
  }
  if (filter != rfNearest && intermediateBytes > kMostIntermediate) {
    invalid("resize: float intermediate too large");
  }
}

// ---- Nearest neighbour ----

int64_t nearestIndex(int64_t i, int64_t sourceLength, int64_t outputLength) {
  const float centre = (static_cast<float>(i) + 0.5f) * static_cast<float>(sourceLength) /
                       static_cast<float>(outputLength);
  return std::min(sourceLength - 1, static_cast<int64_t>(centre));
}

template <int kChannels>
void gatherPixels(const uint8_t* source, const int64_t* offsets, int64_t count, uint8_t* out) {
  for (int64_t x = 0; x < count; ++x) {
    std::memcpy(out + x * kChannels, source + offsets[x], kChannels);
  }
}

Image resizeNearest(const Image& source, int64_t width, int64_t height) {
  Image out = image::newImageForOverwrite(width, height, source.colorspace);
  const int64_t channels = source.channels;
  std::vector<int64_t> offsets(static_cast<size_t>(width));
  bool sameColumns = width == source.width;
  for (int64_t x = 0; x < width; ++x) {
    offsets[x] = nearestIndex(x, source.width, width) * channels;
    sameColumns = sameColumns && offsets[x] == x * channels;
  }
  const int64_t stride = out.stride();
  int64_t previous = -1;
  for (int64_t y = 0; y < height; ++y) {
    const int64_t sy = nearestIndex(y, source.height, height);
    uint8_t* row = out.pixels.data() + y * stride;
    const uint8_t* from = source.pixels.data() + sy * source.stride();
    if (sy == previous) {
      std::memcpy(row, row - stride, static_cast<size_t>(stride));
    } else if (sameColumns) {
      std::memcpy(row, from, static_cast<size_t>(stride));
    } else if (channels == 1) {
      gatherPixels<1>(from, offsets.data(), width, row);
    } else if (channels == 3) {
      gatherPixels<3>(from, offsets.data(), width, row);
    } else {
      gatherPixels<4>(from, offsets.data(), width, row);
    }
    previous = sy;
  }
  return out;
}

// ---- Filtered ----

// The horizontal table in the layout of the vector loops (see HorizontalView).
struct HorizontalPlan {
  int64_t groupSize = 2;
  int64_t groups = 0;
  std::vector<int64_t> tapStart{0};
  std::vector<int64_t> offset;
  std::vector<float> weight;

  HorizontalView view() const noexcept {
    return {tapStart.data(), offset.data(), weight.data(), groups};
  }
};

// Pairs of weight 0 add nothing to a sum of non-negative terms, so they are left out.
int64_t nonZeroCount(std::span<const float> weights) {
  return std::count_if(weights.begin(), weights.end(), [](float w) { return w != 0; });
}

HorizontalPlan planHorizontal(const WeightTable& table, int64_t channels) {
  HorizontalPlan plan;
  plan.groupSize = channels == 1 ? 8 : 2;
  const int64_t outputs = table.entries();
  plan.groups = (outputs + plan.groupSize - 1) / plan.groupSize;
  std::vector<int64_t> cursor(static_cast<size_t>(plan.groupSize));
  for (int64_t g = 0; g < plan.groups; ++g) {
    const int64_t firstOutput = g * plan.groupSize;
    int64_t widest = 0;
    for (int64_t lane = 0; lane < plan.groupSize && firstOutput + lane < outputs; ++lane) {
      widest = std::max(widest, nonZeroCount(table.weights(firstOutput + lane)));
      cursor[lane] = table.start[firstOutput + lane];
    }
    for (int64_t t = 0; t < widest; ++t) {
      for (int64_t lane = 0; lane < plan.groupSize; ++lane) {
        const int64_t output = firstOutput + lane;
        int64_t& at = cursor[lane];
        if (output < outputs) {
          while (at < table.start[output + 1] && table.weight[at] == 0) ++at;
        }
        if (output < outputs && at < table.start[output + 1]) {
          plan.offset.push_back(table.index[at] * channels);
          plan.weight.push_back(table.weight[at]);
          ++at;
        } else {
          plan.offset.push_back(0);  // padding: weight 0 on the row's first sample
          plan.weight.push_back(0);
        }
      }
    }
    plan.tapStart.push_back(plan.tapStart.back() + widest);
  }
  return plan;
}

// The vertical table without its zero weights, with the longest list and the widest range of
// rows that one output row reads.
struct VerticalPlan {
  WeightTable taps;
  int64_t mostTaps = 1;
  int64_t widestSpan = 1;
};

VerticalPlan planVertical(const WeightTable& table) {
  VerticalPlan plan;
  for (int64_t y = 0; y < table.entries(); ++y) {
    const std::span<const int64_t> rows = table.indices(y);
    const std::span<const float> weights = table.weights(y);
    int64_t low = INT64_MAX;
    int64_t high = INT64_MIN;
    for (size_t k = 0; k < rows.size(); ++k) {
      if (weights[k] == 0) continue;
      plan.taps.add(rows[k], weights[k]);
      low = std::min(low, rows[k]);
      high = std::max(high, rows[k]);
    }
    plan.taps.closeEntry();
    plan.mostTaps = std::max(plan.mostTaps, plan.taps.start[y + 1] - plan.taps.start[y]);
    if (low <= high) plan.widestSpan = std::max(plan.widestSpan, high - low + 1);
  }
  return plan;
}

Image resizeFiltered(const Image& source, int64_t width, int64_t height, Filter filter) {
  const ResizeKernels& kernels = resizeKernels();
  const int64_t channels = source.channels;
  const bool rgba = source.colorspace == image::csRgba;
  auto horizontal = rgba            ? kernels.horizontalRgba
                    : channels == 1 ? kernels.horizontal1
                    : channels == 3 ? kernels.horizontal3
                                    : kernels.horizontal4;
  auto vertical = rgba ? kernels.verticalRgba : kernels.verticalPlain;

  const HorizontalPlan across = planHorizontal(buildWeights(filter, source.width, width), channels);
  const HorizontalView acrossView = across.view();
  const VerticalPlan down = planVertical(buildWeights(filter, source.height, height));

  // Rows of the ring are slots r mod n: the rows one output row reads, within its span, never
  // share a slot; a row that was overwritten is computed again, to the same values.
  const int64_t written = across.groups * across.groupSize * channels + kRowSlack;
  const int64_t rowFloats = (written + kRowBlock - 1) / kRowBlock * kRowBlock;
  const int64_t slots = down.widestSpan;
  std::vector<float> ring(static_cast<size_t>(slots * rowFloats));
  std::vector<int64_t> held(static_cast<size_t>(slots), -1);
  // The source row as floats; padded, since three-channel pixels are read four floats at a time.
  const int64_t sourceCount = source.width * channels;
  std::vector<float> sourceRow(static_cast<size_t>(sourceCount + 4));
  std::vector<const float*> rows(static_cast<size_t>(down.mostTaps));
  std::vector<float> weights(static_cast<size_t>(down.mostTaps));

  Image out = image::newImageForOverwrite(width, height, source.colorspace);
  const int64_t outStride = out.stride();
  for (int64_t y = 0; y < height; ++y) {
    const int64_t first = down.taps.start[y];
    const int64_t taps = down.taps.start[y + 1] - first;
    for (int64_t t = 0; t < taps; ++t) {
      const int64_t r = down.taps.index[first + t];
      const int64_t slot = r % slots;
      float* line = ring.data() + slot * rowFloats;
      if (held[slot] != r) {
        kernels.bytesToFloats(source.pixels.data() + r * source.stride(), sourceRow.data(),
                              sourceCount);
        horizontal(sourceRow.data(), acrossView, line);
        held[slot] = r;
      }
      rows[t] = line;
      weights[t] = down.taps.weight[first + t];
    }
    vertical(rows.data(), weights.data(), taps, outStride, out.pixels.data() + y * outStride);
  }
  return out;
}

Image resizeImpl(const Image& source, int64_t width, int64_t height, Filter filter) {
  validate(source, width, height, filter);
  if (filter == rfNearest) return resizeNearest(source, width, height);
  return resizeFiltered(source, width, height, filter);
}

}  // namespace

Image resize(const Image& source, int64_t width, int64_t height, Filter filter) {
  return resizeImpl(source, width, height, filter);
}

}  // namespace orvel::process
