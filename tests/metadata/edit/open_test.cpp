// Opening the EXIF block of each container into an editable record.
#include <gtest/gtest.h>

#include "container/isobmff.h"
#include "edit_test_util.h"
#include "metadata/edit/load.h"
#include "metadata/edit/rebuild.h"
#include "metadata/movie/movie.h"
#include "metadata/pipeline/locate.h"
#include "support/builders.h"
#include "support/chunk_builder.h"
#include "support/exif_samples.h"
#include "support/isobmff_builder.h"

namespace orvel::metadata::edit {

using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::movie;
using namespace orvel::metadata::pipeline;

namespace {

using testing::Bytes;

testing::HeifItemLayout itemSpec(uint32_t id, std::string type, Bytes data) {
  testing::HeifItemLayout layout;
  layout.id = id;
  layout.type = std::move(type);
  layout.data = std::move(data);
  return layout;
}

Bytes smallTiff(bool bigEndian) {
  testing::TiffBuilder t(bigEndian);
  const int ifd0 = t.addIfd();
  const int exif = t.addIfd();
  const int gps = t.addIfd();
  t.ascii(ifd0, 0x010F, "Canon").shorts(ifd0, 0x0112, {8}).pointer(ifd0, 0x8769, exif);
  t.pointer(ifd0, 0x8825, gps);
  t.rationals(exif, 0x829A, {{1, 250}}).sshorts(exif, 0x9999, {-5, 7});
  t.ascii(gps, 0x0001, "N");
  return t.build();
}

void expectSmallTiff(const ExifEdit& edit) {
  ASSERT_NE(edit.ifd0.find(0x010F), nullptr);
  EXPECT_EQ(edit.ifd0.find(0x010F)->text, "Canon");
  EXPECT_EQ(edit.ifd0.find(0x0112)->ints, (std::vector<int64_t>{8}));
  EXPECT_EQ(edit.ifd0.find(0x0112)->count, 1u);
  EXPECT_EQ(edit.exif.find(0x829A)->rationals, (std::vector<std::pair<int64_t, int64_t>>{{1, 250}}));
  EXPECT_EQ(edit.exif.find(0x9999)->ints, (std::vector<int64_t>{-5, 7}));
  EXPECT_EQ(edit.gps.find(0x0001)->text, "N");
  EXPECT_EQ(edit.ifd0.find(0x8769), nullptr);
  EXPECT_EQ(edit.ifd0.find(0x8825), nullptr);
}

TEST(OpenEdit, ReadsEveryContainerInBothByteOrders) {
  for (bool bigEndian : {false, true}) {
    const Bytes tiff = smallTiff(bigEndian);
    const ExifEdit fromTiff = parseExifBytes(tiff);
    EXPECT_EQ(fromTiff.bigEndian, bigEndian);
    expectSmallTiff(fromTiff);
    expectSmallTiff(parseExifBytes(testing::JpegBuilder().app0Jfif().app1Exif(tiff).finish()));
    expectSmallTiff(parseExifBytes(testing::pngFile(
        {testing::pngIhdr(), testing::pngChunk("eXIf", tiff), testing::pngIdat(), testing::pngIend()})));
    expectSmallTiff(parseExifBytes(testing::webpFile(
        {testing::vp8xChunk(0x08), testing::vp8lChunk(), testing::riffChunk("EXIF", tiff)})));
    testing::HeifBuilder heif;
    heif.item(itemSpec(1, "Exif", testing::exifItemPayload(tiff)));
    expectSmallTiff(parseExifBytes(heif.build()));
  }
}

TEST(OpenEdit, InputWithoutABlockOpensEmpty) {
  const std::vector<Bytes> inputs = {
      {},
      {0xFF, 0xD8, 0xFF},
      testing::JpegBuilder().app0Jfif().finish(),
      {'B', 'M', 0, 0, 0, 0, 0, 0},
      {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0},        // IFD0 beyond the data
      {'I', 'I', 42, 0, 8, 0, 0, 0, 1},           // IFD0 without room for its count
  };
  for (const Bytes& input : inputs) {
    const ExifEdit edit = parseExifBytes(input);
    EXPECT_TRUE(edit.ifd0.empty() && edit.exif.empty() && edit.gps.empty());
  }
}

TEST(OpenEdit, LeavesOutPointersWhoseTargetsAreNotCarried) {
  // The camera sample has an Interop directory, a thumbnail directory and an IFD0 strip.
  testing::TiffBuilder t;
  const int ifd0 = t.addIfd();
  const int exif = t.addIfd();
  const int interop = t.addIfd();
  const int sub = t.addIfd();
  t.ascii(ifd0, 0x010F, "X").pointer(ifd0, 0x8769, exif).pointers(ifd0, 0x014A, {sub});
  t.longs(ifd0, 0x0201, {100}).longs(ifd0, 0x0202, {10}).longs(ifd0, 0x0111, {8});
  t.longs(ifd0, 0x0117, {4});
  t.pointer(exif, 0xA005, interop).ascii(exif, 0x9003, "2020:01:01 00:00:00");
  t.ascii(interop, 0x0001, "R98");
  t.shorts(sub, 0x0100, {1});
  // A value whose offset lies past the end cannot be carried either.
  t.rawOffset(exif, 0x9286, 7, 40, 0xFFFFFF00);
  const ExifEdit edit = parseExifBytes(t.build());
  EXPECT_EQ(edit.ifd0.size(), 1u);
  EXPECT_NE(edit.ifd0.find(0x010F), nullptr);
  EXPECT_EQ(edit.exif.size(), 1u);
  EXPECT_NE(edit.exif.find(0x9003), nullptr);

  const ExifEdit camera = parseExifBytes(testing::cameraJpeg());
  EXPECT_EQ(camera.exif.find(0xA005), nullptr);
  EXPECT_NE(camera.ifd0.find(0x010F), nullptr);
  EXPECT_FALSE(camera.gps.empty());
}

TEST(OpenEdit, FindsAnIsobmffExifItemBeyondTheFirstSixteenMebibytes) {
  const Bytes tiff = smallTiff(true);
  testing::HeifBuilder heif;
  heif.item(itemSpec(1, "hvc1", Bytes(17 << 20, 0x55)));
  heif.item(itemSpec(2, "Exif", testing::exifItemPayload(tiff, {'E', 'x', 'i', 'f', 0, 0})));
  const Bytes file = heif.build();
  ASSERT_GT(heif.dataOffset(2), int64_t{16} << 20);
  testing::ScratchDir dir;
  const std::string path = dir.file("large.heic");
  testing::writeBytes(path, file);
  expectSmallTiff(parseExif(path));
  // The prefix alone holds no block.
  const Bytes prefix(file.begin(), file.begin() + (16 << 20));
  EXPECT_TRUE(parseExifBytes(prefix).ifd0.empty());
}

TEST(OpenEdit, UnreadablePathsOpenEmpty) {
  testing::ScratchDir dir;
  testing::writeBytes(dir.file("empty"), {});
  EXPECT_TRUE(parseExif(dir.file("missing")).ifd0.empty());
  EXPECT_TRUE(parseExif(dir.file("empty")).ifd0.empty());
  EXPECT_TRUE(parseExif(dir.path()).ifd0.empty());
}

}  // namespace
}  // namespace orvel::metadata::edit
