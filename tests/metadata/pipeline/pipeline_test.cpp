// The reading pipeline over buffers: container recognition, the JPEG and TIFF walks, dates,
// GPS signs and the TIFF-block helpers used by the thumbnail loader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <iterator>

#include "metadata/dates.h"
#include "metadata/pipeline/locate.h"
#include "metadata/pipeline/read.h"
#include "metadata/pipeline/thumbnail.h"
#include "support/builders.h"
#include "support/exif_samples.h"
#include "support/local_zone.h"

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;
using orvel::testing::Bytes;
using orvel::testing::bytesOf;
using orvel::testing::CameraSampleOptions;
using orvel::testing::JpegBuilder;
using orvel::testing::TiffBuilder;
using namespace std::literals;

namespace {

std::string tagOr(const Metadata& meta, std::string_view name) {
  const std::string* value = meta.tags.find(name);
  return value ? *value : "<absent>";
}

Bytes jpegOf(const Bytes& tiff) { return JpegBuilder().app0Jfif().app1Exif(tiff).finish(); }

using orvel::testing::LocalZone;

constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

}  // namespace

TEST(Containers, SignaturesInOrder) {
  EXPECT_EQ(detectContainer(Bytes{0xFF, 0xD8}), ctJpeg);
  EXPECT_EQ(detectContainer(bytesOf("II*\0"sv)), ctTiff);
  EXPECT_EQ(detectContainer(bytesOf("MM\0*"sv)), ctTiff);
  EXPECT_EQ(detectContainer(bytesOf("MM*\0"sv)), ctUnknown);
  EXPECT_EQ(detectContainer(bytesOf("\0\0\0\x18" "ftypheic"sv)), ctIsobmff);
  EXPECT_EQ(detectContainer(bytesOf("\0\0\0\x08moov"sv)), ctIsobmff);
  EXPECT_EQ(detectContainer(bytesOf("\x89PNG\r\n\x1A\n")), ctPng);
  EXPECT_EQ(detectContainer(bytesOf("\x89PNG\r\n\x1A")), ctUnknown);
  EXPECT_EQ(detectContainer(bytesOf("RIFF\x10\0\0\0WEBP"sv)), ctWebp);
  EXPECT_EQ(detectContainer(bytesOf("RIFF\x10\0\0\0WAVE"sv)), ctUnknown);
  EXPECT_EQ(detectContainer(Bytes{0xFF}), ctUnknown);
}

TEST(FindExifApp1, AfterApp0IsFoundAfterScanIsNot) {
  const Bytes tiff = orvel::testing::cameraTiff();
  const Bytes withApp0 = jpegOf(tiff);
  const ExifBlock found = findExifAPP1(withApp0);
  EXPECT_EQ(found.start, 2 + 18 + 10);  // SOI, APP0 (2 + 16), APP1 header
  EXPECT_EQ(found.length, static_cast<int64_t>(tiff.size()));

  // An APP1 after the start of scan belongs to nothing the walk reads.
  Bytes afterScan = JpegBuilder().app0Jfif().finish();
  afterScan.resize(afterScan.size() - 2);  // drop EOI
  Bytes app1 = {0xFF, 0xE1};
  orvel::testing::appendBE16(app1, static_cast<uint16_t>(tiff.size() + 8));
  const Bytes payload = orvel::testing::exifPayload(tiff);
  app1.insert(app1.end(), payload.begin(), payload.end());
  afterScan.insert(afterScan.end(), app1.begin(), app1.end());
  EXPECT_EQ(findExifAPP1(afterScan).start, 0);
  EXPECT_FALSE(readMetadataFromBytes(afterScan).isValid);

  // An APP1 that is not EXIF (XMP) is skipped; the walk stops at a byte that is no marker.
  const Bytes xmpThenExif = JpegBuilder().segment(0xE1, bytesOf("http://ns.adobe.com/xap/1.0/\0x"sv)).app1Exif(tiff).finish();
  EXPECT_GT(findExifAPP1(xmpThenExif).start, 0);
  Bytes broken = withApp0;
  broken[2] = 0x00;
  EXPECT_EQ(findExifAPP1(broken).start, 0);
  EXPECT_EQ(findExifAPP1(Bytes{0xFF, 0xD8, 0xFF}).start, 0);
}

TEST(ReadBuffer, RealisticJpegInBothByteOrders) {
  LocalZone zone(kCentralEurope);
  for (bool be : {false, true}) {
    CameraSampleOptions options;
    options.bigEndian = be;
    const Metadata meta = readMetadataFromBytes(orvel::testing::cameraJpeg(options));
    EXPECT_TRUE(meta.isValid) << be;
    EXPECT_EQ(meta.camera, "Canon Canon EOS 5D Mark IV");
    EXPECT_EQ(meta.software, "Firmware Version 1.1.2");
    EXPECT_EQ(meta.orientation, 1);
    EXPECT_EQ(tagOr(meta, "ExposureTime"), "1/250");
    EXPECT_EQ(tagOr(meta, "FNumber"), "f/2.8");
    EXPECT_EQ(tagOr(meta, "ExposureProgram"), "Aperture-priority AE");
    EXPECT_EQ(tagOr(meta, "ISO"), "400");
    EXPECT_EQ(tagOr(meta, "ExifVersion"), "0231");
    EXPECT_EQ(tagOr(meta, "ComponentsConfiguration"), "01 02 03 00");
    EXPECT_EQ(tagOr(meta, "ShutterSpeedValue"), "1/256");
    EXPECT_EQ(tagOr(meta, "ApertureValue"), "f/2.83");
    EXPECT_EQ(tagOr(meta, "ExposureCompensation"), "-0.33");
    EXPECT_EQ(tagOr(meta, "Flash"), "Off, Did not fire");
    EXPECT_EQ(tagOr(meta, "FocalLength"), "50 mm");
    EXPECT_EQ(tagOr(meta, "ColorSpace"), "sRGB");
    EXPECT_EQ(tagOr(meta, "LensInfo"), "24 105 0 0");
    EXPECT_EQ(tagOr(meta, "InteropIndex"), "R98 - DCF basic file (sRGB)");
    EXPECT_EQ(tagOr(meta, "GPSVersionID"), "02 03 00 00");
    EXPECT_EQ(tagOr(meta, "GPSAltitude"), "120.5 m Above Sea Level");
    EXPECT_EQ(tagOr(meta, "GPSTimeStamp"), "7 30 0");
    // IFD0 describes the image: IFD1's resolution does not replace its own; the thumbnail's
    // tags IFD0 lacks are added, unnamed.
    EXPECT_EQ(tagOr(meta, "XResolution"), "72");
    EXPECT_EQ(tagOr(meta, "Compression"), "6");
    EXPECT_NE(tagOr(meta, "Unknown:0x0201"), "<absent>");
    EXPECT_TRUE(meta.hasGps());
    EXPECT_NEAR(meta.latitude, 41.40338, 1e-5);
    EXPECT_NEAR(meta.longitude, 2.174028, 1e-5);
    EXPECT_DOUBLE_EQ(meta.altitude, 120.5);
    EXPECT_EQ(meta.dateTaken.year, 2023);
    EXPECT_EQ(meta.dateTaken.utcOffsetSeconds, 7200);
    EXPECT_EQ(meta.dateTaken.unixSeconds, 1689319800);  // 2023-07-14 07:30:00 UTC
  }
}

TEST(ReadBuffer, TiffFileInBothByteOrders) {
  for (bool be : {false, true}) {
    const Metadata meta = readMetadataFromBytes(orvel::testing::cameraTiff({be, true, true, {}}));
    EXPECT_TRUE(meta.isValid);
    EXPECT_EQ(meta.camera, "Canon Canon EOS 5D Mark IV");
    EXPECT_EQ(tagOr(meta, "XResolution"), "72");
    EXPECT_TRUE(meta.hasGps());
  }
}

TEST(ReadBuffer, JpegChainLoopReadsEachDirectoryOnce) {
  TiffBuilder t(false);
  const int ifd0 = t.addIfd();
  const int ifd1 = t.addIfd();
  t.ascii(ifd0, 0x0110, "A").shorts(ifd0, 0xC000, {0});
  t.ascii(ifd1, 0x0110, "B").shorts(ifd1, 0xC001, {1});
  t.chain(ifd0, ifd1).chain(ifd1, ifd0);  // IFD1 leads back to IFD0
  const Metadata meta = readMetadataFromBytes(jpegOf(t.build()));
  EXPECT_EQ(meta.camera, "A");
  EXPECT_EQ(tagOr(meta, "Model"), "A");
  EXPECT_EQ(tagOr(meta, "Unknown:0xC001"), "1");
  // Both directories once, in chain order.
  ASSERT_EQ(meta.tags.size(), 3u);
  EXPECT_EQ(std::next(meta.tags.begin(), 2)->first, "Unknown:0xC001");
}

TEST(ReadBuffer, JpegChainStopsAtOffsetsBeyondTheSegment) {
  TiffBuilder t(true);
  const int ifd0 = t.addIfd();
  t.ascii(ifd0, 0x010F, "Make").nextOffset(ifd0, 0x7FFFFFF0);
  const Bytes tiff = t.build();
  const Metadata meta = readMetadataFromBytes(jpegOf(tiff));
  EXPECT_EQ(meta.camera, "Make");
  // The IFD0 offset itself lying beyond the segment gives nothing.
  Bytes shifted = tiff;
  shifted[6] = 0x10;  // big-endian IFD0 offset 0x10F0, past the block
  shifted[7] = 0xF0;
  EXPECT_FALSE(readMetadataFromBytes(jpegOf(shifted)).isValid);
}

TEST(ReadBuffer, TiffSelfLoopAndSubIfdOrder) {
  for (bool be : {false, true}) {
    TiffBuilder t(be);
    const int ifd0 = t.addIfd();
    const int sub1 = t.addIfd();
    const int sub2 = t.addIfd();
    const int ifd1 = t.addIfd();
    t.ascii(ifd0, 0x0110, "ifd0").pointers(ifd0, 0x014A, {sub1, sub2});
    t.ascii(sub1, 0x0110, "sub1").ascii(sub1, 0x0131, "sub1").ascii(sub1, 0x013B, "sub1");
    t.ascii(sub2, 0x0110, "sub2").ascii(sub2, 0x0131, "sub2");
    t.ascii(ifd1, 0x0110, "ifd1").ascii(ifd1, 0x0131, "ifd1").ascii(ifd1, 0x013B, "ifd1");
    t.ascii(ifd1, 0x8298, "ifd1").chain(ifd0, ifd1).chain(ifd1, ifd0);
    const Metadata meta = readMetadataFromBytes(t.build());
    // Last SubIFD first, then the first, then the chain's next directory; IFD0 once. Each
    // name keeps the value of the first directory read that has it.
    EXPECT_EQ(meta.camera, "ifd0") << be;
    EXPECT_EQ(tagOr(meta, "Software"), "sub2");
    EXPECT_EQ(meta.software, "");  // the record's fields come from IFD0 alone
    EXPECT_EQ(tagOr(meta, "Artist"), "sub1");
    EXPECT_EQ(tagOr(meta, "Copyright"), "ifd1");
  }
  TiffBuilder self(false);
  const int only = self.addIfd();
  self.ascii(only, 0x0110, "x").chain(only, only);
  EXPECT_EQ(readMetadataFromBytes(self.build()).camera, "x");
}

// What IFD0 and the directories it points at say holds: a later directory of the chain (IFD1,
// the thumbnail's) or a SubIFD only adds names not yet present, and never sets the camera,
// software, orientation, date or GPS position.
TEST(ReadBuffer, LaterDirectoriesOnlyAddWhatIfd0Lacks) {
  using Fill = void (*)(TiffBuilder&, int ifd0, int exif, int ifd1);
  const struct {
    Fill fill;
    const char* tag;
    const char* value;
    int64_t orientation;
  } rows[] = {
      {[](TiffBuilder& t, int i0, int, int i1) {  // a Kodak's resolution
         t.rationals(i0, 0x011A, {{230, 1}}).rationals(i1, 0x011A, {{72, 1}});
       }, "XResolution", "230", 0},
      {[](TiffBuilder& t, int i0, int, int i1) { t.shorts(i0, 0x0112, {6}).shorts(i1, 0x0112, {1}); },
       "Orientation", "Rotate 90 CW", 6},
      {[](TiffBuilder& t, int, int, int i1) { t.shorts(i1, 0x0112, {3}); }, "Orientation", "Rotate 180", 0},
      {[](TiffBuilder& t, int, int ex, int i1) {
         t.ascii(ex, 0x9003, "2020:01:02 03:04:05").ascii(i1, 0x9003, "1999:01:01 00:00:00");
       }, "DateTimeOriginal", "2020:01:02 03:04:05", 0},
      {[](TiffBuilder& t, int, int, int i1) { t.longs(i1, 0x0201, {4000}); }, "Unknown:0x0201", "4000", 0},
      {[](TiffBuilder& t, int i0, int, int i1) {  // a position in IFD0's GPS directory and IFD1's
         const int mine = t.addIfd();
         const int theirs = t.addIfd();
         t.pointer(i0, 0x8825, mine).pointer(i1, 0x8825, theirs);
         t.ascii(mine, 1, "N").rationals(mine, 2, {{10, 1}}).ascii(mine, 3, "E").rationals(mine, 4, {{20, 1}});
         t.ascii(theirs, 1, "S").rationals(theirs, 2, {{50, 1}}).ascii(theirs, 3, "W").rationals(theirs, 4, {{60, 1}});
       }, "GPSLatitudeRef", "N", 0},
  };
  for (bool jpeg : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.tag) + (jpeg ? " in a JPEG" : " in a TIFF"));
      TiffBuilder t(jpeg);
      const int ifd0 = t.addIfd();
      const int exif = t.addIfd();
      const int ifd1 = t.addIfd();
      t.ascii(ifd0, 0x010F, "Kodak").pointer(ifd0, 0x8769, exif).chain(ifd0, ifd1);
      t.ascii(exif, 0x9000, "0230");
      t.ascii(ifd1, 0x010F, "Thumbnail maker").ascii(ifd1, 0x0131, "thumbnailer");
      row.fill(t, ifd0, exif, ifd1);
      const Metadata meta = readMetadataFromBytes(jpeg ? jpegOf(t.build()) : t.build());
      EXPECT_EQ(tagOr(meta, row.tag), row.value);
      EXPECT_EQ(meta.orientation, row.orientation);
      EXPECT_EQ(meta.camera, "Kodak");
      EXPECT_EQ(tagOr(meta, "Software"), "thumbnailer");  // a name IFD0 lacks is added
      EXPECT_EQ(meta.software, "");
      EXPECT_EQ(meta.dateTaken.year, row.tag[0] == 'D' ? 2020 : 1899);
      EXPECT_EQ(meta.latitude, row.tag[0] == 'G' ? 10 : 0);
    }
  }
}

TEST(ReadBuffer, GpsSignsAndAltitudeBelowSeaLevel) {
  TiffBuilder t(true);
  const int ifd0 = t.addIfd();
  const int gps = t.addIfd();
  t.pointer(ifd0, 0x8825, gps);
  t.ascii(gps, 1, "S").rationals(gps, 2, {{33, 1}, {52, 1}, {0, 1}});
  t.ascii(gps, 3, "W").rationals(gps, 4, {{151, 1}, {12, 1}, {30, 1}});
  t.bytes(gps, 5, 1, {1}).rationals(gps, 6, {{10, 1}});
  const Metadata meta = readMetadataFromBytes(jpegOf(t.build()));
  EXPECT_NEAR(meta.latitude, -33.866666, 1e-6);
  EXPECT_NEAR(meta.longitude, -151.208333, 1e-6);
  EXPECT_DOUBLE_EQ(meta.altitude, -10);
  EXPECT_EQ(tagOr(meta, "GPSAltitude"), "10 m Below Sea Level");
  EXPECT_TRUE(meta.hasGps());
}

// Coordinates written as text parse however the text says, "inf" and "nan" included: a
// position that is not a place on Earth is no position, though its tags are listed.
TEST(ReadBuffer, ImpossibleGpsPositionsAreNoPosition) {
  struct GpsRow {
    const char* latitude;
    const char* longitude;
    const char* altitude;
    bool kept;
  };
  const GpsRow rows[] = {
      {"41 24 12.17", "2 10 26.5", "120", true},
      {"90", "180", "0", true},
      {"inf", "2", "0", false},
      {"41", "nan", "0", false},
      {"41", "2", "-inf", false},
      {"-95", "2", "0", false},
      {"90 0 0.1", "2", "0", false},
      {"41", "180 0.5 0", "0", false},
  };
  for (const GpsRow& row : rows) {
    SCOPED_TRACE(std::string(row.latitude) + " / " + row.longitude + " / " + row.altitude);
    TiffBuilder t(false);
    const int ifd0 = t.addIfd();
    const int gps = t.addIfd();
    t.pointer(ifd0, 0x8825, gps);
    t.ascii(gps, 1, "N").ascii(gps, 2, row.latitude).ascii(gps, 3, "E").ascii(gps, 4, row.longitude);
    t.ascii(gps, 6, row.altitude);
    const Metadata meta = readMetadataFromBytes(jpegOf(t.build()));
    EXPECT_EQ(meta.hasGps(), row.kept);
    EXPECT_NE(tagOr(meta, "GPSLatitude"), "<absent>");
  }
}

TEST(ReadBuffer, GpsWithoutLongitudeReferenceListsTagsButNoPosition) {
  TiffBuilder t(false);
  const int ifd0 = t.addIfd();
  const int gps = t.addIfd();
  t.pointer(ifd0, 0x8825, gps);
  t.ascii(gps, 1, "N").rationals(gps, 2, {{10, 1}, {0, 1}, {0, 1}});
  t.rationals(gps, 4, {{20, 1}, {0, 1}, {0, 1}});
  const Metadata meta = readMetadataFromBytes(jpegOf(t.build()));
  EXPECT_EQ(tagOr(meta, "GPSLongitude"), "20 deg 0' 0\" W");
  EXPECT_FALSE(meta.hasGps());
  EXPECT_DOUBLE_EQ(meta.longitude, 20);  // no reference, no sign
}

TEST(ReadBuffer, DateRules) {
  LocalZone zone(kCentralEurope);
  auto dateOf = [](std::vector<std::pair<uint16_t, std::string>> dates) {
    TiffBuilder t(false);
    const int ifd0 = t.addIfd();
    const int exif = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    for (auto& [tag, text] : dates) t.ascii(exif, tag, text);
    return readMetadataFromBytes(jpegOf(t.build())).dateTaken;
  };
  const DateTime original = dateOf({{0x9003, "2023:07:14 09:30:00"}, {0x9004, "2020:01:01 00:00:00"}});
  EXPECT_EQ(original.unixSeconds, 1689319800);
  const DateTime created = dateOf({{0x9004, "2020:01:01 10:00:00"}});
  EXPECT_EQ(created.unixSeconds, 1577869200);  // 09:00 UTC in winter time
  EXPECT_EQ(created.utcOffsetSeconds, 3600);
  // A DateTimeOriginal that does not parse does not fall back to CreateDate.
  EXPECT_EQ(dateOf({{0x9003, "2023:07:14 09:30:00+02:00"}, {0x9004, "2020:01:01 00:00:00"}}).year, 1899);
  EXPECT_EQ(dateOf({{0x9003, "0000:00:00 00:00:00"}}).year, 1899);
  // ModifyDate in IFD0 is not a capture date.
  TiffBuilder t(false);
  const int ifd0 = t.addIfd();
  t.ascii(ifd0, 0x0132, "2023:07:14 09:30:00");
  EXPECT_EQ(readMetadataFromBytes(jpegOf(t.build())).dateTaken.year, 1899);
}

TEST(ReadBuffer, MalformedInputsGiveWhatWasFound) {
  EXPECT_FALSE(readMetadataFromBytes({}).isValid);
  EXPECT_FALSE(readMetadataFromBytes(Bytes{0xFF}).isValid);
  EXPECT_FALSE(readMetadataFromBytes(bytesOf("plain text, no container")).isValid);
  EXPECT_EQ(readMetadataFromBytes(Bytes{}).dateTaken.year, 1899);
  // A TIFF header alone, or one whose IFD0 lies outside.
  EXPECT_FALSE(readMetadataFromBytes(bytesOf("II*\0\x08\0\0\0"sv)).isValid);
  EXPECT_FALSE(readMetadataFromBytes(bytesOf("MM\0*\xFF\xFF\xFF\xFF"sv)).isValid);
  // Every truncation of a realistic JPEG and TIFF reads without failing, and the full record
  // is only reached at the full length.
  for (const Bytes& whole : {orvel::testing::cameraJpeg(), orvel::testing::cameraTiff({true, true, true, {}})}) {
    const std::size_t fullTags = readMetadataFromBytes(whole).tags.size();
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const Metadata meta = readMetadataFromBytes(ByteView(whole).first(n));
      EXPECT_LE(meta.tags.size(), fullTags + 1);  // a cut entry can add an unknown tag
    }
  }
  // Exif and GPS pointers without room for an offset are not followed.
  TiffBuilder t(false);
  const int ifd0 = t.addIfd();
  t.shorts(ifd0, 0x8769, {8}).shorts(ifd0, 0x8825, {8});
  const Metadata meta = readMetadataFromBytes(t.build());
  EXPECT_EQ(meta.tags.size(), 2u);
  EXPECT_FALSE(meta.hasGps());
}

TEST(ParseTiffAt, ReadsIfd0ExifAndGpsButNotTheChain) {
  LocalZone zone(kCentralEurope);
  Bytes container = bytesOf("some container bytes");
  const std::size_t at = container.size();
  const Bytes tiff = orvel::testing::cameraTiff({true, true, true, {}});
  container.insert(container.end(), tiff.begin(), tiff.end());
  Metadata meta = defaultMetadata();
  parseTiffAt(meta, container, static_cast<int64_t>(at));
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tagOr(meta, "XResolution"), "72");  // IFD1 not read
  EXPECT_EQ(tagOr(meta, "Compression"), "<absent>");
  EXPECT_EQ(tagOr(meta, "FNumber"), "f/2.8");
  EXPECT_EQ(meta.latRef, 'N');
  EXPECT_EQ(meta.dateTaken.unixSeconds, 1689319800);

  Metadata untouched = defaultMetadata();
  parseTiffAt(untouched, container, 0);
  parseTiffAt(untouched, container, static_cast<int64_t>(container.size()));
  parseTiffAt(untouched, container, -5);
  EXPECT_TRUE(untouched.tags.empty());
}

TEST(Thumbnail, TiffBaseAndEmbeddedJpeg) {
  const Bytes jpeg = orvel::testing::cameraJpeg();
  const int64_t base = exifTiffBase(jpeg);
  EXPECT_EQ(base, 30);
  EXPECT_EQ(extractExifThumbnailAt(jpeg, base), orvel::testing::thumbnailBytes());
  const Bytes tiff = orvel::testing::cameraTiff({true, true, true, {}});
  EXPECT_EQ(exifTiffBase(tiff), 0);
  EXPECT_EQ(extractExifThumbnailAt(tiff, 0), orvel::testing::thumbnailBytes());
  EXPECT_EQ(exifTiffBase(bytesOf("nothing here")), -1);
  EXPECT_EQ(exifTiffBase(JpegBuilder().finish()), -1);
  EXPECT_TRUE(extractExifThumbnailAt(tiff, -1).empty());
  EXPECT_TRUE(extractExifThumbnailAt(tiff, static_cast<int64_t>(tiff.size()) - 7).empty());
  // The thumbnail cut short by the end of the data.
  const Bytes cut(tiff.begin(), tiff.end() - 1);
  EXPECT_TRUE(extractExifThumbnailAt(cut, 0).empty());
  // No IFD1 at all.
  EXPECT_TRUE(extractExifThumbnailAt(orvel::testing::cameraTiff({false, true, false, {}}), 0).empty());
}

TEST(Thumbnail, Ifd1WithoutLengthGivesNothing) {
  TiffBuilder t(false);
  const int ifd0 = t.addIfd();
  const int ifd1 = t.addIfd();
  t.ascii(ifd0, 0x010F, "x").chain(ifd0, ifd1);
  t.longs(ifd1, 0x0201, {8});
  const Bytes jpeg = jpegOf(t.build());
  EXPECT_TRUE(extractExifThumbnailAt(jpeg, exifTiffBase(jpeg)).empty());
  TiffBuilder zero(false);
  const int a = zero.addIfd();
  const int b = zero.addIfd();
  zero.ascii(a, 0x010F, "x").chain(a, b);
  zero.longs(b, 0x0201, {8}).longs(b, 0x0202, {0});
  EXPECT_TRUE(extractExifThumbnailAt(zero.build(), 0).empty());
}
