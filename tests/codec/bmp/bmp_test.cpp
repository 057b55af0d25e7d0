#include "codec/bmp/bmp.h"

#include <gtest/gtest.h>

#include "codec/raster_reference.h"

namespace orvel::codec::bmp {
namespace {

using orvel::testing::patched;
using orvel::testing::Refusal;

TEST(Bmp, ReadsAndWritesLikePillowAndNetpbm) {
  orvel::testing::checkAgainstReferences("bmp", decodeBmp, encodeBmp);
}

image::Image rgb(int64_t width, int64_t height) {
  image::Image image = image::newImage(width, height, image::csRgb);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint8_t>(i);
  return image;
}

TEST(Bmp, WritesTheInfoHeaderAndBottomUpPaddedRows) {
  const std::vector<uint8_t> expected = {
      'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0x13, 0x0B, 0, 0,
      0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 2835 pixels
                                                 // per metre
      5, 4, 3, 0, 2, 1, 0, 0};                   // rows bottom-up, B, G, R
  EXPECT_EQ(encodeBmp(rgb(1, 2)), expected);
}

TEST(Bmp, RefusesWhatItCannotRead) {
  const std::vector<uint8_t> good = encodeBmp(rgb(3, 2));  // 24 bpp, rows of 12 bytes
  // 8 bpp with two palette entries after the header and one row of four indices.
  const std::vector<uint8_t> indexed = [] {
    std::vector<uint8_t> b = patched(std::vector<uint8_t>(54 + 8 + 4), {{0, 'B'},
                                                                        {1, 'M'},
                                                                        {10, 62, 4},
                                                                        {14, 40, 4},
                                                                        {18, 4, 4},
                                                                        {22, 1, 4},
                                                                        {26, 1, 2},
                                                                        {28, 8, 2},
                                                                        {46, 2, 4}});
    b[62 + 3] = 2;
    return b;
  }();
  orvel::testing::expectRefusals(
      decodeBmp,
      {
          {"bmp: header truncated", image::iekTruncated, {good.begin(), good.begin() + 17}},
          {"bmp: not a BM container", image::iekUnsupported, patched(good, {{1, 'A'}})},
          {"bmp: only BITMAPINFOHEADER-and-larger DIB headers are supported", image::iekUnsupported,
           patched(good, {{14, 12, 4}})},
          {"bmp: DIB header truncated", image::iekTruncated, {good.begin(), good.begin() + 53}},
          {"bmp: width must be positive", image::iekInvalid, patched(good, {{18, 0xFFFFFFFF, 4}})},
          {"bmp: height must be non-zero", image::iekInvalid, patched(good, {{22, 0, 4}})},
          {"bmp: dimensions too large", image::iekInvalid,
           patched(good, {{18, (1u << 30) + 1, 4}})},
          {"bmp: dimensions too large", image::iekInvalid, patched(good, {{22, 0x80000000, 4}})},
          {"bmp: planes must be 1", image::iekUnsupported, patched(good, {{26, 2, 2}})},
          {"bmp: only BI_RGB (uncompressed) is supported", image::iekUnsupported,
           patched(good, {{30, 3, 4}})},
          {"bmp: unsupported bpp", image::iekInvalid, patched(good, {{28, 16, 2}})},
          {"bmp: palette truncated", image::iekTruncated, patched(indexed, {{46, 0, 4}})},
          {"bmp: pixel offset overlaps header or palette", image::iekInvalid,
           patched(indexed, {{10, 61, 4}})},
          {"bmp: pixel offset overlaps header or palette", image::iekInvalid,
           patched(good, {{10, 53, 4}})},
          {"bmp: pixel data truncated", image::iekTruncated, {good.begin(), good.end() - 1}},
          {"bmp: pixel data truncated", image::iekTruncated, patched(good, {{22, 30000, 4}})},
          {"bmp: palette index out of range", image::iekInvalid, indexed},
      });
  EXPECT_EQ(decodeBmp(patched(indexed, {{62 + 3, 1}})).pixels.size(), 16u);
}

TEST(Bmp, EncodesOnlyRgbAndRgbaWithinThe32BitFields) {
  image::Image huge;  // the size check comes before any pixel is read
  huge.width = 40000;
  huge.height = 40000;
  huge.channels = 3;
  huge.colorspace = image::csRgb;
  orvel::testing::expectFailure([&] { encodeBmp(huge); },
                                "bmp: encoded size exceeds the 32-bit BMP fields",
                                image::iekInvalid);
  orvel::testing::expectFailure([] { encodeBmp(image::newImage(1, 1, image::csGray)); },
                                "bmp: encode needs csRgb or csRgba", image::iekUnsupported);
}

}  // namespace
}  // namespace orvel::codec::bmp
