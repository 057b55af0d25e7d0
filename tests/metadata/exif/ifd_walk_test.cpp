// One directory into named tags: camera composition, Interop, unknown tags and GPS fields.
#include "metadata/exif/ifd_walk.h"

#include <gtest/gtest.h>

#include "metadata/dates.h"
#include "support/builders.h"

using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::exif;
using orvel::testing::Bytes;
using orvel::testing::TiffBuilder;

namespace {

struct Block {
  Bytes bytes;
  bool bigEndian;
};

Ifd directoryAt(const Block& block, uint32_t offset) {
  return readIFD(block.bytes, offset, 0, block.bigEndian);
}

std::string tagOr(const Metadata& meta, std::string_view name, std::string fallback = "<absent>") {
  const std::string* value = meta.tags.find(name);
  return value ? *value : fallback;
}

}  // namespace

TEST(AddIfdTags, CameraIsMakeThenModelAndLaterMakeReplacesIt) {
  for (bool be : {false, true}) {
    TiffBuilder t(be);
    const int a = t.addIfd();
    const int b = t.addIfd();
    const int c = t.addIfd();
    t.ascii(a, 0x0110, "Canon EOS 5D").ascii(a, 0x010F, "Canon");  // stored out of order
    t.ascii(b, 0x0110, "Second");
    t.ascii(c, 0x010F, "Nikon");
    const Block block{t.build(), be};
    Metadata meta;
    addIfdTags(meta, directoryAt(block, t.ifdOffset(a)), block.bytes, 0);
    EXPECT_EQ(meta.camera, "Canon Canon EOS 5D") << be;
    addIfdTags(meta, directoryAt(block, t.ifdOffset(b)), block.bytes, 0);
    EXPECT_EQ(meta.camera, "Canon Canon EOS 5D Second");
    addIfdTags(meta, directoryAt(block, t.ifdOffset(c)), block.bytes, 0);
    EXPECT_EQ(meta.camera, "Nikon");
    EXPECT_EQ(tagOr(meta, "Make"), "Nikon");
    EXPECT_EQ(tagOr(meta, "Model"), "Second");

    Metadata onlyModel;
    addIfdTags(onlyModel, directoryAt(block, t.ifdOffset(b)), block.bytes, 0);
    EXPECT_EQ(onlyModel.camera, "Second");
  }
}

TEST(AddIfdTags, RecordFieldsComeFromTheRawText) {
  TiffBuilder t(true);
  const int ifd = t.addIfd();
  t.shorts(ifd, 0x0112, {8}).ascii(ifd, 0x0131, "GIMP 2.10").longs(ifd, 0x8769, {1234});
  const Block block{t.build(), true};
  Metadata meta;
  addIfdTags(meta, directoryAt(block, 8), block.bytes, 0);
  EXPECT_EQ(meta.orientation, 8);
  EXPECT_EQ(tagOr(meta, "Orientation"), "Rotate 270 CW");
  EXPECT_EQ(meta.software, "GIMP 2.10");
  EXPECT_EQ(tagOr(meta, "ExifOffset"), "1234");  // pointers are listed like other tags

  TiffBuilder bad(false);
  const int other = bad.addIfd();
  bad.ascii(other, 0x0112, "abc");
  const Block badBlock{bad.build(), false};
  addIfdTags(meta, directoryAt(badBlock, 8), badBlock.bytes, 0);
  EXPECT_EQ(tagOr(meta, "Orientation"), "abc");
  EXPECT_EQ(meta.orientation, 8);  // unchanged
}

TEST(AddIfdTags, UnknownTagsKeepTheirNumberAndRawText) {
  TiffBuilder t(false);
  const int ifd = t.addIfd();
  t.longs(ifd, 0x0201, {4096}).bytes(ifd, 0xC4A5, 7, {0x50, 0x72, 0x00, 0x01});
  const Block block{t.build(), false};
  Metadata meta;
  addIfdTags(meta, directoryAt(block, 8), block.bytes, 0);
  EXPECT_EQ(tagOr(meta, "Unknown:0x0201"), "4096");
  EXPECT_EQ(tagOr(meta, "Unknown:0xC4A5"), "50 72 00 01");
  EXPECT_EQ(unknownTagName("GPS:", 0x20), "GPS:Unknown:0x0020");
}

TEST(AddIfdTags, InteropDirectoryListsItsFourEntries) {
  for (bool be : {false, true}) {
    TiffBuilder t(be);
    const int exif = t.addIfd();
    const int interop = t.addIfd();
    t.pointer(exif, 0xA005, interop).shorts(exif, 0xA001, {1});
    t.ascii(interop, 0x0001, " R98 ")
        .bytes(interop, 0x0002, 7, orvel::testing::bytesOf("0100"))
        .longs(interop, 0x1001, {640})
        .shorts(interop, 0x1002, {480})
        .ascii(interop, 0x0003, "ignored");
    const Block block{t.build(), be};
    Metadata meta;
    addIfdTags(meta, directoryAt(block, 8), block.bytes, 0);
    EXPECT_EQ(tagOr(meta, "InteropIndex"), "R98 - DCF basic file (sRGB)");
    EXPECT_EQ(tagOr(meta, "InteropVersion"), "0100");
    EXPECT_EQ(tagOr(meta, "RelatedImageWidth"), "640");
    EXPECT_EQ(tagOr(meta, "RelatedImageHeight"), "480");
    EXPECT_EQ(tagOr(meta, "InteropOffset"), "<absent>");
    EXPECT_EQ(meta.tags.size(), 5u);  // ColorSpace and the four Interop tags
  }
}

TEST(AddIfdTags, InteropPointerOutsideTheDataIsIgnored) {
  TiffBuilder t(false);
  const int exif = t.addIfd();
  const int interop = t.addIfd();
  t.longs(exif, 0xA005, {0xFFFFFFF0}).ascii(exif, 0xA434, "Lens");
  t.ascii(interop, 0x0001, "R98");
  Block block{t.build(), false};
  Metadata meta;
  addIfdTags(meta, directoryAt(block, 8), block.bytes, 0);
  EXPECT_EQ(tagOr(meta, "InteropIndex"), "<absent>");
  EXPECT_EQ(tagOr(meta, "LensModel"), "Lens");
  // Empty Interop version text is not stored.
  TiffBuilder empty(false);
  const int e = empty.addIfd();
  const int i = empty.addIfd();
  empty.pointer(e, 0xA005, i);
  empty.ascii(i, 0x0002, "   ");
  block = {empty.build(), false};
  Metadata second;
  addIfdTags(second, directoryAt(block, 8), block.bytes, 0);
  EXPECT_TRUE(second.tags.empty());
}

TEST(AddGpsTags, ReferencesFirstThenCoordinates) {
  for (bool be : {false, true}) {
    TiffBuilder t(be);
    const int gps = t.addIfd();
    t.rationals(gps, 2, {{41, 1}, {24, 1}, {1217, 100}})
        .ascii(gps, 1, "N")
        .rationals(gps, 4, {{2, 1}, {10, 1}, {265, 10}})
        .ascii(gps, 3, "E")
        .bytes(gps, 5, 1, {1})
        .rationals(gps, 6, {{10, 1}})
        .ascii(gps, 0x20, "extra");
    const Block block{t.build(), be};
    Metadata meta;
    addGpsTags(meta, directoryAt(block, 8));
    auto first = meta.tags.begin();
    EXPECT_EQ(first->first, "GPSLatitudeRef");
    EXPECT_EQ((++first)->first, "GPSLongitudeRef");
    EXPECT_EQ((++first)->first, "GPSAltitudeRef");
    EXPECT_EQ(tagOr(meta, "GPSLatitude"), "41 deg 24' 1217/100\" N");
    EXPECT_EQ(tagOr(meta, "GPSLongitude"), "2 deg 10' 53/2\" E");
    EXPECT_EQ(tagOr(meta, "GPSAltitudeRef"), "Below Sea Level");
    EXPECT_EQ(tagOr(meta, "GPSAltitude"), "10 m Below Sea Level");
    EXPECT_EQ(tagOr(meta, "GPS:Unknown:0x0020"), "extra");
    EXPECT_DOUBLE_EQ(meta.latitude, 41 + 24.0 / 60 + 12.17 / 3600);
    EXPECT_DOUBLE_EQ(meta.longitude, 2 + 10.0 / 60 + 26.5 / 3600);
    EXPECT_DOUBLE_EQ(meta.altitude, 10);  // signs come later
    EXPECT_EQ(meta.latRef, 'N');
    EXPECT_EQ(meta.lonRef, 'E');
  }
}

TEST(AddGpsTags, MissingLongitudeReferenceMeansNoPosition) {
  TiffBuilder t(false);
  const int gps = t.addIfd();
  t.ascii(gps, 1, "S").rationals(gps, 2, {{33, 1}, {52, 1}, {0, 1}});
  t.rationals(gps, 4, {{151, 1}, {12, 1}, {30, 1}});
  const Block block{t.build(), false};
  Metadata meta;
  addGpsTags(meta, directoryAt(block, 8));
  EXPECT_EQ(tagOr(meta, "GPSLongitude"), "151 deg 12' 30\" W");
  EXPECT_EQ(meta.lonRef, 0);
  EXPECT_FALSE(meta.hasGps());
}

TEST(AddGpsTags, EmptyReferenceTextsDefault) {
  TiffBuilder t(false);
  const int gps = t.addIfd();
  t.bytes(gps, 1, 2, {0, 0}).bytes(gps, 3, 2, {0, 0});
  const Block block{t.build(), false};
  Metadata meta;
  addGpsTags(meta, directoryAt(block, 8));
  EXPECT_EQ(meta.latRef, 'N');
  EXPECT_EQ(meta.lonRef, 'E');
  EXPECT_TRUE(meta.hasGps());
}
