// The two entry points of palette extraction, and the adapter from an 8-bit Image to a colour
// image. An Image is converted straight into the work space, each distinct byte triple once,
// with the same result as building the sRGB colour image and converting it pixel by pixel.
#include <array>
#include <string>
#include <vector>

#include "color/convert.h"
#include "color/spaces.h"
#include "palette/quantize.h"

namespace orvel::palette {
namespace {

using color::Color;
using color::ColorImage;
using color::Components;

color::ColorError imageError(const char* message) {
  return color::colorError(color::cekImage, message, "Orvel.extractPalette");
}

// The checks of toColorImage, in order; true when the image can be taken.
bool checkImage(const image::Image& img, color::ColorError& error) {
  if (img.width < 1 || img.height < 1) {
    error = imageError("image dimensions must be positive");
    return false;
  }
  if (img.colorspace >= image::ChannelCount.size() ||
      img.channels != image::ChannelCount[img.colorspace]) {
    error = imageError("channel count disagrees with the image colorspace");
    return false;
  }
  int64_t pixels = 0;
  if (__builtin_mul_overflow(img.width, img.height, &pixels)) {
    error = imageError("image dimensions overflow the addressable size");
    return false;
  }
  int64_t bytes = 0;
  if (__builtin_mul_overflow(pixels, img.channels, &bytes) ||
      static_cast<uint64_t>(bytes) != img.pixels.size()) {
    error = imageError("pixel buffer length disagrees with image dimensions");
    return false;
  }
  if (img.colorspace != image::csGray && img.colorspace != image::csRgb &&
      img.colorspace != image::csRgba) {
    error = imageError("palette extraction supports Gray, RGB and RGBA images");
    return false;
  }
  return true;
}

// Open addressing from a 24-bit byte triple to the index of its first appearance.
class TripleTable {
 public:
  TripleTable() { slots_.assign(1 << 12, Slot{}); }

  // Index of the key and whether it is new (then `next` was given to it).
  std::pair<uint32_t, bool> find(uint32_t key, uint32_t next) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    std::size_t at = hashOf(key) & (slots_.size() - 1);
    while (true) {
      Slot& s = slots_[at];
      if (s.key == kEmpty) {
        s = {key, next};
        ++used_;
        return {next, true};
      }
      if (s.key == key) return {s.index, false};
      at = (at + 1) & (slots_.size() - 1);
    }
  }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  struct Slot {
    uint32_t key = kEmpty;
    uint32_t index = 0;
  };
  static std::size_t hashOf(uint32_t key) { return (uint64_t{key} * 0x9E3779B97F4A7C15ull) >> 40; }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.size() * 2, Slot{});
    for (const Slot& s : old) {
      if (s.key == kEmpty) continue;
      std::size_t at = hashOf(s.key) & (slots_.size() - 1);
      while (slots_[at].key != kEmpty) at = (at + 1) & (slots_.size() - 1);
      slots_[at] = s;
    }
  }
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

// The bytes of each pixel as an sRGB colour in `space` (converted by `to`, each distinct
// triple once); the first failing conversion's error when one fails.
color::Result<ColorImage> convertPixels(const image::Image& img, color::SpaceTag space) {
  std::array<float, 256> level{};
  for (int k = 0; k < 256; ++k) level[k] = static_cast<float>(k) / 255.0f;
  ColorImage out;
  out.width = img.width;
  out.height = img.height;
  out.space = space;
  out.bitDepth = 8;
  const std::size_t count = static_cast<std::size_t>(img.width * img.height);
  out.pixels.resize(count);
  out.distinctOf.resize(count);
  const uint8_t* p = img.pixels.data();
  const int channels = static_cast<int>(img.channels);
  TripleTable table;
  uint32_t lastKey = 0xFFFFFFFFu, lastIndex = 0;
  for (std::size_t i = 0; i < count; ++i, p += channels) {
    const uint8_t r = p[0];
    const uint8_t g = channels >= 3 ? p[1] : r;
    const uint8_t b = channels >= 3 ? p[2] : r;
    const float alpha = channels == 4 ? level[p[3]] : 1.0f;
    const uint32_t key = uint32_t{r} << 16 | uint32_t{g} << 8 | b;
    if (key != lastKey) {
      const auto [index, fresh] = table.find(key, static_cast<uint32_t>(out.distinct.size()));
      if (fresh) {
        const Color source{{level[r], level[g], level[b]}, 1.0f, color::tagSrgb};
        color::Result<Color> converted = color::to(source, space);
        if (!converted.ok()) return std::move(converted).error();
        out.distinct.push_back(converted.value().c);
      }
      lastKey = key;
      lastIndex = index;
    }
    out.pixels[i] = Color{out.distinct[lastIndex], alpha, space};
    out.distinctOf[i] = lastIndex;
  }
  return out;
}

color::Result<QuantizeFn> checkRequest(int64_t n, std::string_view algorithm) {
  if (n < 1) {
    return color::colorError(color::cekArgument,
                             "extractPalette: n must be >= 1, got " + std::to_string(n),
                             "extractPalette");
  }
  QuantizeFn fn = lookupQuantizeAlgo(algorithm);
  if (fn == nullptr) {
    return color::colorError(color::cekUnknownAlgorithm,
                             "unknown quantization algorithm: " + std::string(algorithm),
                             "extractPalette");
  }
  return fn;
}

}  // namespace

color::Result<ColorImage> toColorImage(const image::Image& img) {
  color::ColorError error;
  if (!checkImage(img, error)) return error;
  return convertPixels(img, color::tagSrgb);
}

color::Result<Palette> extractPalette(const ColorImage& image, int64_t n,
                                      std::string_view algorithm, color::SpaceTag workSpace,
                                      const QuantizeOpts& opts) {
  color::Result<QuantizeFn> fn = checkRequest(n, algorithm);
  if (!fn.ok()) return fn.error();
  if (image.space == workSpace) return fn.value()(image, n, opts);
  color::Result<ColorImage> converted = color::toWorkSpace(image, workSpace);
  if (!converted.ok()) return std::move(converted).error();
  return fn.value()(converted.value(), n, opts);
}

color::Result<Palette> extractPalette(const image::Image& img, int64_t n,
                                      std::string_view algorithm, color::SpaceTag workSpace,
                                      const QuantizeOpts& opts) {
  color::ColorError error;
  if (!checkImage(img, error)) return error;
  color::Result<QuantizeFn> fn = checkRequest(n, algorithm);
  if (!fn.ok()) return fn.error();
  if (color::spaceByTag(workSpace) == nullptr) {
    return color::colorError(color::cekUnknownSpace, "target work space is unknown",
                             "toWorkSpace");
  }
  color::Result<ColorImage> converted = convertPixels(img, workSpace);
  if (!converted.ok()) return std::move(converted).error();
  return fn.value()(converted.value(), n, opts);
}

}  // namespace orvel::palette
