// Versions, status tables and buffer release through the exported functions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "orvel.h"

TEST(Frame, VersionsAndAbi) {
  EXPECT_STREQ(ov_version(), "1.1.0");
  EXPECT_EQ(ov_exif_abi_version(), 1);
  EXPECT_EQ(ov_image_abi_version(), 1);
}

TEST(Frame, ExifStatusTexts) {
  EXPECT_STREQ(ov_exif_strerror(0), "ok");
  EXPECT_STREQ(ov_exif_strerror(1), "io error");
  EXPECT_STREQ(ov_exif_strerror(2), "unrecognized format / no metadata");
  EXPECT_STREQ(ov_exif_strerror(4), "unsupported operation");
  for (ov_status code : {3, 5, 8, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_STREQ(ov_exif_strerror(code), "unknown error") << code;
  }
}

TEST(Frame, ImageStatusTexts) {
  EXPECT_STREQ(ov_image_strerror(0), "ok");
  EXPECT_STREQ(ov_image_strerror(2), "bad argument / unrecognized / truncated");
  EXPECT_STREQ(ov_image_strerror(4), "unsupported operation");
  EXPECT_STREQ(ov_image_strerror(8), "out of memory");
  for (ov_status code : {1, 3, 5, 6, 7, 9, -1, -8, INT32_MIN}) {
    EXPECT_STREQ(ov_image_strerror(code), "unknown error") << code;
  }
}

TEST(Frame, MapImageStatus) {
  EXPECT_EQ(mapImgStatus(0), 0);
  EXPECT_EQ(mapImgStatus(1), 4);
  EXPECT_EQ(mapImgStatus(2), 2);
  EXPECT_EQ(mapImgStatus(3), 2);
  EXPECT_EQ(mapImgStatus(200), 2);
}

TEST(Frame, BufferFree) {
  ov_exif_buffer_free(nullptr);
  ov_image_buffer_free(nullptr);
  // Both release library buffers, which come from malloc.
  ov_exif_buffer_free(static_cast<uint8_t*>(std::malloc(16)));
  ov_image_buffer_free(static_cast<uint8_t*>(std::malloc(16)));
}
