#include "process/reference.h"

#include <algorithm>
#include <cmath>

namespace orvel::testing {
namespace {

using image::Image;

float clampTo(float x, float low, float high) { return x < low ? low : x > high ? high : x; }

uint8_t toByteOf(float x) {
  if (x <= 0) return 0;
  if (x >= 255) return 255;
  return static_cast<uint8_t>(x + 0.5f);
}

}  // namespace

Table referenceBilinear(int64_t s, int64_t d) {
  Table table(static_cast<size_t>(d));
  for (int64_t i = 0; i < d; ++i) {
    float f = (static_cast<float>(i) + 0.5f) * static_cast<float>(s);
    f = f / static_cast<float>(d);
    f = clampTo(f - 0.5f, 0.0f, static_cast<float>(s - 1));
    const auto g = static_cast<int64_t>(f);
    table[i].push_back({g, 1.0f - (f - static_cast<float>(g))});
    if (std::min(g + 1, s - 1) != g) table[i].push_back({g + 1, f - static_cast<float>(g)});
  }
  return table;
}

Table referenceBox(int64_t s, int64_t d) {
  Table table(static_cast<size_t>(d));
  for (int64_t i = 0; i < d; ++i) {
    const float b = static_cast<float>(s) * static_cast<float>(i) / static_cast<float>(d);
    const float e = static_cast<float>(s) * static_cast<float>(i + 1) / static_cast<float>(d);
    for (auto j = static_cast<int64_t>(std::floor(b)); j < s && e > static_cast<float>(j); ++j) {
      const float overlap =
          std::min(e, static_cast<float>(j + 1)) - std::max(b, static_cast<float>(j));
      if (overlap > 0) table[i].push_back({j, overlap});
    }
    float sum = 0;
    for (const auto& pair : table[i]) sum += pair.second;
    if (sum > 0) {
      for (auto& pair : table[i]) pair.second /= sum;
    } else {
      table[i] = {{std::max<int64_t>(0, std::min(s - 1, i)), 1.0f}};
    }
  }
  return table;
}

Image referenceResize(const Image& src, int64_t ow, int64_t oh, int filter) {
  Image out = image::newImage(ow, oh, src.colorspace);
  const int64_t sw = src.width, sh = src.height, ch = src.channels;
  auto in = [&](int64_t x, int64_t y, int64_t c) { return src.pixels[(y * sw + x) * ch + c]; };
  if (filter == 0) {
    for (int64_t y = 0; y < oh; ++y) {
      const int64_t sy =
          std::min(sh - 1, static_cast<int64_t>((static_cast<float>(y) + 0.5f) *
                                                static_cast<float>(sh) / static_cast<float>(oh)));
      for (int64_t x = 0; x < ow; ++x) {
        const int64_t sx =
            std::min(sw - 1, static_cast<int64_t>((static_cast<float>(x) + 0.5f) *
                                                  static_cast<float>(sw) / static_cast<float>(ow)));
        for (int64_t c = 0; c < ch; ++c) out.pixels[(y * ow + x) * ch + c] = in(sx, sy, c);
      }
    }
    return out;
  }
  const Table across = filter == 2 ? referenceBox(sw, ow) : referenceBilinear(sw, ow);
  const Table down = filter == 2 ? referenceBox(sh, oh) : referenceBilinear(sh, oh);
  const bool rgba = src.colorspace == image::csRgba;
  std::vector<float> mid(static_cast<size_t>(ow * sh * ch));
  for (int64_t y = 0; y < sh; ++y) {
    for (int64_t x = 0; x < ow; ++x) {
      float* m = &mid[(y * ow + x) * ch];
      for (const auto& [j, w] : across[x]) {
        if (!rgba) {
          for (int64_t c = 0; c < ch; ++c) m[c] += w * in(j, y, c);
          continue;
        }
        const float a = w * in(j, y, 3);
        for (int64_t c = 0; c < 3; ++c) m[c] += (a / 255) * in(j, y, c);
        m[3] += a;
      }
    }
  }
  for (int64_t y = 0; y < oh; ++y) {
    for (int64_t x = 0; x < ow; ++x) {
      float v[4] = {0, 0, 0, 0};
      for (const auto& [j, w] : down[y]) {
        for (int64_t c = 0; c < ch; ++c) v[c] += w * mid[(j * ow + x) * ch + c];
      }
      uint8_t* o = &out.pixels[(y * ow + x) * ch];
      if (!rgba) {
        for (int64_t c = 0; c < ch; ++c) o[c] = toByteOf(v[c]);
        continue;
      }
      o[3] = toByteOf(v[3]);
      for (int64_t c = 0; c < 3 && o[3] != 0; ++c) {
        o[c] = o[3] == 255 ? toByteOf(v[c]) : toByteOf(v[c] * 255 / v[3]);
      }
    }
  }
  return out;
}

Image referenceRotate(const Image& src, int op) {
  const int64_t w = src.width, h = src.height, ch = src.channels;
  const bool turn = op == 0 || op == 2;
  Image out = image::newImage(turn ? h : w, turn ? w : h, src.colorspace);
  for (int64_t y = 0; y < h; ++y) {
    for (int64_t x = 0; x < w; ++x) {
      const std::pair<int64_t, int64_t> to[] = {
          {h - 1 - y, x}, {w - 1 - x, h - 1 - y}, {y, w - 1 - x}, {w - 1 - x, y}, {x, h - 1 - y}};
      const auto [tx, ty] = to[op];
      for (int64_t c = 0; c < ch; ++c) {
        out.pixels[(ty * out.width + tx) * ch + c] = src.pixels[(y * w + x) * ch + c];
      }
    }
  }
  return out;
}

Image referenceOrientation(const Image& src, int orientation) {
  switch (orientation) {
    case 2:
      return referenceRotate(src, 3);
    case 3:
      return referenceRotate(src, 1);
    case 4:
      return referenceRotate(src, 4);
    case 5:
      return referenceRotate(referenceRotate(src, 3), 2);
    case 6:
      return referenceRotate(src, 0);
    case 7:
      return referenceRotate(referenceRotate(src, 3), 0);
    case 8:
      return referenceRotate(src, 2);
    default:
      return src;
  }
}

void referenceComposite(Image& dst, const Image& original, int64_t x, int64_t y, int opacity) {
  const Image src = original;  // a copy: reads see the source as it was
  if (opacity == 0 || x >= dst.width || y >= dst.height || x + src.width <= 0 ||
      y + src.height <= 0) {
    return;
  }
  for (int64_t sy = 0; sy < src.height; ++sy) {
    for (int64_t sx = 0; sx < src.width; ++sx) {
      const int64_t dx = x + sx, dy = y + sy;
      if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
      const uint8_t* s = src.pixels.data() + (sy * src.width + sx) * src.channels;
      uint8_t* d = &dst.pixels[(dy * dst.width + dx) * 4];
      const int rgb[3] = {s[0], src.channels == 1 ? s[0] : s[1], src.channels == 1 ? s[0] : s[2]};
      const int sa = src.channels == 4 ? s[3] : 255;
      if (opacity == 255 && src.channels != 4) {
        d[0] = rgb[0], d[1] = rgb[1], d[2] = rgb[2], d[3] = 255;
        continue;
      }
      const int a = (opacity * sa + 127) / 255;
      const int da = d[3];
      if (a == 0) continue;
      if (a == 255 || da == 0) {
        d[0] = rgb[0], d[1] = rgb[1], d[2] = rgb[2], d[3] = static_cast<uint8_t>(a);
        continue;
      }
      const int ws = a * 255, wd = da * (255 - a), t = ws + wd;
      for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>((t / 2 + ws * rgb[c] + wd * d[c]) / t);
      d[3] = static_cast<uint8_t>((t + 127) / 255);
    }
  }
}

}  // namespace orvel::testing
