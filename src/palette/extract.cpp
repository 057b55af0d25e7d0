// The two entry points of palette extraction, and the adapter from an 8-bit Image to a colour
// image. An Image is converted straight into the work space, each distinct byte triple once,
// with the same result as building the sRGB colour image and converting it pixel by pixel.
#include <array>
#include <string>
#include <vector>

#include "color/convert.h"
#include "color/spaces.h"
#include "palette/common.h"
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

// The bytes of each pixel as an sRGB colour converted into `space`, with its alpha.
color::Result<ColorImage> convertPixels(const image::Image& img, color::SpaceTag space) {
  ColorImage out;
  const ByteColours colours(img, out.distinctOf);
  if (std::optional<color::ColorError> error = colours.convert(space, out.distinct)) {
    return *std::move(error);
  }
  out.width = img.width;
  out.height = img.height;
  out.space = space;
  out.bitDepth = 8;
  out.pixels.resize(out.distinctOf.size());
  const int64_t channels = img.channels;
  for (std::size_t i = 0; i < out.pixels.size(); ++i) {
    const float alpha = channels == 4 ? static_cast<float>(img.pixels[i * 4 + 3]) / 255.0f : 1.0f;
    out.pixels[i] = Color{out.distinct[out.distinctOf[i]], alpha, space};
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
    return color::colorError(color::cekUnknownSpace, "target work space is unknown", "toWorkSpace");
  }
  // Wu needs only each pixel's colour index, not the colour image.
  if (fn.value() == computeWu) return computeWuFromBytes(img, n, workSpace, opts);
  color::Result<ColorImage> converted = convertPixels(img, workSpace);
  if (!converted.ok()) return std::move(converted).error();
  return fn.value()(converted.value(), n, opts);
}

}  // namespace orvel::palette
