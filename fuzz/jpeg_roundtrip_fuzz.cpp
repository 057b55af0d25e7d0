// Arbitrary pixels through the JPEG encoder: the file is byte for byte the literal encoder's,
// and decodes (fast and literal alike) to an image of the same size and layout. Byte 0 picks
// gray or RGB, byte 1 the width, byte 2 the quality; the rest are the samples.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/jpeg/jpeg.h"
#include "codec/jpeg/jpeg_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t colorspace = data[0] % 2 == 0 ? orvel::image::csGray : orvel::image::csRgb;
  const int64_t channels = orvel::image::ChannelCount[colorspace];
  const int64_t width = data[1] % 64 + 1;
  const int quality = data[2] % 101;
  const int64_t height = static_cast<int64_t>(size - 3) / (width * channels);
  if (height < 1) return 0;
  orvel::image::Image image = orvel::image::newImage(width, height, colorspace);
  std::memcpy(image.pixels.data(), data + 3, image.pixels.size());

  orvel::codec::jpeg::choosePortableJpeg(data[0] & 2);
  const std::vector<uint8_t> file = orvel::codec::jpeg::encodeJpeg(image, quality);
  if (file != orvel::testing::jpegref::encode(image, quality)) __builtin_trap();
  const orvel::image::Image back = orvel::codec::jpeg::decodeJpeg(file);
  const orvel::image::Image literal = orvel::testing::jpegref::decode(file);
  if (back.width != width || back.height != height || back.colorspace != colorspace ||
      !(back.pixels == literal.pixels)) {
    __builtin_trap();
  }
  return 0;
}
