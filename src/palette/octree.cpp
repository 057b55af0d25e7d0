// Octree quantiser: 8-bit codes of each component over the image's own ranges, an eight-level
// tree of their bits, and reduction from the deepest level up, smallest subtrees first.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "palette/common.h"

namespace orvel::palette {
namespace {

constexpr int kLevels = 8;

struct OctNode {
  int64_t count = 0;
  double sum[3] = {0, 0, 0};
  int32_t child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  bool leaf = false;
};

struct Bounds {
  double min[3];
  double max[3];
};

Bounds octBounds(const std::vector<color::Components>& colours) {
  Bounds b;
  for (int a = 0; a < 3; ++a) b.min[a] = b.max[a] = colours[0][a];
  for (const auto& c : colours) {
    for (int a = 0; a < 3; ++a) {
      b.min[a] = std::min<double>(b.min[a], c[a]);
      b.max[a] = std::max<double>(b.max[a], c[a]);
    }
  }
  return b;
}

int octCode(double v, double min, double max) {
  if (max == min) return 0;
  const double t = (v - min) / (max - min);
  if (t <= 0) return 0;
  if (t >= 1) return 255;
  const double code = std::floor(255.0 * t);
  return code < 0 ? 0 : (code > 255 ? 255 : static_cast<int>(code));
}

int octChild(const int code[3], int level) {
  const int bit = 7 - level;
  return 4 * ((code[0] >> bit) & 1) + 2 * ((code[1] >> bit) & 1) + ((code[2] >> bit) & 1);
}

class Octree {
 public:
  Octree() : nodes_(1) {}

  // The leaf for these codes, created with its path when new.
  int32_t octInsert(const int code[3]) {
    int32_t node = 0;
    for (int level = 0; level < kLevels; ++level) {
      const int c = octChild(code, level);
      if (nodes_[node].child[c] < 0) {
        nodes_[node].child[c] = static_cast<int32_t>(nodes_.size());
        nodes_.emplace_back();
        if (level == kLevels - 1) {
          nodes_.back().leaf = true;
          ++leaves_;
        }
      }
      node = nodes_[node].child[c];
    }
    return node;
  }

  OctNode& at(int32_t i) { return nodes_[i]; }
  int64_t countLeaves() const { return leaves_; }

  // Nodes above the leaves by level, each level in depth-first order (children by index).
  std::vector<std::vector<int32_t>> octCollect() const {
    std::vector<std::vector<int32_t>> levels(kLevels);
    collect(0, 0, levels);
    return levels;
  }

  int64_t octSubtreeCount(int32_t i) const {
    const OctNode& n = nodes_[i];
    if (n.leaf) return n.count;
    int64_t total = 0;
    for (int32_t c : n.child) {
      if (c >= 0) total += octSubtreeCount(c);
    }
    return total;
  }

  // Folds children into node i, which becomes a leaf.
  void absorb(int32_t i) {
    OctNode& n = nodes_[i];
    int children = 0;
    for (int32_t& c : n.child) {
      if (c < 0) continue;
      merge(n, nodes_[c]);
      c = -1;
      ++children;
    }
    n.leaf = true;
    leaves_ -= children - 1;
  }

  // Folds only the `fold` + 1 children of node i with the fewest pixels into one of them, so
  // the leaf count falls by exactly `fold`.
  void absorbSome(int32_t i, int64_t fold) {
    OctNode& n = nodes_[i];
    std::vector<int> present;
    for (int c = 0; c < 8; ++c) {
      if (n.child[c] >= 0) present.push_back(c);
    }
    std::stable_sort(present.begin(), present.end(), [&](int a, int b) {
      return nodes_[n.child[a]].count < nodes_[n.child[b]].count;
    });
    std::vector<int> group(present.begin(), present.begin() + fold + 1);
    std::sort(group.begin(), group.end());
    OctNode& keeper = nodes_[n.child[group[0]]];
    for (std::size_t g = 1; g < group.size(); ++g) {
      merge(keeper, nodes_[n.child[group[g]]]);
      n.child[group[g]] = -1;
    }
    leaves_ -= fold;
  }

  // Leaf colours in depth-first order.
  void leafColours(int32_t i, std::vector<std::array<double, 3>>& out) const {
    const OctNode& n = nodes_[i];
    if (n.leaf) {
      if (n.count > 0) {
        const double k = static_cast<double>(n.count);
        out.push_back({n.sum[0] / k, n.sum[1] / k, n.sum[2] / k});
      }
      return;
    }
    for (int32_t c : n.child) {
      if (c >= 0) leafColours(c, out);
    }
  }

 private:
  static void merge(OctNode& into, const OctNode& from) {
    into.count += from.count;
    for (int a = 0; a < 3; ++a) into.sum[a] += from.sum[a];
  }

  void collect(int32_t i, int level, std::vector<std::vector<int32_t>>& levels) const {
    if (nodes_[i].leaf) return;
    levels[level].push_back(i);
    for (int32_t c : nodes_[i].child) {
      if (c >= 0) collect(c, level + 1, levels);
    }
  }

  std::vector<OctNode> nodes_;
  int64_t leaves_ = 0;
};

}  // namespace

color::Result<Palette> octree(const color::ColorImage& image, int64_t n, const QuantizeOpts& o) {
  if (image.pixels.empty()) return emptyImage("octree");
  const DistinctIndex index(image);
  const auto& colours = index.colours();
  const Bounds bounds = octBounds(colours);
  Octree tree;
  std::vector<int32_t> leafOf(colours.size());
  for (std::size_t d = 0; d < colours.size(); ++d) {
    int code[3];
    for (int a = 0; a < 3; ++a) code[a] = octCode(colours[d][a], bounds.min[a], bounds.max[a]);
    leafOf[d] = tree.octInsert(code);
  }
  for (uint32_t d : index.of()) {
    OctNode& leaf = tree.at(leafOf[d]);
    leaf.count += 1;
    for (int a = 0; a < 3; ++a) leaf.sum[a] += colours[d][a];
  }

  if (tree.countLeaves() > n) {
    const std::vector<std::vector<int32_t>> levels = tree.octCollect();
    for (int level = kLevels - 1; level >= 0 && tree.countLeaves() > n; --level) {
      std::vector<std::pair<int64_t, int32_t>> nodes;
      for (int32_t i : levels[level]) nodes.emplace_back(tree.octSubtreeCount(i), i);
      std::stable_sort(nodes.begin(), nodes.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (const auto& [subtree, i] : nodes) {
        if (tree.countLeaves() <= n) break;
        if (tree.at(i).leaf) continue;
        int children = 0;
        for (int32_t c : tree.at(i).child) children += c >= 0;
        // Folding every child could leave fewer than n colours: fold just enough of them.
        if (tree.countLeaves() - (children - 1) < n) {
          tree.absorbSome(i, tree.countLeaves() - n);
        } else {
          tree.absorb(i);
        }
      }
    }
  }
  std::vector<std::array<double, 3>> result;
  tree.leafColours(0, result);
  return extractedPalette(result, image.space, o, "octree: produced no colors");
}

}  // namespace orvel::palette
