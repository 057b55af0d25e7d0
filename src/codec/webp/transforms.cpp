#include "codec/webp/transforms.h"

#include <algorithm>
#include <cstdlib>

namespace orvel::codec::webp {
namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// Channel-wise sum modulo 256.
inline uint32_t addPixels(uint32_t a, uint32_t b) {
  const uint32_t alphaGreen = (a & 0xFF00FF00u) + (b & 0xFF00FF00u);
  const uint32_t redBlue = (a & 0x00FF00FFu) + (b & 0x00FF00FFu);
  return (alphaGreen & 0xFF00FF00u) | (redBlue & 0x00FF00FFu);
}

// Channel-wise mean, rounded down.
inline uint32_t average2(uint32_t a, uint32_t b) { return (((a ^ b) & 0xFEFEFEFEu) >> 1) + (a & b); }

inline int channel(uint32_t pixel, int shift) { return static_cast<int>(pixel >> shift & 0xFF); }

inline uint32_t select(uint32_t left, uint32_t top, uint32_t topLeft) {
  int towardsLeft = 0;  // distance of the gradient estimate from the left pixel
  int towardsTop = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    towardsLeft += std::abs(channel(top, shift) - channel(topLeft, shift));
    towardsTop += std::abs(channel(left, shift) - channel(topLeft, shift));
  }
  return towardsLeft < towardsTop ? left : top;
}

inline uint32_t clampChannels(int a, int r, int g, int b) {
  auto clamp = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  return clamp(a) << 24 | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
}

inline uint32_t clampAddSubtractFull(uint32_t a, uint32_t b, uint32_t c) {
  auto at = [&](int shift) { return channel(a, shift) + channel(b, shift) - channel(c, shift); };
  return clampChannels(at(24), at(16), at(8), at(0));
}

inline uint32_t clampAddSubtractHalf(uint32_t a, uint32_t b) {
  auto at = [&](int shift) { return channel(a, shift) + (channel(a, shift) - channel(b, shift)) / 2; };
  return clampChannels(at(24), at(16), at(8), at(0));
}

// Adds the prediction to pixels [from, to) of a row (not the first) whose row above is `above`.
template <class Predict>
inline void predictRun(uint32_t* row, const uint32_t* above, int64_t from, int64_t to, Predict predict) {
  for (int64_t x = from; x < to; ++x) {
    row[x] = addPixels(row[x], predict(row[x - 1], above[x], above[x + 1], above[x - 1]));
  }
}

void predictRunByMode(int mode, uint32_t* row, const uint32_t* above, int64_t from, int64_t to) {
  switch (mode) {
    case 1: return predictRun(row, above, from, to, [](uint32_t l, uint32_t, uint32_t, uint32_t) { return l; });
    case 2: return predictRun(row, above, from, to, [](uint32_t, uint32_t t, uint32_t, uint32_t) { return t; });
    case 3: return predictRun(row, above, from, to, [](uint32_t, uint32_t, uint32_t tr, uint32_t) { return tr; });
    case 4: return predictRun(row, above, from, to, [](uint32_t, uint32_t, uint32_t, uint32_t tl) { return tl; });
    case 5:
      return predictRun(row, above, from, to, [](uint32_t l, uint32_t t, uint32_t tr, uint32_t) {
        return average2(average2(l, tr), t);
      });
    case 6:
      return predictRun(row, above, from, to,
                        [](uint32_t l, uint32_t, uint32_t, uint32_t tl) { return average2(l, tl); });
    case 7:
      return predictRun(row, above, from, to,
                        [](uint32_t l, uint32_t t, uint32_t, uint32_t) { return average2(l, t); });
    case 8:
      return predictRun(row, above, from, to,
                        [](uint32_t, uint32_t t, uint32_t, uint32_t tl) { return average2(tl, t); });
    case 9:
      return predictRun(row, above, from, to,
                        [](uint32_t, uint32_t t, uint32_t tr, uint32_t) { return average2(t, tr); });
    case 10:
      return predictRun(row, above, from, to, [](uint32_t l, uint32_t t, uint32_t tr, uint32_t tl) {
        return average2(average2(l, tl), average2(t, tr));
      });
    case 11:
      return predictRun(row, above, from, to,
                        [](uint32_t l, uint32_t t, uint32_t, uint32_t tl) { return select(l, t, tl); });
    case 12:
      return predictRun(row, above, from, to, [](uint32_t l, uint32_t t, uint32_t, uint32_t tl) {
        return clampAddSubtractFull(l, t, tl);
      });
    case 13:
      return predictRun(row, above, from, to, [](uint32_t l, uint32_t t, uint32_t, uint32_t tl) {
        return clampAddSubtractHalf(average2(l, t), tl);
      });
    default:
      for (int64_t x = from; x < to; ++x) row[x] = addPixels(row[x], kOpaqueBlack);
      return;
  }
}

inline int colorDelta(int8_t multiplier, int8_t value) { return (int{multiplier} * int{value}) >> 5; }

}  // namespace

uint32_t predictorValue(int mode, uint32_t left, uint32_t top, uint32_t topRight, uint32_t topLeft) {
  uint32_t row[2] = {left, 0};
  const uint32_t above[3] = {topLeft, top, topRight};
  predictRunByMode(mode, row, above, 1, 2);
  return row[1];
}

void undoPredictor(uint32_t* pixels, int64_t width, int64_t height, const BlockImage& modes) {
  if (width == 0 || height == 0) return;
  pixels[0] = addPixels(pixels[0], kOpaqueBlack);
  for (int64_t x = 1; x < width; ++x) pixels[x] = addPixels(pixels[x], pixels[x - 1]);
  const int64_t blockWidth = int64_t{1} << modes.bits;
  for (int64_t y = 1; y < height; ++y) {
    uint32_t* row = pixels + y * width;
    const uint32_t* above = row - width;
    const uint32_t* modeRow = modes.pixels + (y >> modes.bits) * modes.width;
    row[0] = addPixels(row[0], above[0]);
    for (int64_t from = 1; from < width;) {
      const int64_t to = std::min(width, (from / blockWidth + 1) * blockWidth);
      predictRunByMode(static_cast<int>(modeRow[from >> modes.bits] >> 8 & 0xF), row, above, from, to);
      from = to;
    }
  }
}

void undoColorTransform(uint32_t* pixels, int64_t width, int64_t height, const BlockImage& multipliers) {
  for (int64_t y = 0; y < height; ++y) {
    uint32_t* row = pixels + y * width;
    const uint32_t* blockRow = multipliers.pixels + (y >> multipliers.bits) * multipliers.width;
    for (int64_t x = 0; x < width; ++x) {
      const uint32_t m = blockRow[x >> multipliers.bits];
      const auto greenToRed = static_cast<int8_t>(m);
      const auto greenToBlue = static_cast<int8_t>(m >> 8);
      const auto redToBlue = static_cast<int8_t>(m >> 16);
      const uint32_t argb = row[x];
      const auto green = static_cast<int8_t>(argb >> 8);
      const int red = (channel(argb, 16) + colorDelta(greenToRed, green)) & 0xFF;
      int blue = channel(argb, 0) + colorDelta(greenToBlue, green);
      blue = (blue + colorDelta(redToBlue, static_cast<int8_t>(red))) & 0xFF;
      row[x] = (argb & 0xFF00FF00u) | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(blue);
    }
  }
}

void addGreen(uint32_t* pixels, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    const uint32_t argb = pixels[i];
    const uint32_t green = argb >> 8 & 0xFF;
    const uint32_t redBlue = ((argb & 0x00FF00FFu) + (green << 16 | green)) & 0x00FF00FFu;
    pixels[i] = (argb & 0xFF00FF00u) | redBlue;
  }
}

void expandColorMap(uint32_t* pixels, int64_t width, int64_t height, int widthBits,
                    const std::array<uint32_t, 256>& palette) {
  const int64_t packedWidth = (width + (int64_t{1} << widthBits) - 1) >> widthBits;
  const int bitsPerIndex = 8 >> widthBits;
  const uint32_t indexMask = (1u << bitsPerIndex) - 1;
  const int64_t perPixelMask = (int64_t{1} << widthBits) - 1;
  // Last row first and right to left: every packed pixel is read before its place is written.
  for (int64_t y = height - 1; y >= 0; --y) {
    const uint32_t* packed = pixels + y * packedWidth;
    uint32_t* row = pixels + y * width;
    for (int64_t x = width - 1; x >= 0; --x) {
      const uint32_t green = packed[x >> widthBits] >> 8 & 0xFF;
      const int shift = static_cast<int>(x & perPixelMask) * bitsPerIndex;
      row[x] = palette[green >> shift & indexMask];
    }
  }
}

}  // namespace orvel::codec::webp
