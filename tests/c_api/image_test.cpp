// The exported image functions: argument checks and statuses, hints, detection, the encoder
// numbers and quality, pixels, and what a failed call leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "c_api/registry.h"
#include "orvel.h"
#include "support/chunk_builder.h"
#include "support/isobmff_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

ov_status decode(const Bytes& bytes, int32_t hint, ov_image** out) {
  return ov_image_decode_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), hint, out);
}

ov_image* rgb(int32_t width, int32_t height) {
  Bytes pixels(static_cast<size_t>(width * height * 3));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
  ov_image* image = nullptr;
  EXPECT_EQ(ov_image_from_pixels(width, height, OV_IMAGE_RGB, pixels.data(),
                                 static_cast<int64_t>(pixels.size()), &image),
            0);
  return image;
}

TEST(ImageFunctions, DecodeArgumentsAndDetection) {
  ov_image* image = reinterpret_cast<ov_image*>(1);
  const Bytes one = {'B'};
  EXPECT_EQ(ov_image_decode_buffer(nullptr, 4, 0, &image), 2);
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(ov_image_decode_buffer(one.data(), 1, 0, nullptr), 2);
  EXPECT_EQ(decode(one, 11, &image), 2);
  EXPECT_EQ(decode(one, -1, &image), 2);
  EXPECT_EQ(decode(one, 0, &image), 2);          // "decodeImage: input too short"
  EXPECT_EQ(decode({'x', 'y'}, 0, &image), 4);   // unrecognised
  EXPECT_EQ(decode({'P', '8', ' '}, 0, &image), 4);
  EXPECT_EQ(decode({'P', '7', '\n'}, 0, &image), 2);  // PAM, truncated
  // A damaged PNG signature past the fourth byte still reaches the PNG decoder.
  EXPECT_EQ(decode({0x89, 'P', 'N', 'G', 0, 0, 0, 0}, 0, &image), 4);  // "png: bad signature"
  // An ISO file whose major brand is not a HEIF brand is not HEIF.
  Bytes brand = {'i', 's', 'o', 'm', 0, 0, 0, 0, 'h', 'e', 'i', 'c'};
  EXPECT_EQ(decode(orvel::testing::box("ftyp", brand), 0, &image), 4);
  EXPECT_EQ(image, nullptr);
}

TEST(ImageFunctions, TgaOnlyByHint) {
  Bytes tga(18, 0);
  tga[2] = 3;                          // grayscale
  tga[12] = 1, tga[14] = 1, tga[16] = 8;  // 1 x 1, 8 bits
  tga.push_back(77);
  ov_image* image = nullptr;
  EXPECT_EQ(decode(tga, 0, &image), 4);
  ASSERT_EQ(decode(tga, 8, &image), 0);
  EXPECT_EQ(ov_image_get_colorspace(image), OV_IMAGE_GRAY);
  const uint8_t* pixels = nullptr;
  int64_t length = 0;
  ASSERT_EQ(ov_image_pixels(image, &pixels, &length), 0);
  ASSERT_EQ(length, 1);
  EXPECT_EQ(pixels[0], 77);
  ov_image_free(image);
}

TEST(ImageFunctions, FromPixelsChecks) {
  const Bytes pixels(12, 5);
  ov_image* image = nullptr;
  EXPECT_EQ(ov_image_from_pixels(2, 2, OV_IMAGE_RGB, pixels.data(), 11, &image), 2);
  EXPECT_EQ(ov_image_from_pixels(0, 2, OV_IMAGE_RGB, pixels.data(), 12, &image), 2);
  EXPECT_EQ(ov_image_from_pixels(2, 2, 6, pixels.data(), 12, &image), 2);
  EXPECT_EQ(ov_image_from_pixels(2, 2, OV_IMAGE_RGB, nullptr, 12, &image), 2);
  EXPECT_EQ(ov_image_from_pixels(2, 2, OV_IMAGE_RGB, pixels.data(), 12, nullptr), 2);
  EXPECT_EQ(image, nullptr);
  ASSERT_EQ(ov_image_from_pixels(3, 1, 3, pixels.data(), 12, &image), 0);  // CMYK
  EXPECT_EQ(ov_image_channels(image), 4);
  EXPECT_EQ(ov_image_width(image), 3);
  EXPECT_EQ(ov_image_height(image), 1);
  EXPECT_EQ(ov_image_get_colorspace(image), 3);
  uint8_t* out = nullptr;
  int64_t length = 0;
  EXPECT_EQ(ov_image_encode(image, 1, 90, &out, &length), 4);  // no encoder takes CMYK
  ov_image_free(image);
}

TEST(ImageFunctions, EncodeNumbersQualityAndRoundTrip) {
  ov_image* image = rgb(5, 4);
  const struct {
    int32_t format;
    ov_status status;
  } cases[] = {{1, 0}, {3, 0}, {4, 0}, {5, 0}, {8, 0}, {0, 4}, {6, 4}, {7, 4}, {9, 4}, {-3, 4}};
  for (const auto& c : cases) {
    uint8_t* out = reinterpret_cast<uint8_t*>(1);
    int64_t length = 7;
    ASSERT_EQ(ov_image_encode(image, c.format, 90, &out, &length), c.status) << c.format;
    if (c.status != 0) {
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(length, 0);
      continue;
    }
    ov_image* back = nullptr;
    ASSERT_EQ(ov_image_decode_buffer(out, length, c.format == 8 ? 8 : 0, &back), 0) << c.format;
    const uint8_t* a = nullptr;
    const uint8_t* b = nullptr;
    int64_t la = 0, lb = 0;
    ov_image_pixels(image, &a, &la);
    ov_image_pixels(back, &b, &lb);
    ASSERT_EQ(la, lb);
    EXPECT_EQ(0, std::memcmp(a, b, static_cast<size_t>(la))) << c.format;
    ov_image_free(back);
    ov_image_buffer_free(out);
  }
  EXPECT_EQ(encodeFmtFromCint(1), 0);
  EXPECT_EQ(encodeFmtFromCint(8), 5);
  EXPECT_EQ(encodeFmtFromCint(6), -1);
  uint8_t* out = nullptr;
  int64_t length = 0;
  EXPECT_EQ(ov_image_encode(image, 1, 90, nullptr, &length), 2);
  EXPECT_EQ(ov_image_encode(nullptr, 1, 90, &out, &length), 2);
  ov_image_free(image);
  EXPECT_EQ(ov_image_encode(image, 1, 90, &out, &length), 2);  // freed
  EXPECT_EQ(ov_image_width(image), 0);
}

TEST(ImageFunctions, HandlesAndReferences) {
  ov_image* image = rgb(2, 2);
  ov_image* held = imgOf(image);
  EXPECT_EQ(held, image);
  // The reference belongs to an operation in progress, which drops it when it ends.
  reinterpret_cast<orvel::capi::HandleRecord*>(held)->release();
  EXPECT_EQ(imgOf(nullptr), nullptr);
  EXPECT_EQ(imgOf(reinterpret_cast<ov_image*>(&image)), nullptr);  // not a handle
  const uint8_t* pixels = reinterpret_cast<const uint8_t*>(1);
  int64_t length = 3;
  EXPECT_EQ(ov_image_pixels(nullptr, &pixels, &length), 2);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_EQ(ov_image_pixels(image, nullptr, &length), 2);
  ov_image_free(image);
  ov_image_free(image);  // a second free is ignored
  ov_image_free(nullptr);
}

}  // namespace
