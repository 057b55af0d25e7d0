// Median cut: split the box of widest extent at the median of its widest axis until there
// are n boxes. A box holding one colour is never split: halving it would only repeat that
// colour in the palette.
#include <bit>
#include <cstring>
#include <vector>

#include "palette/common.h"

namespace orvel::palette {
namespace {

struct McBox {
  std::size_t start = 0;
  std::size_t length = 0;
  double extent = 0;  // largest max − min over the three components
  int axis = 0;       // the component of that extent (the lower one on ties)
};

// Box extent: the widest axis of the pixels in order[start, start + length).
void mcExtent(McBox& box, const std::vector<uint32_t>& order, const std::vector<uint32_t>& of,
              const std::vector<color::Components>& colours) {
  color::Components lo = colours[of[order[box.start]]];
  color::Components hi = lo;
  for (std::size_t i = box.start; i < box.start + box.length; ++i) {
    const color::Components& c = colours[of[order[i]]];
    for (int a = 0; a < 3; ++a) {
      if (c[a] < lo[a]) lo[a] = c[a];
      if (c[a] > hi[a]) hi[a] = c[a];
    }
  }
  box.axis = 0;
  box.extent = static_cast<double>(hi[0]) - lo[0];
  for (int a = 1; a < 3; ++a) {
    const double extent = static_cast<double>(hi[a]) - lo[a];
    if (extent > box.extent) {
      box.extent = extent;
      box.axis = a;
    }
  }
}

// A key whose unsigned order is the order of the float values (−0 equal to +0).
uint32_t orderKey(float v) {
  if (v == 0.0f) v = 0.0f;
  const uint32_t bits = std::bit_cast<uint32_t>(v);
  return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}

// Stable sort of order[start, start + length) by one component: least-significant-digit radix
// sort on 11-, 11- and 10-bit digits, which keeps equal keys in their present order.
void sortByComponent(std::vector<uint32_t>& order, const McBox& box,
                     const std::vector<uint32_t>& of, const std::vector<color::Components>& colours,
                     std::vector<uint32_t>& scratch, std::vector<uint32_t>& keys,
                     std::vector<uint32_t>& keyScratch) {
  const std::size_t n = box.length;
  uint32_t* items = order.data() + box.start;
  keys.resize(n);
  for (std::size_t i = 0; i < n; ++i) keys[i] = orderKey(colours[of[items[i]]][box.axis]);
  scratch.resize(n);
  keyScratch.resize(n);
  uint32_t* srcItems = items;
  uint32_t* srcKeys = keys.data();
  uint32_t* dstItems = scratch.data();
  uint32_t* dstKeys = keyScratch.data();
  const int shifts[3] = {0, 11, 22};
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<std::size_t> counts(2049, 0);
    const int shift = shifts[pass];
    for (std::size_t i = 0; i < n; ++i) ++counts[((srcKeys[i] >> shift) & 0x7FF) + 1];
    for (std::size_t d = 1; d < counts.size(); ++d) counts[d] += counts[d - 1];
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t at = counts[(srcKeys[i] >> shift) & 0x7FF]++;
      dstItems[at] = srcItems[i];
      dstKeys[at] = srcKeys[i];
    }
    std::swap(srcItems, dstItems);
    std::swap(srcKeys, dstKeys);
  }
  // Three passes leave the result in the scratch buffer.
  std::memcpy(items, srcItems, n * sizeof(uint32_t));
}

std::array<double, 3> centroidColor(const McBox& box, const std::vector<uint32_t>& order,
                                    const std::vector<uint32_t>& of,
                                    const std::vector<color::Components>& colours) {
  double sum[3] = {0, 0, 0};
  for (std::size_t i = box.start; i < box.start + box.length; ++i) {
    const color::Components& c = colours[of[order[i]]];
    sum[0] += c[0];
    sum[1] += c[1];
    sum[2] += c[2];
  }
  const double n = static_cast<double>(box.length);
  return {sum[0] / n, sum[1] / n, sum[2] / n};
}

}  // namespace

color::Result<Palette> medianCut(const color::ColorImage& image, int64_t n, const QuantizeOpts& o) {
  if (image.pixels.empty()) return emptyImage("medianCut");
  if (image.pixels.size() >= UINT32_MAX) {
    return color::colorError(color::cekImage, "medianCut: image too large", "medianCut");
  }
  const DistinctIndex index(image);
  const auto& of = index.of();
  const auto& colours = index.colours();
  std::vector<uint32_t> order(of.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);

  std::vector<McBox> boxes(1);
  boxes[0].length = order.size();
  mcExtent(boxes[0], order, of, colours);
  std::vector<uint32_t> scratch, keys, keyScratch;
  while (static_cast<int64_t>(boxes.size()) < n) {
    std::size_t chosen = boxes.size();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].length < 2 || !(boxes[i].extent > 0)) continue;
      if (chosen == boxes.size() || boxes[i].extent > boxes[chosen].extent) chosen = i;
    }
    if (chosen == boxes.size()) break;
    sortByComponent(order, boxes[chosen], of, colours, scratch, keys, keyScratch);
    McBox upper;
    const std::size_t keep = boxes[chosen].length / 2;
    upper.start = boxes[chosen].start + keep;
    upper.length = boxes[chosen].length - keep;
    boxes[chosen].length = keep;
    mcExtent(boxes[chosen], order, of, colours);
    mcExtent(upper, order, of, colours);
    boxes.push_back(upper);
  }

  std::vector<std::array<double, 3>> result;
  for (const McBox& box : boxes) {
    if (box.length == 0) continue;
    result.push_back(centroidColor(box, order, of, colours));
  }
  return extractedPalette(result, image.space, o, "medianCut: produced no colors");
}

}  // namespace orvel::palette
