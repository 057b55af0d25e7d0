#include "palette/oracle.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "palette/splitmix.h"

namespace oracle {
namespace {

using V3 = std::array<double, 3>;

Palette finish(const std::vector<V3>& colours, const ColorImage& image, const QuantizeOpts& o,
               orvel::color::SpaceTag space = 0) {
  Palette p;
  for (const V3& c : colours) {
    p.colors.push_back(
        {{float(c[0]), float(c[1]), float(c[2])}, 1.0f, space ? space : image.space});
  }
  p.seed = o.seed;
  return p;
}

double comp(const ColorImage& im, std::size_t i, int a) { return im.pixels[i].c[a]; }

// ---- Wu ----
int idx(int r, int g, int b) { return (r * 17 + g) * 17 + b; }
struct Mo {
  double n, s0, s1, s2, q;
};
struct Bx {
  int lo[3], hi[3];
};

template <class T>
void prefix(std::vector<T>& t) {
  for (int r = 1; r < 17; ++r)
    for (int g = 1; g < 17; ++g)
      for (int b = 1; b < 17; ++b) t[idx(r, g, b)] += t[idx(r, g, b - 1)];
  for (int r = 1; r < 17; ++r)
    for (int g = 1; g < 17; ++g)
      for (int b = 1; b < 17; ++b) t[idx(r, g, b)] += t[idx(r, g - 1, b)];
  for (int r = 1; r < 17; ++r)
    for (int g = 1; g < 17; ++g)
      for (int b = 1; b < 17; ++b) t[idx(r, g, b)] += t[idx(r - 1, g, b)];
}

template <class T>
T vol(const std::vector<T>& t, const Bx& x) {
  const int r1 = x.hi[0] + 1, g1 = x.hi[1] + 1, b1 = x.hi[2] + 1, r0 = x.lo[0], g0 = x.lo[1],
            b0 = x.lo[2];
  return t[idx(r1, g1, b1)] - t[idx(r0, g1, b1)] - t[idx(r1, g0, b1)] + t[idx(r0, g0, b1)] -
         t[idx(r1, g1, b0)] + t[idx(r0, g1, b0)] + t[idx(r1, g0, b0)] - t[idx(r0, g0, b0)];
}

}  // namespace

Palette wu(const ColorImage& im, int64_t n, const QuantizeOpts& o) {
  const std::size_t count = im.pixels.size();
  double mn[3], mx[3];
  for (int a = 0; a < 3; ++a) mn[a] = mx[a] = comp(im, 0, a);
  for (std::size_t i = 0; i < count; ++i)
    for (int a = 0; a < 3; ++a) {
      mn[a] = std::min(mn[a], comp(im, i, a));
      mx[a] = std::max(mx[a], comp(im, i, a));
    }
  std::vector<int64_t> w(4913, 0);
  std::vector<double> s0(4913, 0), s1(4913, 0), s2(4913, 0), q(4913, 0);
  for (std::size_t i = 0; i < count; ++i) {
    int bin[3];
    for (int a = 0; a < 3; ++a) {
      if (mx[a] <= mn[a]) {
        bin[a] = 1;
        continue;
      }
      const double f = std::floor((comp(im, i, a) - mn[a]) / (mx[a] - mn[a]) * 16.0);
      bin[a] = int(std::clamp(f, 0.0, 15.0)) + 1;
    }
    const int c = idx(bin[0], bin[1], bin[2]);
    const double c0 = comp(im, i, 0), c1 = comp(im, i, 1), c2 = comp(im, i, 2);
    w[c] += 1;
    s0[c] += c0;
    s1[c] += c1;
    s2[c] += c2;
    q[c] += c0 * c0 + c1 * c1 + c2 * c2;
  }
  prefix(w);
  prefix(s0);
  prefix(s1);
  prefix(s2);
  prefix(q);
  auto sum = [&](const Bx& x) {
    return Mo{double(vol(w, x)), vol(s0, x), vol(s1, x), vol(s2, x), vol(q, x)};
  };
  auto score = [](const Mo& m) {
    return m.n == 0 ? 0.0 : m.q * m.n - (m.s0 * m.s0 + m.s1 * m.s1 + m.s2 * m.s2);
  };
  std::vector<Bx> boxes = {Bx{{0, 0, 0}, {15, 15, 15}}};
  while (int64_t(boxes.size()) < n) {
    double bestGain = 0;
    int bestBox = -1, bestAxis = 0, bestJ = 0;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
      const double whole = score(sum(boxes[b]));
      bool found = false;
      double g = 0;
      int ga = 0, gj = 0;
      for (int a = 0; a < 3; ++a)
        for (int j = boxes[b].lo[a]; j < boxes[b].hi[a]; ++j) {
          Bx lo = boxes[b], hi = boxes[b];
          lo.hi[a] = j;
          hi.lo[a] = j + 1;
          const Mo ml = sum(lo), mh = sum(hi);
          if (ml.n == 0 || mh.n == 0) continue;
          const double gain = whole - (score(ml) + score(mh));
          if (!found || gain > g) {
            found = true;
            g = gain;
            ga = a;
            gj = j;
          }
        }
      if (found && g > 1e-12 && (bestBox < 0 || g > bestGain)) {
        bestGain = g;
        bestBox = int(b);
        bestAxis = ga;
        bestJ = gj;
      }
    }
    if (bestBox < 0) break;
    Bx hi = boxes[bestBox];
    boxes[bestBox].hi[bestAxis] = bestJ;
    hi.lo[bestAxis] = bestJ + 1;
    boxes.push_back(hi);
  }
  std::vector<V3> out;
  for (const Bx& b : boxes) {
    const Mo m = sum(b);
    if (m.n > 0) out.push_back({m.s0 / m.n, m.s1 / m.n, m.s2 / m.n});
  }
  return finish(out, im, o);
}

Palette kmeans(const ColorImage& im, int64_t n, const QuantizeOpts& o, bool plusPlus) {
  const std::size_t count = im.pixels.size();
  auto pt = [&](std::size_t i) { return V3{comp(im, i, 0), comp(im, i, 1), comp(im, i, 2)}; };
  auto d2 = [](const V3& a, const V3& b) {
    const double x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
    return x * x + y * y + z * z;
  };
  orvel::palette::SplitMix64 rng(o.seed ^ 0x9E3779B97F4A7C15ull);
  std::vector<V3> cen;
  if (!plusPlus) {
    for (int64_t k = 0; k < n; ++k) cen.push_back(pt(rng.next() % count));
  } else {
    cen.push_back(pt(rng.next() % count));
    while (int64_t(cen.size()) < n) {
      std::vector<double> dist(count);
      double total = 0;
      for (std::size_t i = 0; i < count; ++i) {
        double best = std::numeric_limits<double>::infinity();
        for (const V3& c : cen) best = std::min(best, d2(pt(i), c));
        dist[i] = best;
        total += best;
      }
      std::size_t pick = count - 1;
      if (total == 0) {
        pick = rng.next() % count;
      } else {
        const double target = total * rng.nextFloat();
        double run = 0;
        for (std::size_t i = 0; i < count; ++i) {
          run += dist[i];
          if (run >= target) {
            pick = i;
            break;
          }
        }
      }
      cen.push_back(pt(pick));
    }
  }
  const int64_t iterations = o.maxIterations;
  for (int64_t it = 0; it < iterations; ++it) {
    std::vector<V3> sums(cen.size(), V3{0, 0, 0});
    std::vector<double> mass(cen.size(), 0);
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t best = 0;
      for (std::size_t c = 1; c < cen.size(); ++c)
        if (d2(pt(i), cen[c]) < d2(pt(i), cen[best])) best = c;
      const double wgt =
          o.weighted ? std::sqrt(pt(i)[1] * pt(i)[1] + pt(i)[2] * pt(i)[2]) + 1.0 : 1.0;
      for (int a = 0; a < 3; ++a) sums[best][a] += o.weighted ? wgt * pt(i)[a] : pt(i)[a];
      mass[best] += wgt;
    }
    double move = 0;
    for (std::size_t c = 0; c < cen.size(); ++c) {
      if (mass[c] == 0) continue;
      const V3 next = {sums[c][0] / mass[c], sums[c][1] / mass[c], sums[c][2] / mass[c]};
      move = std::max(move, std::sqrt(d2(next, cen[c])));
      cen[c] = next;
    }
    if (move < 1e-4) break;
  }
  return finish(cen, im, o, orvel::color::tagOklab);
}

Palette medianCut(const ColorImage& im, int64_t n, const QuantizeOpts& o) {
  std::vector<std::size_t> order(im.pixels.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  struct B {
    std::size_t start, len;
  };
  std::vector<B> boxes = {{0, order.size()}};
  auto extent = [&](const B& b, int& axis) {
    double best = -1;
    for (int a = 0; a < 3; ++a) {
      double lo = comp(im, order[b.start], a), hi = lo;
      for (std::size_t i = b.start; i < b.start + b.len; ++i) {
        lo = std::min(lo, comp(im, order[i], a));
        hi = std::max(hi, comp(im, order[i], a));
      }
      if (hi - lo > best) {
        best = hi - lo;
        axis = a;
      }
    }
    return best;
  };
  while (int64_t(boxes.size()) < n) {
    int chosen = -1, axis = 0;
    double widest = 0;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
      int a = 0;
      const double e = boxes[b].len > 1 ? extent(boxes[b], a) : 0;
      if (boxes[b].len > 1 && e > 0 && (chosen < 0 || e > widest)) {
        chosen = int(b);
        widest = e;
        axis = a;
      }
    }
    if (chosen < 0) break;
    B& box = boxes[chosen];
    std::stable_sort(
        order.begin() + box.start, order.begin() + box.start + box.len,
        [&](std::size_t x, std::size_t y) { return im.pixels[x].c[axis] < im.pixels[y].c[axis]; });
    const B upper{box.start + box.len / 2, box.len - box.len / 2};
    box.len /= 2;
    boxes.push_back(upper);
  }
  std::vector<V3> out;
  for (const B& b : boxes) {
    V3 s{0, 0, 0};
    for (std::size_t i = b.start; i < b.start + b.len; ++i)
      for (int a = 0; a < 3; ++a) s[a] += im.pixels[order[i]].c[a];
    out.push_back({s[0] / double(b.len), s[1] / double(b.len), s[2] / double(b.len)});
  }
  return finish(out, im, o);
}

namespace {
struct Node {
  int64_t count = 0;
  double sum[3] = {0, 0, 0};
  int child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  bool leaf = false;
};
int64_t subtree(const std::vector<Node>& t, int i) {
  if (t[i].leaf) return t[i].count;
  int64_t s = 0;
  for (int c : t[i].child)
    if (c >= 0) s += subtree(t, c);
  return s;
}
void byLevel(const std::vector<Node>& t, int i, int level, std::vector<std::vector<int>>& out) {
  if (t[i].leaf) return;
  out[level].push_back(i);
  for (int c : t[i].child)
    if (c >= 0) byLevel(t, c, level + 1, out);
}
void leaves(const std::vector<Node>& t, int i, std::vector<V3>& out) {
  if (t[i].leaf) {
    out.push_back({t[i].sum[0] / double(t[i].count), t[i].sum[1] / double(t[i].count),
                   t[i].sum[2] / double(t[i].count)});
    return;
  }
  for (int c : t[i].child)
    if (c >= 0) leaves(t, c, out);
}
}  // namespace

Palette octree(const ColorImage& im, int64_t n, const QuantizeOpts& o) {
  double mn[3], mx[3];
  for (int a = 0; a < 3; ++a) mn[a] = mx[a] = comp(im, 0, a);
  for (std::size_t i = 0; i < im.pixels.size(); ++i)
    for (int a = 0; a < 3; ++a) {
      mn[a] = std::min(mn[a], comp(im, i, a));
      mx[a] = std::max(mx[a], comp(im, i, a));
    }
  std::vector<Node> t(1);
  int64_t leafCount = 0;
  for (std::size_t i = 0; i < im.pixels.size(); ++i) {
    int code[3];
    for (int a = 0; a < 3; ++a) {
      if (mx[a] == mn[a]) {
        code[a] = 0;
        continue;
      }
      const double v = (comp(im, i, a) - mn[a]) / (mx[a] - mn[a]);
      code[a] = v <= 0 ? 0 : v >= 1 ? 255 : std::clamp(int(std::floor(255 * v)), 0, 255);
    }
    int node = 0;
    for (int level = 0; level < 8; ++level) {
      const int bit = 7 - level;
      const int c =
          4 * ((code[0] >> bit) & 1) + 2 * ((code[1] >> bit) & 1) + ((code[2] >> bit) & 1);
      if (t[node].child[c] < 0) {
        t[node].child[c] = int(t.size());
        t.emplace_back();
        if (level == 7) {
          t.back().leaf = true;
          ++leafCount;
        }
      }
      node = t[node].child[c];
    }
    t[node].count += 1;
    for (int a = 0; a < 3; ++a) t[node].sum[a] += comp(im, i, a);
  }
  if (leafCount > n) {
    std::vector<std::vector<int>> levels(8);
    byLevel(t, 0, 0, levels);
    for (int level = 7; level >= 0 && leafCount > n; --level) {
      std::vector<int> nodes = levels[level];
      std::stable_sort(nodes.begin(), nodes.end(),
                       [&](int a, int b) { return subtree(t, a) < subtree(t, b); });
      for (int i : nodes) {
        if (leafCount <= n) break;
        if (t[i].leaf) continue;
        std::vector<int> kids;
        for (int c = 0; c < 8; ++c)
          if (t[i].child[c] >= 0) kids.push_back(c);
        const int64_t children = int64_t(kids.size());
        if (leafCount - (children - 1) < n) {
          // Fold only the leafCount − n + 1 smallest children into the first of them.
          std::stable_sort(kids.begin(), kids.end(), [&](int a, int b) {
            return t[t[i].child[a]].count < t[t[i].child[b]].count;
          });
          std::vector<int> group;
          for (int64_t g = 0; g < leafCount - n + 1; ++g) group.push_back(kids[g]);
          std::sort(group.begin(), group.end());
          for (std::size_t g = 1; g < group.size(); ++g) {
            Node& keep = t[t[i].child[group[0]]];
            const Node& from = t[t[i].child[group[g]]];
            keep.count += from.count;
            for (int a = 0; a < 3; ++a) keep.sum[a] += from.sum[a];
            t[i].child[group[g]] = -1;
          }
          leafCount = n;
          break;
        }
        for (int c : kids) {
          const Node from = t[t[i].child[c]];
          t[i].count += from.count;
          for (int a = 0; a < 3; ++a) t[i].sum[a] += from.sum[a];
          t[i].child[c] = -1;
        }
        t[i].leaf = true;
        leafCount -= children - 1;
      }
    }
  }
  std::vector<V3> out;
  leaves(t, 0, out);
  return finish(out, im, o);
}

Palette neuquant(const ColorImage& im, int64_t n, const QuantizeOpts& o) {
  const uint64_t count = im.pixels.size();
  orvel::palette::SplitMix64 rng(o.seed ^ 0x9E3779B97F4A7C15ull);
  std::vector<V3> net(n);
  for (auto& v : net) {
    const uint64_t i = rng.next() % count;
    v = {comp(im, i, 0), comp(im, i, 1), comp(im, i, 2)};
  }
  const int64_t L = o.maxIterations < 2 ? 1 : o.maxIterations;
  const int64_t T = int64_t(count) * L;
  const int64_t R = n >= 4 ? n / 2 : 1;
  for (int64_t w = 0; w < T; ++w) {
    const double alpha = 0.3 * (1.0 - double(w) / double(T));
    if (alpha <= 0) break;
    int64_t r = int64_t(double(R) * (1.0 - double(w) / double(T)));
    if (r < 1) r = n < 4 ? 0 : 1;
    const uint64_t i = rng.next() % count;
    const V3 p = {comp(im, i, 0), comp(im, i, 1), comp(im, i, 2)};
    int64_t best = 0;
    double bd = std::numeric_limits<double>::infinity();
    for (int64_t k = 0; k < n; ++k) {
      const double d = (p[0] - net[k][0]) * (p[0] - net[k][0]) +
                       (p[1] - net[k][1]) * (p[1] - net[k][1]) +
                       (p[2] - net[k][2]) * (p[2] - net[k][2]);
      if (d < bd) {
        bd = d;
        best = k;
      }
    }
    std::vector<bool> moved(n, false);
    for (int64_t d = -r; d <= r; ++d) {
      const int64_t k = ((best + d) % n + n) % n;
      if (moved[k]) continue;
      moved[k] = true;
      for (int a = 0; a < 3; ++a) net[k][a] += alpha * (p[a] - net[k][a]);
    }
  }
  return finish(net, im, o);
}

}  // namespace oracle
