// The exported editing functions end to end: open, set, write to files and buffers, strip;
// results read back through our reader and, where installed, checked by exiftool.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>
#include <string>
#include <thread>
#include <sys/stat.h>

#include "edit_test_util.h"
#include "metadata/pipeline/read.h"
#include "orvel.h"
#include "support/chunk_builder.h"
#include "support/exif_samples.h"

namespace orvel::testing {
namespace {

class EditApi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ov_exif_init(); }
};

std::string tagOf(const Bytes& bytes, const char* name) {
  const metadata::Metadata meta = metadata::pipeline::readMetadataFromBytes(bytes);
  const std::string* value = meta.tags.find(name);
  return value == nullptr ? "<absent>" : *value;
}

Bytes writeBuffer(ov_edit* edit, ov_status* status) {
  uint8_t* out = nullptr;
  int64_t length = 0;
  *status = ov_exif_edit_write_buffer(edit, &out, &length);
  Bytes result(out, out + length);
  ov_exif_buffer_free(out);
  return result;
}

void expectExiftoolAccepts(const std::string& path) {
  if (!haveExiftool()) return;
  const std::string report = exiftoolValidate(path);
  EXPECT_NE(report.find("Validate"), std::string::npos) << report;
  EXPECT_EQ(report.find("Error"), std::string::npos) << report;
}

TEST_F(EditApi, ArgumentsAndHandlesAreChecked) {
  ov_edit* edit = reinterpret_cast<ov_edit*>(0x1);
  EXPECT_EQ(ov_exif_edit_open(nullptr, &edit), 2);
  EXPECT_EQ(edit, nullptr);
  EXPECT_EQ(ov_exif_edit_open("x", nullptr), 2);
  const uint8_t three[3] = {1, 2, 3};
  EXPECT_EQ(ov_exif_edit_open_buffer(nullptr, 3, &edit), 2);
  EXPECT_EQ(ov_exif_edit_open_buffer(three, 0, &edit), 2);
  ASSERT_EQ(ov_exif_edit_open_buffer(three, 3, &edit), 0);  // a valid, empty edit
  EXPECT_EQ(ov_exif_edit_set_tag(edit, nullptr, "1"), 2);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "Orientation", nullptr), 2);
  EXPECT_EQ(ov_exif_edit_set_tag(nullptr, "Orientation", "1"), 2);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "orientation", "6"), 4);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "Orientation", "6"), 0);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "Orientation", "70000"), 4);
  EXPECT_EQ(ov_exif_edit_write(edit, "anything"), 2);  // opened from a buffer
  ov_status status = 0;
  writeBuffer(edit, &status);
  EXPECT_EQ(status, 4);  // three bytes are no container
  uint8_t* out = reinterpret_cast<uint8_t*>(0x1);
  int64_t length = 7;
  EXPECT_EQ(ov_exif_edit_write_buffer(edit, &out, nullptr), 2);
  EXPECT_EQ(ov_exif_edit_write_buffer(nullptr, &out, &length), 2);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(length, 0);
  ov_exif_set_artist(nullptr, "x");
  ov_exif_set_artist(edit, nullptr);
  ov_exif_set_gps(nullptr, 1, 2, 3);
  ov_exif_strip_all(nullptr);
  ov_exif_edit_free(edit);
  ov_exif_edit_free(edit);  // the second call does nothing
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "Orientation", "6"), 2);
  ov_exif_set_artist(edit, "after free");
  ov_exif_edit_free(nullptr);
}

TEST_F(EditApi, BufferRoundTripThroughEverySetter) {
  const Bytes jpeg = realJpeg({app1(exifPayload(cameraTiff()))});
  ov_edit* edit = nullptr;
  ASSERT_EQ(ov_exif_edit_open_buffer(jpeg.data(), static_cast<int64_t>(jpeg.size()), &edit), 0);
  ov_exif_set_artist(edit, "Ann Example");
  ov_exif_set_software(edit, "orvel test");
  ov_exif_set_datetime(edit, "2024:02:29 13:14:15");
  ov_exif_set_gps(edit, -33.5, 151.25, -10);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "ExposureTime", "1/250"), 0);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "UserComment", "hi"), 0);
  EXPECT_EQ(ov_exif_edit_set_tag(edit, "FNumber", "/5"), 4);
  ov_status status = -1;
  const Bytes out = writeBuffer(edit, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(jpegScan(out), jpegScan(jpeg));  // pixels untouched
  EXPECT_EQ(tagOf(out, "Artist"), "Ann Example");
  EXPECT_EQ(tagOf(out, "Software"), "orvel test");
  EXPECT_EQ(tagOf(out, "Model"), "Canon EOS 5D Mark IV");  // loaded tags are kept
  const metadata::Metadata meta = metadata::pipeline::readMetadataFromBytes(out);
  ASSERT_TRUE(meta.hasGps());
  EXPECT_NEAR(meta.latitude, -33.5, 1e-9);
  EXPECT_NEAR(meta.longitude, 151.25, 1e-9);
  EXPECT_NEAR(meta.altitude, -10, 1e-9);
  EXPECT_EQ(meta.dateTaken.year, 2024);

  // Writing does not change the record: a second write gives the same bytes.
  EXPECT_EQ(writeBuffer(edit, &status), out);
  ov_exif_strip_all(edit);
  const Bytes empty = writeBuffer(edit, &status);
  EXPECT_EQ(tagOf(empty, "Artist"), "<absent>");
  EXPECT_EQ(tagOf(empty, "Model"), "<absent>");
  ov_exif_edit_free(edit);

  if (haveExiftool()) {
    ScratchDir dir;
    writeBytes(dir.file("out.jpg"), out);
    expectExiftoolAccepts(dir.file("out.jpg"));
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "Artist"), "Ann Example");
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "ExposureTime"), "0.004");
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "GPSLatitude"), "-33.5");
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "GPSAltitude"), "-10");
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "UserComment"), "hi");
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "DateTimeOriginal"), "2024:02:29 13:14:15");
  }
}

// Threads sharing one edit handle take turns: every written buffer holds one whole value.
TEST_F(EditApi, ThreadsSharingOneHandleTakeTurns) {
  const Bytes jpeg = cameraJpeg();
  ov_edit* edit = nullptr;
  ASSERT_EQ(ov_exif_edit_open_buffer(jpeg.data(), static_cast<int64_t>(jpeg.size()), &edit), 0);
  const std::string longName(3000, 'L');
  std::atomic<bool> writing{true};
  std::thread setter([&] {
    for (int i = 0; writing; ++i) {
      ov_exif_set_artist(edit, i % 2 == 0 ? longName.c_str() : "S");
      ov_exif_edit_set_tag(edit, "Orientation", i % 2 == 0 ? "6" : "1");
    }
  });
  int torn = 0;
  for (int i = 0; i < 300; ++i) {
    ov_status status = 0;
    const Bytes out = writeBuffer(edit, &status);
    ASSERT_EQ(status, 0);
    const std::string artist = tagOf(out, "Artist");
    torn += artist != longName && artist != "S" && artist != tagOf(jpeg, "Artist");
  }
  writing = false;
  setter.join();
  EXPECT_EQ(torn, 0);
  ov_exif_edit_free(edit);
}

TEST_F(EditApi, FileWriteInPlaceAndToAnotherPath) {
  ScratchDir dir;
  const std::string source = dir.file("photo.jpg");
  CameraSampleOptions bigEndian;
  bigEndian.bigEndian = true;
  const Bytes jpeg = realJpeg({app1(exifPayload(cameraTiff(bigEndian)))});
  writeBytes(source, jpeg);
  ::chmod(source.c_str(), 0604);
  ov_edit* edit = nullptr;
  ASSERT_EQ(ov_exif_edit_open(source.c_str(), &edit), 0);
  ov_exif_set_artist(edit, "Bob");
  uint8_t* out = nullptr;
  int64_t length = 0;
  EXPECT_EQ(ov_exif_edit_write_buffer(edit, &out, &length), 2);  // opened from a path
  ASSERT_EQ(ov_exif_edit_write(edit, dir.file("copy.jpg").c_str()), 0);
  EXPECT_EQ(readBytes(source), jpeg);  // another destination leaves the source alone
  EXPECT_EQ(tagOf(readBytes(dir.file("copy.jpg")), "Artist"), "Bob");
  ASSERT_EQ(ov_exif_edit_write(edit, ""), 0);
  ASSERT_EQ(ov_exif_edit_write(edit, nullptr), 0);
  EXPECT_EQ(tagOf(readBytes(source), "Artist"), "Bob");
  EXPECT_EQ(permissionsOf(source), 0604u);
  expectExiftoolAccepts(source);
  if (haveExiftool()) {
    EXPECT_EQ(exiftoolTag(source, "Make"), "Canon");
  }

  // A leftover temporary file: status 4, target and leftover untouched.
  const Bytes before = readBytes(source);
  const std::string leftover = source + ".orvel-" + std::to_string(::getpid()) + ".tmp";
  writeBytes(leftover, {'x'});
  EXPECT_EQ(ov_exif_edit_write(edit, nullptr), 4);
  EXPECT_EQ(readBytes(source), before);
  EXPECT_EQ(readBytes(leftover), Bytes{'x'});
  ::unlink(leftover.c_str());
  // A destination below a regular file cannot be created.
  EXPECT_EQ(ov_exif_edit_write(edit, (source + "/x.jpg").c_str()), 4);
  ov_exif_edit_free(edit);

  // A malformed JPEG on disk: status 4 and the file unchanged.
  Bytes broken = jpeg;
  broken[5] = 0xF0;
  writeBytes(dir.file("broken.jpg"), broken);
  ASSERT_EQ(ov_exif_edit_open(dir.file("broken.jpg").c_str(), &edit), 0);
  EXPECT_EQ(ov_exif_edit_write(edit, nullptr), 4);
  EXPECT_EQ(readBytes(dir.file("broken.jpg")), broken);
  ov_exif_edit_free(edit);
  // An unreadable path opens empty and fails to write.
  ASSERT_EQ(ov_exif_edit_open(dir.file("missing.jpg").c_str(), &edit), 0);
  EXPECT_EQ(ov_exif_edit_write(edit, nullptr), 4);
  ov_exif_edit_free(edit);
}

TEST_F(EditApi, TiffFiles) {
  ScratchDir dir;
  TiffBuilder onlyExif;
  onlyExif.ascii(onlyExif.addIfd(), 0x010F, "Cam");
  writeBytes(dir.file("exif.tif"), onlyExif.build());
  TiffBuilder image;
  const int ifd0 = image.addIfd();
  image.longs(ifd0, 273, {8}).longs(ifd0, 279, {1});
  writeBytes(dir.file("image.tif"), image.build());
  ov_edit* edit = nullptr;
  ASSERT_EQ(ov_exif_edit_open(dir.file("image.tif").c_str(), &edit), 0);
  EXPECT_EQ(ov_exif_edit_write(edit, nullptr), 4);
  EXPECT_EQ(readBytes(dir.file("image.tif")), image.build());
  ov_exif_edit_free(edit);
  ASSERT_EQ(ov_exif_edit_open(dir.file("exif.tif").c_str(), &edit), 0);
  ov_exif_set_artist(edit, "Al");
  ASSERT_EQ(ov_exif_edit_write(edit, nullptr), 0);
  const Bytes written = readBytes(dir.file("exif.tif"));
  EXPECT_EQ(written[0], 'I');
  EXPECT_EQ(tagOf(written, "Make"), "Cam");
  EXPECT_EQ(tagOf(written, "Artist"), "Al");
  ov_exif_edit_free(edit);
}

TEST_F(EditApi, StripFilesAndBuffers) {
  ScratchDir dir;
  const Bytes jpeg = realJpeg({app1(exifPayload(cameraTiff())), segmentOf(0xFE, bytesOf("note")),
                               segmentOf(0xE2, bytesOf("ICC_PROFILE"))});
  writeBytes(dir.file("in.jpg"), jpeg);
  ::chmod(dir.file("in.jpg").c_str(), 0640);
  EXPECT_EQ(ov_exif_strip_file(nullptr, "x"), 2);
  EXPECT_EQ(ov_exif_strip_file("x", nullptr), 2);
  ASSERT_EQ(ov_exif_strip_file(dir.file("in.jpg").c_str(), dir.file("out.jpg").c_str()), 0);
  const Bytes stripped = readBytes(dir.file("out.jpg"));
  for (const Segment& s : jpegSegments(stripped)) {
    EXPECT_TRUE(s.marker != 0xE1 && s.marker != 0xED && s.marker != 0xFE);
  }
  EXPECT_EQ(jpegScan(stripped), jpegScan(jpeg));
  EXPECT_EQ(tagOf(stripped, "Make"), "<absent>");
  expectExiftoolAccepts(dir.file("out.jpg"));
  if (haveExiftool()) {
    EXPECT_EQ(exiftoolTag(dir.file("out.jpg"), "Make"), "");
  }
  // In place (destination = source) keeps the bits.
  ASSERT_EQ(ov_exif_strip_file(dir.file("in.jpg").c_str(), dir.file("in.jpg").c_str()), 0);
  EXPECT_EQ(permissionsOf(dir.file("in.jpg")), 0640u);
  EXPECT_EQ(readBytes(dir.file("in.jpg")), stripped);
  // An empty destination fails and leaves no temporary file anywhere.
  const auto listed = listDirectory(".");
  EXPECT_EQ(ov_exif_strip_file(dir.file("in.jpg").c_str(), ""), 4);
  EXPECT_EQ(listDirectory(".").size(), listed.size());
  EXPECT_EQ(ov_exif_strip_file(dir.file("missing").c_str(), dir.file("o").c_str()), 4);

  uint8_t* out = reinterpret_cast<uint8_t*>(0x1);
  int64_t length = 9;
  EXPECT_EQ(ov_exif_strip_buffer(jpeg.data(), 0, &out, &length), 2);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(ov_exif_strip_buffer(nullptr, 4, &out, &length), 2);
  EXPECT_EQ(ov_exif_strip_buffer(jpeg.data(), 4, nullptr, &length), 2);
  const Bytes bmp = {'B', 'M', 0, 0, 0, 0};
  EXPECT_EQ(ov_exif_strip_buffer(bmp.data(), 6, &out, &length), 4);
  ASSERT_EQ(ov_exif_strip_buffer(jpeg.data(), static_cast<int64_t>(jpeg.size()), &out, &length), 0);
  EXPECT_EQ(Bytes(out, out + length), stripped);
  ov_exif_buffer_free(out);
}

}  // namespace
}  // namespace orvel::testing

// A PNG whose EXIF lives only in a raw text profile: the edit finds it, and a write keeps it in
// an eXIf chunk instead, leaving no stale profile behind.
TEST(CApiEdit, RawProfileExifOfAPngIsEditedIntoAnExifChunk) {
  std::ifstream in(std::string(ORVEL_FIXTURES) + "/extra/raw_profiles.png", std::ios::binary);
  const std::vector<uint8_t> png{std::istreambuf_iterator<char>(in), {}};
  ASSERT_FALSE(png.empty());
  ov_edit* edit = nullptr;
  ASSERT_EQ(ov_exif_edit_open_buffer(png.data(), static_cast<int64_t>(png.size()), &edit), 0);
  ASSERT_EQ(ov_exif_edit_set_tag(edit, "Model", "Edited"), 0);
  uint8_t* out = nullptr;
  int64_t outLength = 0;
  ASSERT_EQ(ov_exif_edit_write_buffer(edit, &out, &outLength), 0);
  const std::string written(reinterpret_cast<const char*>(out), static_cast<size_t>(outLength));
  EXPECT_NE(written.find("eXIf"), std::string::npos);
  EXPECT_EQ(written.find("Raw profile type exif"), std::string::npos);
  EXPECT_NE(written.find("Raw profile type iptc"), std::string::npos);
  ov_meta* meta = nullptr;
  ASSERT_EQ(ov_exif_read_buffer(out, outLength, &meta), 0);
  EXPECT_STREQ(ov_exif_get_tag(meta, "Make"), "Maker");
  EXPECT_STREQ(ov_exif_get_tag(meta, "Model"), "Edited");
  ov_exif_meta_free(meta);
  ov_exif_buffer_free(out);
  ov_exif_edit_free(edit);
}
