// Reading real camera-like files through the exported functions: buffers and files give the
// same snapshot, and the snapshot carries the position, orientation and sorted tags.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "orvel.h"
#include "support/sample_photo.h"
#include "support/temp_dir.h"

using orvel::testing::Bytes;
using orvel::testing::SamplePhoto;
using orvel::testing::TempDir;

namespace {

ov_meta* readBuffer(const Bytes& bytes) {
  ov_meta* handle = nullptr;
  EXPECT_EQ(ov_exif_read_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), &handle), 0);
  return handle;
}

ov_meta* readFile(const std::string& path) {
  ov_meta* handle = nullptr;
  EXPECT_EQ(ov_exif_read_file(path.c_str(), &handle), 0);
  return handle;
}

}  // namespace

class SamplePhotos : public ::testing::TestWithParam<int> {};

TEST_P(SamplePhotos, PositionOrientationAndSortedTags) {
  const int variant = GetParam();
  const auto facts = orvel::testing::samplePhotoFacts(variant);
  ov_meta* h = readBuffer(orvel::testing::samplePhotoJpeg({variant % 2 == 1, variant, 64}));
  ASSERT_TRUE(ov_exif_is_valid(h));
  double lat = 0, lon = 0, alt = 0;
  ASSERT_TRUE(ov_exif_get_gps(h, &lat, &lon, &alt));
  EXPECT_DOUBLE_EQ(lat, facts.latitude);
  EXPECT_DOUBLE_EQ(lon, facts.longitude);
  EXPECT_DOUBLE_EQ(alt, facts.altitude);
  EXPECT_EQ(ov_exif_get_orientation(h), facts.orientation);
  EXPECT_STREQ(ov_exif_get_tag(h, "Make"), "Canon");
  EXPECT_STREQ(ov_exif_get_tag(h, "Model"), facts.model);
  const int64_t count = ov_exif_tag_count(h);
  EXPECT_GE(count, 60);
  std::string previous;
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    ASSERT_EQ(ov_exif_tag_at(h, i, &name, &value), 0);
    ASSERT_NE(value, nullptr);
    EXPECT_LT(previous, name);
    EXPECT_EQ(ov_exif_get_tag(h, name), value);
    previous = name;
  }
  ov_exif_meta_free(h);
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, SamplePhotos, ::testing::Values(0, 1, 2, 5));

TEST(MetaReadFile, FileAndBufferGiveTheSameSnapshot) {
  TempDir dir;
  const Bytes photo = orvel::testing::samplePhotoJpeg({true, 2, 64});
  ov_meta* fromFile = readFile(dir.file("photo.jpg", photo));
  ov_meta* fromBuffer = readBuffer(photo);
  ASSERT_NE(ov_exif_to_json(fromFile), nullptr);
  EXPECT_STREQ(ov_exif_to_json(fromFile), ov_exif_to_json(fromBuffer));
  EXPECT_NE(std::strstr(ov_exif_to_json(fromFile), "\"altitude\": -12.5"), nullptr);
  ov_exif_meta_free(fromFile);
  ov_exif_meta_free(fromBuffer);
}

TEST(MetaReadFile, LargeFileWithEarlyExif) {
  TempDir dir;
  const Bytes photo = orvel::testing::samplePhotoJpeg({false, 3, std::size_t{20} << 20});
  ov_meta* h = readFile(dir.file("large.jpg", photo));
  EXPECT_TRUE(ov_exif_is_valid(h));
  EXPECT_STREQ(ov_exif_get_tag(h, "Model"), orvel::testing::samplePhotoFacts(3).model);
  ov_exif_meta_free(h);
}

TEST(MetaReadFile, EmptyFileAndDirectoryGiveInvalidHandles) {
  TempDir dir;
  for (const std::string& path : {dir.file("empty.jpg", {}), dir.path().string()}) {
    ov_meta* h = readFile(path);
    ASSERT_NE(h, nullptr) << path;
    EXPECT_FALSE(ov_exif_is_valid(h));
    EXPECT_EQ(ov_exif_tag_count(h), 0);
    EXPECT_FALSE(ov_exif_get_gps(h, nullptr, nullptr, nullptr));
    ov_exif_meta_free(h);
  }
}

TEST(MetaReadBuffer, CallerBytesAreNotKept) {
  Bytes photo = orvel::testing::samplePhotoJpeg({false, 0, 64});
  ov_meta* h = readBuffer(photo);
  std::string json = ov_exif_to_json(h);
  const char* make = ov_exif_get_tag(h, "Make");
  std::fill(photo.begin(), photo.end(), 0xAB);
  photo.clear();
  photo.shrink_to_fit();
  EXPECT_STREQ(make, "Canon");
  EXPECT_EQ(json, ov_exif_to_json(h));
  ov_exif_meta_free(h);
}
