// Capture dates, movie facts, and reading metadata from files.
#include <gtest/gtest.h>

#include "support/local_zone.h"
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "metadata/dates.h"
#include "metadata/pipeline/read.h"
#include "support/exif_samples.h"
#include "support/temp_dir.h"

using namespace orvel::metadata;
using namespace orvel::metadata::movie;
using namespace orvel::metadata::pipeline;
using orvel::testing::Bytes;

namespace {

using orvel::testing::LocalZone;
using orvel::testing::TempDir;

constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

}  // namespace

TEST(ParseDateTime, EveryPatternInLocalTime) {
  LocalZone zone(kNewYork);
  const int64_t expected = 1689341400;  // 2023-07-14 09:30:00 EDT = 13:30 UTC
  for (const char* text : {"2023:07:14 09:30:00", "2023-07-14 09:30:00", "2023-07-14T09:30:00"}) {
    const DateTime date = parseDateTime(text);
    EXPECT_EQ(date.unixSeconds, expected) << text;
    EXPECT_EQ(date.utcOffsetSeconds, -4 * 3600);
    EXPECT_EQ(date.year, 2023);
  }
  EXPECT_EQ(parseDateTime("2023:01:14").unixSeconds, 1673672400);  // midnight EST
  EXPECT_EQ(parseDateTime("2023-01-14").utcOffsetSeconds, -5 * 3600);
}

TEST(ParseDateTime, WholeTextValidFieldsAndYearRule) {
  for (const char* text :
       {"2023:07:14 09:30:00+02:00", "2023:07:14 09:30", "2023:07:14  09:30:00", "2023:7:14",
        "2023:13:01", "2023:02:29", "2023:04:31 10:00:00", "2023:07:14 24:00:00",
        "2023:07:14 09:60:00", "2023-07-14T09:30:00Z", "1899:12:31 23:59:59", "0000:00:00 00:00:00",
        "", "2023/07/14", " 2023:07:14", "2023:07-14", "2023:07:14T09:30:00"}) {
    EXPECT_EQ(parseDateTime(text).year, 1899) << text;
  }
  EXPECT_EQ(parseDateTime("2024:02:29").year, 2024);  // leap day
  EXPECT_EQ(parseDateTime("1900:01:01 00:00:00").year, 1900);
  EXPECT_EQ(parseDateTime("2000:02:29 23:59:59").year, 2000);
}

TEST(ParseDateTime, NoDateIsTheStartOf1899Locally) {
  LocalZone zone("UTC0");
  const DateTime none = noDate();
  EXPECT_EQ(none.year, 1899);
  EXPECT_EQ(none.unixSeconds, -2240524800);
  EXPECT_EQ(defaultMetadata().dateTaken.unixSeconds, none.unixSeconds);
}

TEST(MovieTimes, EpochIs1904Utc) {
  const DateTime epoch = parseMP4Time(0);
  EXPECT_EQ(epoch.unixSeconds, -2082844800);
  EXPECT_EQ(epoch.year, 1904);
  EXPECT_EQ(epoch.utcOffsetSeconds, 0);
  const DateTime recent = parseMP4Time(3772164600u);  // 2023-07-14 07:30:00 UTC
  EXPECT_EQ(recent.unixSeconds, 1689319800);
  EXPECT_EQ(recent.year, 2023);
  EXPECT_EQ(parseMP4Time(0xFFFFFFFFu).year, 2040);
  DateTime far;
  ASSERT_TRUE(mp4TimeFromSeconds(uint64_t{1} << 40, far));
  EXPECT_GT(far.year, 30000);
  DateTime untouched;
  EXPECT_FALSE(mp4TimeFromSeconds(UINT64_MAX, untouched));
  EXPECT_EQ(untouched.year, 1899);
}

TEST(ApplyVideoMeta, TagsAndCreationTimes) {
  Metadata meta = defaultMetadata();
  VideoMeta video;
  video.make = "Apple";
  video.model = "iPhone 12";
  video.software = "16.1";
  video.width = 1920;
  video.height = 1080;
  applyVideoMeta(meta, video);
  EXPECT_EQ(*meta.tags.find("Make"), "Apple");
  EXPECT_EQ(*meta.tags.find("ImageHeight"), "1080");
  EXPECT_TRUE(meta.camera.empty());  // only tags
  EXPECT_FALSE(meta.isValid);       // no creation date

  auto created = [](std::string creation) {
    Metadata m = defaultMetadata();
    VideoMeta v;
    v.creation = std::move(creation);
    applyVideoMeta(m, v);
    return m;
  };
  EXPECT_EQ(created("MP4-Time-V0:3772164600").dateTaken.unixSeconds, 1689319800);
  EXPECT_TRUE(created("MP4-Time-V0:3772164600").isValid);
  EXPECT_FALSE(created("MP4-Time-V0:0").isValid);  // creation time 0: no date
  EXPECT_FALSE(created("MP4-Time-V0:4294967296").isValid);  // beyond 32 bits
  EXPECT_FALSE(created("MP4-Time-V0:12x").isValid);
  EXPECT_EQ(created("MP4-Time-V1:3772164600").dateTaken.year, 2023);
  EXPECT_FALSE(created("MP4-Time-V1:-5").isValid);
  EXPECT_FALSE(created("MP4-Time-V1:18446744073709551615").isValid);  // no such date
  EXPECT_EQ(created("String:2023-07-14T09:30:00").dateTaken.year, 2023);
  EXPECT_FALSE(created("String:yesterday").isValid);
  EXPECT_FALSE(created("Other:5").isValid);
  EXPECT_FALSE(created("").isValid);
}

TEST(ReadFile, MissingEmptyDirectoryAndPipeGiveTheDefaultRecord) {
  TempDir dir;
  EXPECT_FALSE(readMetadata((dir.path() / "missing.jpg").string(), kDefaultReadPrefix).isValid);
  EXPECT_FALSE(readMetadata(dir.file("empty.jpg", {}), kDefaultReadPrefix).isValid);
  EXPECT_FALSE(readMetadata(dir.path().string(), kDefaultReadPrefix).isValid);
  const std::string fifo = (dir.path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(readMetadata(fifo, kDefaultReadPrefix).isValid);  // and does not block
  const std::string locked = dir.file("locked.jpg", orvel::testing::cameraJpeg());
  chmod(locked.c_str(), 0);
  if (geteuid() != 0) {
    EXPECT_FALSE(readMetadata(locked, kDefaultReadPrefix).isValid);
  }
  EXPECT_EQ(readMetadata("", kDefaultReadPrefix).dateTaken.year, 1899);
}

TEST(ReadFile, SameRecordAsTheBufferAndThePrefixLimit) {
  TempDir dir;
  const Bytes jpeg = orvel::testing::cameraJpeg();
  const std::string path = dir.file("camera.jpg", jpeg);
  const Metadata fromFile = readMetadata(path, kDefaultReadPrefix);
  const Metadata fromBuffer = readMetadataFromBytes(jpeg);
  EXPECT_TRUE(fromFile.isValid);
  EXPECT_EQ(fromFile.camera, fromBuffer.camera);
  ASSERT_EQ(fromFile.tags.size(), fromBuffer.tags.size());
  auto other = fromBuffer.tags.begin();
  for (const auto& entry : fromFile.tags) EXPECT_EQ(entry, *other++);
  // With a prefix that ends inside the EXIF block, the directories beyond it are lost.
  const Metadata cut = readMetadata(path, 60);
  EXPECT_LT(cut.tags.size(), fromFile.tags.size());
  // The smallest prefix is 16 bytes, whatever the caller asks for.
  EXPECT_FALSE(readMetadata(path, -1).isValid);
  EXPECT_FALSE(readMetadata(path, 0).isValid);
}
