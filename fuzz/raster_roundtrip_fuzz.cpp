// Arbitrary pixels through every raster encoder and back: BMP, TGA, QOI and PNM each return
// the pixels they were given (BMP reads alpha back as opaque). Byte 0 picks the layout, byte 1
// the width; the rest are the samples.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/bmp/bmp.h"
#include "codec/pnm/pnm.h"
#include "codec/qoi/qoi.h"
#include "codec/tga/tga.h"
#include "image/error.h"

namespace {

using orvel::image::Image;

void expectSame(const Image& image, const Image& back, bool opaqueAlpha) {
  if (back.width != image.width || back.height != image.height ||
      back.colorspace != image.colorspace || back.pixels.size() != image.pixels.size()) {
    __builtin_trap();
  }
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const bool alpha = opaqueAlpha && i % 4 == 3;
    if (back.pixels[i] != (alpha ? 255 : image.pixels[i])) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t colorspace = data[0] % 3;
  const int64_t channels = orvel::image::ChannelCount[colorspace];
  const int64_t width = data[1] % 64 + 1;
  const int64_t height = static_cast<int64_t>(size - 2) / (width * channels);
  if (height < 1) return 0;
  Image image = orvel::image::newImage(width, height, colorspace);
  std::memcpy(image.pixels.data(), data + 2, image.pixels.size());

  const bool colour = colorspace != orvel::image::csGray;
  const bool rgba = colorspace == orvel::image::csRgba;
  if (colour) {
    expectSame(image, orvel::codec::bmp::decodeBmp(orvel::codec::bmp::encodeBmp(image)), rgba);
    expectSame(image, orvel::codec::qoi::decodeQoi(orvel::codec::qoi::encodeQoi(image)), false);
  }
  expectSame(image, orvel::codec::tga::decodeTga(orvel::codec::tga::encodeTga(image)), false);
  expectSame(image, orvel::codec::pnm::decodePnm(orvel::codec::pnm::encodePnm(image)), false);
  return 0;
}
