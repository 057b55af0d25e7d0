// ov_image_thumbnail: the JPEG thumbnail an EXIF block names, decoded at its stored size.
#include <gtest/gtest.h>

#include <vector>

#include "orvel.h"
#include "support/builders.h"
#include "support/exif_samples.h"

namespace {

using orvel::testing::Bytes;

// An encoded gray gradient of the given size.
Bytes encodedGray(int32_t width, int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width * height));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 5);
  ov_image* image = nullptr;
  EXPECT_EQ(ov_image_from_pixels(width, height, OV_IMAGE_GRAY, pixels.data(),
                                 static_cast<int64_t>(pixels.size()), &image),
            0);
  uint8_t* data = nullptr;
  int64_t length = 0;
  EXPECT_EQ(ov_image_encode(image, 2, 90, &data, &length), 0);
  Bytes out(data, data + length);
  ov_image_buffer_free(data);
  ov_image_free(image);
  return out;
}

// A JPEG whose EXIF IFD1 points at `thumbnail`, stored after the directories.
Bytes withThumbnail(const Bytes& thumbnail) {
  Bytes block;
  for (uint32_t offset = 0, pass = 0; pass < 2; ++pass) {
    orvel::testing::TiffBuilder t(false);
    const int ifd0 = t.addIfd();
    const int ifd1 = t.addIfd();
    t.ascii(ifd0, 0x010F, "Canon").chain(ifd0, ifd1);
    t.shorts(ifd1, 0x0103, {6})
        .longs(ifd1, 0x0201, {offset})
        .longs(ifd1, 0x0202, {static_cast<uint32_t>(thumbnail.size())});
    block = t.build();
    offset = static_cast<uint32_t>(block.size());
  }
  block.insert(block.end(), thumbnail.begin(), thumbnail.end());
  return orvel::testing::JpegBuilder().app0Jfif().app1Exif(block).finish();
}

ov_status thumbnailOf(const Bytes& file, ov_image** out) {
  return ov_image_thumbnail(file.data(), static_cast<int64_t>(file.size()), out);
}

TEST(ImageThumbnail, DecodesTheEmbeddedJpegOrSaysWhyNot) {
  ov_image* image = reinterpret_cast<ov_image*>(1);
  const Bytes file = withThumbnail(encodedGray(20, 12));
  ASSERT_EQ(thumbnailOf(file, &image), 0);
  EXPECT_EQ(ov_image_width(image), 20);
  EXPECT_EQ(ov_image_height(image), 12);
  EXPECT_EQ(ov_image_channels(image), 1);
  ov_image_free(image);

  EXPECT_EQ(ov_image_thumbnail(nullptr, 10, &image), 2);
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(ov_image_thumbnail(file.data(), 0, &image), 2);
  EXPECT_EQ(ov_image_thumbnail(file.data(), 10, nullptr), 2);
  // No EXIF block, an EXIF block without IFD1, and a thumbnail that is not a decodable JPEG.
  EXPECT_EQ(thumbnailOf(encodedGray(8, 8), &image), 4);
  orvel::testing::CameraSampleOptions noThumbnail;
  noThumbnail.withThumbnail = false;
  EXPECT_EQ(thumbnailOf(orvel::testing::cameraJpeg(noThumbnail), &image), 4);
  EXPECT_EQ(thumbnailOf(orvel::testing::cameraJpeg(), &image), 2);  // "jpeg: SOS before SOF0"
  EXPECT_EQ(thumbnailOf(withThumbnail({0xFF, 0xD8, 0xFF, 0xC2, 0, 2}), &image), 4);
  EXPECT_EQ(image, nullptr);
}

}  // namespace
