// Wu's quantiser: a 16-level histogram per axis over the image's own component ranges,
// cumulative moment tables, and greedy splits of the box with the largest variance gain.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "palette/common.h"

namespace orvel::palette {
namespace {

constexpr int kSide = 17;  // 16 bins and the zero plane
constexpr int kCells = kSide * kSide * kSide;
constexpr double kMinGain = 1e-12;

int cellIndex(int r, int g, int b) { return (r * kSide + g) * kSide + b; }

struct Moments {
  double n = 0, s0 = 0, s1 = 0, s2 = 0, q = 0;
};

struct Tables {
  std::vector<int64_t> count = std::vector<int64_t>(kCells, 0);
  std::vector<double> s0 = std::vector<double>(kCells, 0), s1 = s0, s2 = s0, q = s0;
};

// Cumulative sums along each axis in turn (c2, then c1, then c0).
template <class T>
void buildPrefix(std::vector<T>& t) {
  for (int r = 1; r < kSide; ++r)
    for (int g = 1; g < kSide; ++g)
      for (int b = 1; b < kSide; ++b) t[cellIndex(r, g, b)] += t[cellIndex(r, g, b - 1)];
  for (int r = 1; r < kSide; ++r)
    for (int g = 1; g < kSide; ++g)
      for (int b = 1; b < kSide; ++b) t[cellIndex(r, g, b)] += t[cellIndex(r, g - 1, b)];
  for (int r = 1; r < kSide; ++r)
    for (int g = 1; g < kSide; ++g)
      for (int b = 1; b < kSide; ++b) t[cellIndex(r, g, b)] += t[cellIndex(r - 1, g, b)];
}

// Inclusive bin ranges 0..15 per axis.
struct Box {
  int lo[3];
  int hi[3];
};

template <class T>
T corner(const std::vector<T>& t, const Box& x) {
  const int r1 = x.hi[0] + 1, g1 = x.hi[1] + 1, b1 = x.hi[2] + 1;
  const int r0 = x.lo[0], g0 = x.lo[1], b0 = x.lo[2];
  return t[cellIndex(r1, g1, b1)] - t[cellIndex(r0, g1, b1)] - t[cellIndex(r1, g0, b1)] +
         t[cellIndex(r0, g0, b1)] - t[cellIndex(r1, g1, b0)] + t[cellIndex(r0, g1, b0)] +
         t[cellIndex(r1, g0, b0)] - t[cellIndex(r0, g0, b0)];
}

Moments boxSum(const Tables& t, const Box& box) {
  return {static_cast<double>(corner(t.count, box)), corner(t.s0, box), corner(t.s1, box),
          corner(t.s2, box), corner(t.q, box)};
}

// n times the box's squared error; 0 for an empty box.
double score(const Moments& m) {
  if (m.n == 0) return 0.0;
  return m.q * m.n - (m.s0 * m.s0 + m.s1 * m.s1 + m.s2 * m.s2);
}

struct Cut {
  bool found = false;
  double gain = -std::numeric_limits<double>::infinity();
  int axis = 0;
  int at = 0;
};

Cut bestCut(const Tables& t, const Box& box) {
  const double whole = score(boxSum(t, box));
  Cut best;
  for (int axis = 0; axis < 3; ++axis) {
    for (int j = box.lo[axis]; j < box.hi[axis]; ++j) {
      Box lower = box;
      Box upper = box;
      lower.hi[axis] = j;
      upper.lo[axis] = j + 1;
      const Moments ml = boxSum(t, lower);
      const Moments mu = boxSum(t, upper);
      if (ml.n == 0 || mu.n == 0) continue;
      const double gain = whole - (score(ml) + score(mu));
      if (!best.found || gain > best.gain) best = {true, gain, axis, j};
    }
  }
  return best;
}

// The minimum and maximum of each component over the distinct colours.
struct Ranges {
  double min[3];
  double max[3];
};

// Four colours at a time in independent lanes, so that the comparisons run side by side: the
// same extremes as one comparison after another (but for the sign of a zero, which no bin
// depends on).
template <class Colours>
Ranges rangesOf(const Colours& colours) {
  constexpr int kLanes = 4;
  float lo[kLanes][3], hi[kLanes][3];
  for (int k = 0; k < kLanes; ++k) {
    for (int a = 0; a < 3; ++a) lo[k][a] = hi[k][a] = colours[0][a];
  }
  std::size_t i = 0;
  for (; i + kLanes <= colours.size(); i += kLanes) {
    for (int k = 0; k < kLanes; ++k) {
      for (int a = 0; a < 3; ++a) {
        const float v = colours[i + k][a];
        lo[k][a] = v < lo[k][a] ? v : lo[k][a];
        hi[k][a] = v > hi[k][a] ? v : hi[k][a];
      }
    }
  }
  for (; i < colours.size(); ++i) {
    for (int a = 0; a < 3; ++a) {
      const float v = colours[i][a];
      lo[0][a] = v < lo[0][a] ? v : lo[0][a];
      hi[0][a] = v > hi[0][a] ? v : hi[0][a];
    }
  }
  Ranges r;
  for (int a = 0; a < 3; ++a) {
    float mn = lo[0][a], mx = hi[0][a];
    for (int k = 1; k < kLanes; ++k) {
      mn = lo[k][a] < mn ? lo[k][a] : mn;
      mx = hi[k][a] > mx ? hi[k][a] : mx;
    }
    r.min[a] = mn;
    r.max[a] = mx;
  }
  return r;
}

// Per distinct colour: its components and its cell.
struct Entry {
  float c0, c1, c2;
  uint32_t cell;
};

// Per colour and axis, bin 1..16 of the value within [min, max]: the floor of the scaled
// offset (every value in bin 1 when the range is empty). The colours lie within the ranges, so
// the scaled offset lies in [0, 16] (rounding never carries the difference or the quotient past
// the end of the range) and truncation is its floor; on an empty range every colour sits at
// the minimum and a span of 1 gives bin 1.
struct Binning {
  double min[3];
  double span[3];

  explicit Binning(const Ranges& r) {
    for (int a = 0; a < 3; ++a) {
      min[a] = r.min[a];
      span[a] = r.max[a] <= r.min[a] ? 1.0 : r.max[a] - r.min[a];
    }
  }

  uint32_t cellOf(const color::Components& c) const {
    int bin[3];
    for (int a = 0; a < 3; ++a) {
      const double scaled = (static_cast<double>(c[a]) - min[a]) / span[a] * 16.0;
      const double capped = scaled < 15.0 ? scaled : 15.0;  // and a NaN never indexes
      bin[a] = capped >= 0.0 ? static_cast<int>(capped) + 1 : 1;
    }
    return static_cast<uint32_t>(cellIndex(bin[0], bin[1], bin[2]));
  }
};

#if defined(__x86_64__)
// cellOf for four colours at a time, the same operations in each lane.
[[gnu::target("avx2")]] std::size_t cellsAvx2(const Binning& b, const color::Components* colours,
                                              std::size_t count, Entry* entries) {
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const color::Components* c = colours + i;
    __m128i bin[3];
    for (int a = 0; a < 3; ++a) {
      const __m256d v = _mm256_cvtps_pd(_mm_setr_ps(c[0][a], c[1][a], c[2][a], c[3][a]));
      const __m256d scaled =
          _mm256_mul_pd(_mm256_div_pd(_mm256_sub_pd(v, _mm256_set1_pd(b.min[a])),
                                      _mm256_set1_pd(b.span[a])),
                        _mm256_set1_pd(16.0));
      const __m256d capped = _mm256_min_pd(scaled, _mm256_set1_pd(15.0));
      bin[a] = _mm_add_epi32(_mm256_cvttpd_epi32(_mm256_max_pd(capped, _mm256_setzero_pd())),
                             _mm_set1_epi32(1));
    }
    const __m128i side = _mm_set1_epi32(kSide);
    const __m128i cell = _mm_add_epi32(
        _mm_mullo_epi32(_mm_add_epi32(_mm_mullo_epi32(bin[0], side), bin[1]), side), bin[2]);
    alignas(16) uint32_t cells[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(cells), cell);
    for (int k = 0; k < 4; ++k) entries[i + k] = {c[k][0], c[k][1], c[k][2], cells[k]};
  }
  return i;
}
#endif

void entriesOf(const std::vector<color::Components>& colours, std::vector<Entry>& entries) {
  const Binning binning(rangesOf(colours));
  entries.resize(colours.size());
  std::size_t i = 0;
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) i = cellsAvx2(binning, colours.data(), colours.size(), entries.data());
#endif
  for (; i < colours.size(); ++i) {
    const color::Components& c = colours[i];
    entries[i] = {c[0], c[1], c[2], binning.cellOf(c)};
  }
}

// The moments of one cell, kept together while pixels are added.
struct Cell {
  int64_t count = 0;
  double s0 = 0, s1 = 0, s2 = 0, q = 0;

  void add(const Entry& e) {
    const double c0 = e.c0, c1 = e.c1, c2 = e.c2;
    count += 1;
    s0 += c0;
    s1 += c1;
    s2 += c2;
    q += c0 * c0 + c1 * c1 + c2 * c2;
  }
};

Tables tablesOf(const std::vector<Cell>& cells) {
  Tables t;
  for (int i = 0; i < kCells; ++i) {
    t.count[i] = cells[i].count;
    t.s0[i] = cells[i].s0;
    t.s1[i] = cells[i].s1;
    t.s2[i] = cells[i].s2;
    t.q[i] = cells[i].q;
  }
  return t;
}

// The moments of the pixels, added in pixel order (`of` names each pixel's distinct colour).
Tables histogram(const std::vector<Entry>& entries, const std::vector<uint32_t>& of) {
  std::vector<Cell> cells(kCells);
  for (uint32_t d : of) cells[entries[d].cell].add(entries[d]);
  return tablesOf(cells);
}

// The same sums with each pixel's colour named by `of`; the entries of pixels ahead are
// loaded early.
void addPixels(const std::vector<uint32_t>& of, const std::vector<Entry>& entries,
               std::vector<Cell>& cells) {
  const std::size_t count = of.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kPrefetchDistance < count) __builtin_prefetch(&entries[of[i + kPrefetchDistance]]);
    const Entry& e = entries[of[i]];
    cells[e.cell].add(e);
  }
}

// Scratch kept by each thread between extractions, so that images up to about 30 MP do not
// fault its pages in again on every call; a larger buffer is given back after the call.
struct Scratch {
  std::vector<color::Components> colours;
  std::vector<Entry> entries;
  std::vector<uint32_t> of;
};

thread_local Scratch threadScratch;

template <class T>
void trim(std::vector<T>& v) {
  constexpr std::size_t kKeptBytes = std::size_t{128} << 20;
  if (v.capacity() * sizeof(T) > kKeptBytes) std::vector<T>().swap(v);
}

struct ScratchLease {
  Scratch& scratch = threadScratch;
  ~ScratchLease() {
    trim(scratch.colours);
    trim(scratch.entries);
    trim(scratch.of);
  }
};

color::Result<Palette> wuFromHistogram(Tables& t, int64_t n, color::SpaceTag space,
                                       const QuantizeOpts& o) {
  buildPrefix(t.count);
  buildPrefix(t.s0);
  buildPrefix(t.s1);
  buildPrefix(t.s2);
  buildPrefix(t.q);

  std::vector<Box> boxes = {Box{{0, 0, 0}, {15, 15, 15}}};
  std::vector<Cut> cuts = {bestCut(t, boxes[0])};
  while (static_cast<int64_t>(boxes.size()) < n) {
    std::size_t chosen = boxes.size();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (!cuts[i].found || !(cuts[i].gain > kMinGain)) continue;
      if (chosen == boxes.size() || cuts[i].gain > cuts[chosen].gain) chosen = i;
    }
    if (chosen == boxes.size()) break;
    const Cut cut = cuts[chosen];
    Box upper = boxes[chosen];
    boxes[chosen].hi[cut.axis] = cut.at;
    upper.lo[cut.axis] = cut.at + 1;
    boxes.push_back(upper);
    cuts[chosen] = bestCut(t, boxes[chosen]);
    cuts.push_back(bestCut(t, upper));
  }

  std::vector<std::array<double, 3>> colours;
  for (const Box& box : boxes) {
    const Moments m = boxSum(t, box);
    if (m.n == 0) continue;
    colours.push_back({m.s0 / m.n, m.s1 / m.n, m.s2 / m.n});
  }
  return extractedPalette(colours, space, o, "wu: produced no colors (degenerate image)");
}

}  // namespace

color::Result<Palette> computeWu(const color::ColorImage& image, int64_t n, const QuantizeOpts& o) {
  if (image.pixels.empty()) return emptyImage("wu");
  const DistinctIndex index(image);
  std::vector<Entry> entries;
  entriesOf(index.colours(), entries);
  Tables t = histogram(entries, index.of());
  return wuFromHistogram(t, n, image.space, o);
}

color::Result<Palette> computeWuFromBytes(const image::Image& img, int64_t n, color::SpaceTag space,
                                          const QuantizeOpts& o) {
  if (img.pixels.empty()) return emptyImage("wu");
  const ScratchLease lease;
  Scratch& s = lease.scratch;
  const ByteColours index(img, s.of);
  if (std::optional<color::ColorError> error = index.convert(space, s.colours)) {
    return *std::move(error);
  }
  entriesOf(s.colours, s.entries);
  std::vector<Cell> cells(kCells);
  addPixels(s.of, s.entries, cells);
  Tables t = tablesOf(cells);
  return wuFromHistogram(t, n, space, o);
}

}  // namespace orvel::palette
