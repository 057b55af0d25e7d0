// The slow, literal JPEG codec the fast one is proven against: bit-serial Huffman decoding with
// the decoding arrays of ITU T.81 Annex C, direct transforms of 8 x 8 x 8 multiply-adds per
// pass, whole-frame float planes, a bit-at-a-time writer. Every rule is written the plain way,
// one statement per rule, so that a reader can check it line by line.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "image/error.h"
#include "image/image.h"

namespace orvel::testing::jpegref {

using Bytes = std::vector<uint8_t>;

constexpr int kZz[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
constexpr float kC0 = 0.70710677f;
inline float cf(int k) { return k == 0 ? kC0 : 1.0f; }

// cos((2x + 1) u pi / 16) in single precision, [x][u].
inline const std::array<std::array<float, 8>, 8>& cosines() {
  static const auto table = [] {
    std::array<std::array<float, 8>, 8> t{};
    for (int x = 0; x < 8; ++x)
      for (int u = 0; u < 8; ++u)
        t[x][u] = std::cos(static_cast<float>((2 * x + 1) * u) * 3.1415927f * (1.0f / 16));
    return t;
  }();
  return table;
}

[[noreturn]] inline void fail(image::ImageErrorKind kind, const char* message) {
  throw image::OrvelException(kind, message);
}
// Raised where a mutated header asks this slow decoder for more memory than a test should use.
struct TooLarge : std::runtime_error {
  TooLarge() : std::runtime_error("reference: frame too large for a test") {}
};

struct Huff {
  bool defined = false;
  int counts[17] = {};
  std::vector<uint8_t> vals;
  int maxcode[18] = {}, valptr[17] = {}, mincode[17] = {};
  // A table no DHT defined has no codes: a scan that names one component twice leaves another
  // on table 0, which may be such a table.
  Huff() { std::fill(std::begin(maxcode), std::end(maxcode), -1); }
};

inline void buildHuff(Huff& h) {
  std::vector<int> sizes, codes;
  for (int l = 1; l <= 16; ++l)
    for (int i = 0; i < h.counts[l]; ++i) sizes.push_back(l);
  int code = 0;
  std::size_t k = 0;
  int size = sizes.empty() ? 0 : sizes[0];
  while (k < sizes.size()) {
    while (k < sizes.size() && sizes[k] == size) codes.push_back(code++), ++k;
    if (k == sizes.size()) break;
    while (sizes[k] != size) code <<= 1, ++size;
  }
  int j = 0;
  for (int l = 1; l <= 16; ++l) {
    if (h.counts[l] == 0) {
      h.maxcode[l] = -1;
      continue;
    }
    h.valptr[l] = j;
    h.mincode[l] = codes[j];
    j += h.counts[l] - 1;
    h.maxcode[l] = codes[j];
    ++j;
  }
}

struct Reader {
  const Bytes* data;
  std::size_t pos = 0;
  int cur = 0, left = 0;
  int bit() {
    if (left == 0) {
      if (pos >= data->size()) fail(image::iekTruncated, "jpeg: entropy stream truncated");
      cur = (*data)[pos++];
      left = 8;
    }
    --left;
    return (cur >> left) & 1;
  }
  int receive(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | bit();
    return v;
  }
};

inline int extend(int v, int n) { return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v; }

inline int decodeSym(const Huff& h, Reader& r) {
  int code = r.bit();
  for (int l = 1; l <= 16; ++l) {
    if (code <= h.maxcode[l]) return h.vals[h.valptr[l] + code - h.mincode[l]];
    if (l == 16) break;
    code = (code << 1) | r.bit();
  }
  fail(image::iekInvalid, "jpeg: bad Huffman code");
}

// f[y][x] from F in natural order [v * 8 + u].
inline void idct(const float* F, float* out) {
  const auto& c = cosines();
  float tmp[8][8];
  for (int v = 0; v < 8; ++v)
    for (int x = 0; x < 8; ++x) {
      float s = 0;
      for (int u = 0; u < 8; ++u) s += cf(u) * F[v * 8 + u] * c[x][u];
      tmp[v][x] = s;
    }
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 8; ++y) {
      float s = 0;
      for (int v = 0; v < 8; ++v) s += cf(v) * tmp[v][x] * c[y][v];
      out[y * 8 + x] = 0.25f * s;
    }
}

struct Comp {
  int id, h, v, tq, td = 0, ta = 0;
};

inline uint8_t clampTrunc(float v) {
  return static_cast<uint8_t>(std::clamp(std::trunc(v), 0.0f, 255.0f));
}

// The decoder, with the two rules the library adds: a one-component scan has one block per
// MCU, and frames of more than 2^30 pixels are refused.
inline image::Image decode(const Bytes& d, int64_t maxTestPixels = 1 << 22) {
  using image::iekInvalid, image::iekTruncated, image::iekUnsupported;
  const std::size_t n = d.size();
  if (n < 2) fail(iekTruncated, "jpeg: header truncated");
  if (d[0] != 0xFF || d[1] != 0xD8) fail(iekUnsupported, "jpeg: bad SOI");
  std::array<std::array<int, 64>, 4> qt{};
  Huff dc[4], ac[4];
  std::vector<Comp> comps;
  int width = 0, height = 0, ri = 0;
  bool frame = false;
  std::size_t pos = 2, scan = 0;
  while (scan == 0) {
    if (pos >= n) break;
    if (d[pos] != 0xFF) fail(iekInvalid, "jpeg: expected marker");
    while (pos < n && d[pos] == 0xFF) ++pos;
    if (pos >= n) break;
    const int m = d[pos++];
    if (m == 0xD9) break;
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;
    if (pos + 2 > n) fail(iekTruncated, "jpeg: marker length truncated");
    const std::size_t len = d[pos] << 8 | d[pos + 1];
    if (len < 2 || pos + len > n) fail(iekTruncated, "jpeg: segment truncated");
    const uint8_t* p = &d[pos + 2];
    const std::size_t pl = len - 2;
    pos += len;
    if (m == 0xC0) {
      if (pl < 8) fail(iekTruncated, "jpeg: SOF0 truncated");
      if (p[0] != 8) fail(iekUnsupported, "jpeg: non-8-bit precision");
      const int nc = p[5];
      if (nc != 1 && nc != 3) fail(iekUnsupported, "jpeg: unsupported component count");
      if (pl < 6 + 3u * nc) fail(iekTruncated, "jpeg: SOF0 components truncated");
      comps.clear();
      for (int i = 0; i < nc; ++i) {
        const Comp c{p[6 + 3 * i], p[7 + 3 * i] >> 4, p[7 + 3 * i] & 15, p[8 + 3 * i]};
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) fail(iekInvalid, "jpeg: bad sampling factor");
        if (c.tq >= 4) fail(iekInvalid, "jpeg: bad quant table ref");
        comps.push_back(c);
      }
      height = p[1] << 8 | p[2];
      width = p[3] << 8 | p[4];
      if (width == 0 || height == 0) fail(iekInvalid, "jpeg: bad dimensions");
      frame = true;
    } else if (m == 0xC2) {
      fail(iekUnsupported, "jpeg: progressive unsupported");
    } else if (m == 0xC9 || m == 0xCA) {
      fail(iekUnsupported, "jpeg: arithmetic/12-bit unsupported");
    } else if (m == 0xC4) {
      for (std::size_t o = 0; o < pl;) {
        if (pl - o < 17) fail(iekTruncated, "jpeg: DHT truncated");
        if ((p[o] & 15) >= 4) fail(iekInvalid, "jpeg: bad Huffman table id");
        Huff h;
        h.defined = true;
        std::size_t total = 0;
        for (int l = 1; l <= 16; ++l) total += h.counts[l] = p[o + l];
        if (pl - o - 17 < total) fail(iekTruncated, "jpeg: Huffman symbols truncated");
        h.vals.assign(p + o + 17, p + o + 17 + total);
        buildHuff(h);
        ((p[o] >> 4) == 0 ? dc : ac)[p[o] & 15] = h;
        o += 17 + total;
      }
    } else if (m == 0xDB) {
      for (std::size_t o = 0; o < pl;) {
        const int id = p[o] & 15, wide = p[o] >> 4;
        if (id >= 4) fail(iekInvalid, "jpeg: bad quant table id");
        if (pl - o - 1 < (wide ? 128u : 64u)) fail(iekTruncated, "jpeg: quant values truncated");
        for (int k = 0; k < 64; ++k)
          qt[id][k] = wide ? p[o + 1 + 2 * k] << 8 | p[o + 2 + 2 * k] : p[o + 1 + k];
        o += wide ? 129 : 65;
      }
    } else if (m == 0xDD) {
      if (pl < 2) fail(iekTruncated, "jpeg: DRI truncated");
      ri = p[0] << 8 | p[1];
    } else if (m == 0xDA) {
      if (!frame) fail(iekInvalid, "jpeg: SOS before SOF0");
      if (pl < 6) fail(iekTruncated, "jpeg: SOS truncated");
      if (p[0] != comps.size()) fail(iekInvalid, "jpeg: SOS component mismatch");
      if (pl < 1 + 2u * p[0]) fail(iekTruncated, "jpeg: SOS selectors truncated");
      for (int i = 0; i < p[0]; ++i) {
        auto c = std::find_if(comps.begin(), comps.end(),
                              [&](const Comp& k) { return k.id == p[1 + 2 * i]; });
        if (c == comps.end()) fail(iekInvalid, "jpeg: SOS unknown component");
        c->td = p[2 + 2 * i] >> 4;
        c->ta = p[2 + 2 * i] & 15;
        if (c->td >= 4 || c->ta >= 4) fail(iekInvalid, "jpeg: bad Huffman table ref");
        if (!dc[c->td].defined || !ac[c->ta].defined)
          fail(iekInvalid, "jpeg: scan references an undefined Huffman table");
      }
      scan = pos;
    }
  }
  if (scan == 0) fail(iekInvalid, "jpeg: no scan (SOS)");
  Bytes data;
  std::vector<std::size_t> rst;
  for (std::size_t i = scan; i < n;) {
    if (d[i] != 0xFF) {
      data.push_back(d[i++]);
      continue;
    }
    if (i + 1 >= n) break;
    const int m = d[i + 1];
    i += 2;
    if (m == 0x00)
      data.push_back(0xFF);
    else if (m >= 0xD0 && m <= 0xD7)
      rst.push_back(data.size());
    else if (m == 0xD9)
      break;
    else
      fail(iekInvalid, "jpeg: bad marker in entropy");
  }
  if (int64_t{width} * height > (int64_t{1} << 30)) fail(iekInvalid, "jpeg: dimensions too large");
  if (int64_t{width} * height > maxTestPixels) throw TooLarge();

  const bool single = comps.size() == 1;
  int hmax = 1, vmax = 1;
  for (const Comp& c : comps) hmax = std::max(hmax, c.h), vmax = std::max(vmax, c.v);
  const int mh = single ? 1 : hmax, mv = single ? 1 : vmax;
  const int mcusX = (width + 8 * mh - 1) / (8 * mh), mcusY = (height + 8 * mv - 1) / (8 * mv);
  std::vector<std::vector<float>> planes;
  std::vector<int> pw;
  for (const Comp& c : comps) {
    const int bh = single ? 1 : c.h, bv = single ? 1 : c.v;
    pw.push_back(mcusX * 8 * bh);
    planes.emplace_back(static_cast<std::size_t>(mcusX * 8 * bh) * mcusY * 8 * bv);
  }
  Reader r{&data};
  std::vector<int64_t> pred(comps.size(), 0);
  std::size_t nextRst = 0;
  int64_t decoded = 0;
  for (int my = 0; my < mcusY; ++my)
    for (int mx = 0; mx < mcusX; ++mx) {
      for (std::size_t ci = 0; ci < comps.size(); ++ci) {
        const Comp& c = comps[ci];
        const int bh = single ? 1 : c.h, bv = single ? 1 : c.v;
        for (int by = 0; by < bv; ++by)
          for (int bx = 0; bx < bh; ++bx) {
            float F[64] = {};
            const int t = decodeSym(dc[c.td], r);
            if (t > 16) fail(iekInvalid, "jpeg: bad Huffman code");
            pred[ci] += t == 0 ? 0 : extend(r.receive(t), t);
            F[0] = static_cast<float>(pred[ci]) * static_cast<float>(qt[c.tq][0]);
            for (int k = 1; k < 64;) {
              const int rs = decodeSym(ac[c.ta], r), s = rs & 15, run = rs >> 4;
              if (s == 0) {
                if (run != 15) break;
                k += 16;
                continue;
              }
              k += run;
              if (k > 63) fail(iekInvalid, "jpeg: AC index out of range");
              F[kZz[k]] =
                  static_cast<float>(extend(r.receive(s), s)) * static_cast<float>(qt[c.tq][k]);
              ++k;
            }
            float f[64];
            idct(F, f);
            const int x0 = (mx * bh + bx) * 8, y0 = (my * bv + by) * 8;
            for (int y = 0; y < 8; ++y)
              for (int x = 0; x < 8; ++x)
                planes[ci][static_cast<std::size_t>(y0 + y) * pw[ci] + x0 + x] = f[y * 8 + x];
          }
      }
      ++decoded;
      if (ri != 0 && decoded % ri == 0 && nextRst < rst.size()) {
        r.pos = rst[nextRst++];
        r.left = 0;
        std::fill(pred.begin(), pred.end(), 0);
      }
    }
  image::Image out = image::newImage(width, height, single ? image::csGray : image::csRgb);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      float s[3];
      for (std::size_t ci = 0; ci < comps.size(); ++ci)
        s[ci] = planes[ci][static_cast<std::size_t>(y * comps[ci].v / vmax) * pw[ci] +
                           x * comps[ci].h / hmax];
      uint8_t* px = out.pixels.data() + (static_cast<std::size_t>(y) * width + x) * comps.size();
      if (single) {
        px[0] = clampTrunc(s[0] + 128.5f);
        continue;
      }
      const float base = 128.5f + s[0];
      px[0] = clampTrunc(std::fma(1.402f, s[2], base));
      px[1] = clampTrunc(std::fma(-0.714136f, s[2], std::fma(-0.344136f, s[1], base)));
      px[2] = clampTrunc(std::fma(1.772f, s[1], base));
    }
  return out;
}

// ---- The encoder ----

struct Writer {
  Bytes out;
  int acc = 0, bits = 0;
  void bit(int b) {
    acc = acc << 1 | b;
    if (++bits == 8) {
      out.push_back(static_cast<uint8_t>(acc));
      if (acc == 0xFF) out.push_back(0);
      acc = bits = 0;
    }
  }
  void put(int code, int len) {
    for (int i = len - 1; i >= 0; --i) bit(code >> i & 1);
  }
  void flush() {
    while (bits != 0) bit(1);
  }
};

struct Spec {
  int counts[16];
  std::vector<int> vals;
};
inline const Spec& annexK(int which) {  // 0 luma DC, 1 chroma DC, 2 luma AC, 3 chroma AC
  static const std::vector<int> dcVals = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  static const std::vector<int> lumaAc = {
      0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
      0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
      0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
      0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
      0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
      0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
      0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
      0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
      0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
      0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
      0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
  static const std::vector<int> chromaAc = {
      0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
      0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
      0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
      0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
      0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
      0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
      0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
      0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
      0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
      0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
      0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
  static const Spec specs[4] = {{{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, dcVals},
                                {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, dcVals},
                                {{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, lumaAc},
                                {{0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, chromaAc}};
  return specs[which];
}

inline std::array<std::pair<int, int>, 256> buildHuffEnc(const Spec& s) {
  std::array<std::pair<int, int>, 256> map{};
  int code = 0;
  std::size_t k = 0;
  for (int l = 1; l <= 16; ++l) {
    for (int i = 0; i < s.counts[l - 1]; ++i) map[s.vals[k++]] = {code++, l};
    code <<= 1;
  }
  return map;
}

inline void fdct(const float* f, float* F) {  // f[y * 8 + x] -> F[v * 8 + u]
  const auto& c = cosines();
  float tmp[8][8];
  for (int y = 0; y < 8; ++y)
    for (int u = 0; u < 8; ++u) {
      float s = 0;
      for (int x = 0; x < 8; ++x) s += f[y * 8 + x] * c[x][u];
      tmp[y][u] = cf(u) * s;
    }
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      float s = 0;
      for (int y = 0; y < 8; ++y) s += tmp[y][u] * c[y][v];
      F[v * 8 + u] = 0.25f * (cf(v) * s);
    }
}

inline int category(int v) {
  int n = 0;
  for (int a = v < 0 ? -v : v; a != 0; a >>= 1) ++n;
  return n;
}

inline Bytes encode(const image::Image& img, int quality) {
  const int nc = img.colorspace == image::csRgb ? 3 : 1;
  const int q = std::clamp(quality, 1, 100);
  const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
  static const int k1[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                             14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                             18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                             49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  int qt[2][64];
  for (int i = 0; i < 64; ++i) {
    const int base2 = (i % 8 < 4 && i / 8 < 4)
                          ? std::array{17, 18, 24, 47, 18, 21, 26, 66,
                                       24, 26, 56, 99, 47, 66, 99, 99}[i / 8 * 4 + i % 8]
                          : 99;
    qt[0][i] = std::clamp((k1[i] * scale + 50) / 100, 1, 255);
    qt[1][i] = std::clamp((base2 * scale + 50) / 100, 1, 255);
  }
  Bytes o = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  auto u16 = [&](int v) {
    o.push_back(static_cast<uint8_t>(v >> 8)), o.push_back(static_cast<uint8_t>(v));
  };
  o.insert(o.end(), {0xFF, 0xDB}), u16(nc == 3 ? 132 : 67);
  for (int t = 0; t < (nc == 3 ? 2 : 1); ++t) {
    o.push_back(static_cast<uint8_t>(t));
    for (int k = 0; k < 64; ++k) o.push_back(static_cast<uint8_t>(qt[t][kZz[k]]));
  }
  o.insert(o.end(), {0xFF, 0xC0}), u16(8 + 3 * nc), o.push_back(8),
      u16(static_cast<int>(img.height));
  u16(static_cast<int>(img.width)), o.push_back(static_cast<uint8_t>(nc));
  for (int c = 0; c < nc; ++c)
    o.insert(o.end(), {static_cast<uint8_t>(c + 1), 0x11, static_cast<uint8_t>(c == 0 ? 0 : 1)});
  o.insert(o.end(), {0xFF, 0xC4}), u16(nc == 3 ? 418 : 210);
  for (int which : nc == 3 ? std::vector{0, 1, 2, 3} : std::vector{0, 2}) {
    const Spec& s = annexK(which);
    o.push_back(static_cast<uint8_t>((which / 2) << 4 | which % 2));
    o.insert(o.end(), s.counts, s.counts + 16);
    o.insert(o.end(), s.vals.begin(), s.vals.end());
  }
  o.insert(o.end(), {0xFF, 0xDA}), u16(6 + 2 * nc), o.push_back(static_cast<uint8_t>(nc));
  for (int c = 0; c < nc; ++c)
    o.insert(o.end(), {static_cast<uint8_t>(c + 1), static_cast<uint8_t>(c == 0 ? 0 : 0x11)});
  o.insert(o.end(), {0, 63, 0});
  const auto dcMap = std::array{buildHuffEnc(annexK(0)), buildHuffEnc(annexK(1))};
  const auto acMap = std::array{buildHuffEnc(annexK(2)), buildHuffEnc(annexK(3))};
  Writer w;
  int pred[3] = {};
  auto bitsOf = [&](int v, int n) { w.put((v < 0 ? v - 1 : v) & ((1 << n) - 1), n); };
  for (int64_t by = 0; by < (img.height + 7) / 8; ++by)
    for (int64_t bx = 0; bx < (img.width + 7) / 8; ++bx)
      for (int c = 0; c < nc; ++c) {
        float f[64], F[64];
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) {
            const int64_t sy = std::min(by * 8 + y, img.height - 1),
                          sx = std::min(bx * 8 + x, img.width - 1);
            const uint8_t* p = img.pixels.data() + (sy * img.width + sx) * nc;
            float v;
            if (nc == 1)
              v = static_cast<float>(p[0]) - 128;
            else if (c == 0)
              v = std::fma(0.114f, float(p[2]), std::fma(0.587f, float(p[1]), 0.299f * p[0])) - 128;
            else if (c == 1)
              v = std::fma(0.5f, float(p[2]), std::fma(-0.331264f, float(p[1]), -0.168736f * p[0]));
            else
              v = std::fma(-0.081312f, float(p[2]), std::fma(-0.418688f, float(p[1]), 0.5f * p[0]));
            f[y * 8 + x] = v;
          }
        fdct(f, F);
        const int t = c == 0 ? 0 : 1;
        int zz[64];
        for (int k = 0; k < 64; ++k) {
          const float qv = F[kZz[k]] / static_cast<float>(qt[t][kZz[k]]);
          zz[k] = static_cast<int>(qv >= 0 ? qv + 0.5f : qv - 0.5f);
        }
        const int diff = zz[0] - pred[c];
        pred[c] = zz[0];
        const int cat = category(diff);
        w.put(dcMap[t][cat].first, dcMap[t][cat].second), bitsOf(diff, cat);
        int run = 0;
        for (int k = 1; k < 64; ++k) {
          if (zz[k] == 0) {
            ++run;
            continue;
          }
          for (; run >= 16; run -= 16) w.put(acMap[t][0xF0].first, acMap[t][0xF0].second);
          const int s = category(zz[k]);
          w.put(acMap[t][run * 16 + s].first, acMap[t][run * 16 + s].second), bitsOf(zz[k], s);
          run = 0;
        }
        if (run > 0) w.put(acMap[t][0].first, acMap[t][0].second);
      }
  w.flush();
  o.insert(o.end(), w.out.begin(), w.out.end());
  o.insert(o.end(), {0xFF, 0xD9});
  return o;
}

}  // namespace orvel::testing::jpegref
