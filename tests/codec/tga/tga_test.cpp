#include "codec/tga/tga.h"

#include <gtest/gtest.h>

#include "codec/raster_reference.h"

namespace orvel::codec::tga {
namespace {

using orvel::testing::patched;

TEST(Tga, ReadsAndWritesLikePillowAndNetpbm) {
  orvel::testing::checkAgainstReferences("tga", decodeTga, encodeTga);
}

// A header (no ID) followed by `body`: {type, map type, first, length, entry bits, width,
// height, depth, descriptor}.
std::vector<uint8_t> tga(uint8_t type, uint8_t mapType, uint16_t first, uint16_t length,
                         uint8_t entryBits, uint16_t width, uint16_t height, uint8_t depth,
                         std::vector<uint8_t> body) {
  body.insert(body.begin(), 18, uint8_t{0});
  return patched(std::move(body), {{1, mapType},
                                   {2, type},
                                   {3, first, 2},
                                   {5, length, 2},
                                   {7, entryBits},
                                   {12, width, 2},
                                   {14, height, 2},
                                   {16, depth}});
}

TEST(Tga, WritesUncompressedBottomUpRowsWithDescriptorZero) {
  image::Image image = image::newImage(1, 2, image::csRgba);
  for (uint8_t i = 0; i < 8; ++i) image.pixels[i] = i;
  const std::vector<uint8_t> out = encodeTga(image);
  EXPECT_EQ(out, tga(2, 0, 0, 0, 0, 1, 2, 32, {6, 5, 4, 7, 2, 1, 0, 3}));
  // The same rows with the top-left origin bit decode top-down.
  EXPECT_TRUE(
      decodeTga(patched(out, {{17, 0x20}, {18, 0x03000102, 4}, {22, 0x07040506, 4}})).pixels ==
      image.pixels);
}

TEST(Tga, RefusesWhatItCannotRead) {
  const std::vector<uint8_t> gray = tga(3, 0, 0, 0, 0, 3, 2, 8, {1, 2, 3, 4, 5, 6});
  const std::vector<uint8_t> map = {1, 2, 3, 4, 5, 6};  // two 24-bit entries
  auto mapped = [&](uint8_t type, std::vector<uint8_t> pixels) {
    std::vector<uint8_t> body = map;
    body.insert(body.end(), pixels.begin(), pixels.end());
    return tga(type, 1, 4, 2, 24, 3, 2, 8, body);  // indices 4 and 5
  };
  const std::vector<uint8_t> hugeRle =
      tga(9, 1, 4, 2, 24, 32768, 32768, 8, {1, 2, 3, 4, 5, 6, 0xFF, 4, 0xFF, 4, 0xFF});
  orvel::testing::expectRefusals(
      decodeTga,
      {
          {"tga: header truncated", image::iekTruncated, {gray.begin(), gray.begin() + 17}},
          {"tga: unsupported image type", image::iekUnsupported, patched(gray, {{2, 4}})},
          {"tga: bad dimensions", image::iekInvalid, patched(gray, {{12, 0, 2}})},
          {"tga: too many pixels", image::iekInvalid,
           patched(gray, {{12, 65535, 2}, {14, 16385, 2}})},
          {"tga: color-mapped image has no color map", image::iekInvalid, patched(gray, {{2, 1}})},
          {"tga: palette must be 24/32-bit", image::iekInvalid, patched(mapped(1, {}), {{7, 16}})},
          {"tga: color map truncated", image::iekTruncated, patched(mapped(1, {}), {{5, 3, 2}})},
          {"tga: index depth must be 8", image::iekInvalid, patched(mapped(1, {}), {{16, 16}})},
          {"tga: color map present but image is not color-mapped", image::iekInvalid,
           patched(gray, {{1, 1}})},
          {"tga: grayscale depth must be 8", image::iekInvalid, patched(gray, {{16, 16}})},
          {"tga: 16-bit truecolor unsupported", image::iekUnsupported,
           tga(2, 0, 0, 0, 0, 3, 2, 15, {})},
          {"tga: truecolor depth must be 24 or 32", image::iekInvalid, patched(gray, {{2, 2}})},
          {"tga: pixel truncated", image::iekTruncated, patched(gray, {{2, 2}, {16, 24}})},
          {"tga: index truncated", image::iekTruncated, mapped(1, {4, 5, 4, 5, 4})},
          {"tga: palette index out of range", image::iekInvalid, mapped(1, {4, 6, 4})},
          {"tga: palette index out of range", image::iekInvalid, mapped(1, {4, 5, 4, 5, 4, 3})},
          {"tga: RLE stream truncated", image::iekTruncated,
           tga(11, 0, 0, 0, 0, 3, 2, 8, {0x82, 9, 0x01, 7})},
          {"tga: RLE stream truncated", image::iekTruncated, mapped(9, {0x81, 4, 0x02, 5, 5})},
          {"tga: RLE exceeds image", image::iekInvalid, mapped(9, {0x84, 4, 0x81})},
          {"tga: palette index out of range", image::iekInvalid, mapped(9, {0x02, 4, 5, 6})},
          // Declared far larger than the stream can fill: checked without the image.
          {"tga: RLE stream truncated", image::iekTruncated, hugeRle},
          {"tga: palette index out of range", image::iekInvalid, patched(hugeRle, {{27, 3}})},
      });
}

TEST(Tga, EncodesGrayRgbAndRgbaBelow65536) {
  orvel::testing::expectFailure([] { encodeTga(image::newImage(1, 1, image::csCmyk)); },
                                "tga: encode needs csRgb, csRgba, or csGray",
                                image::iekUnsupported);
  orvel::testing::expectFailure([] { encodeTga(image::newImage(65536, 1, image::csGray)); },
                                "tga: dimensions exceed the 16-bit header fields",
                                image::iekInvalid);
  EXPECT_EQ(encodeTga(image::newImage(65535, 1, image::csGray)).size(), 18u + 65535);
}

}  // namespace
}  // namespace orvel::codec::tga
