// Every reader and writer of JPEG segments walks them the same way: a file whose segments end
// early (an end-of-image marker before the scan, a length that cannot count itself, a byte
// that is no marker) hides whatever follows from all of them alike.
#include <gtest/gtest.h>

#include "edit_test_util.h"
#include "metadata/edit/edit.h"
#include "metadata/edit/write.h"
#include "metadata/iptc/iptc.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"
#include "support/isobmff_builder.h"
#include "support/packet_builders.h"

namespace orvel::metadata::edit {
namespace {

using testing::Bytes;

// EXIF, XMP and IPTC segments, then the scan.
Bytes metadataSegments() {
  testing::TiffBuilder tiff;
  tiff.ascii(tiff.addIfd(), 0x013B, "artist");
  Bytes out = testing::app1(testing::exifPayload(tiff.build()));
  const Bytes xmp = testing::segmentOf(
      0xE1,
      testing::xmpApp1Payload(testing::xmpPacket("<rdf:Description dc:format='image/jpeg'/>")));
  const Bytes iptc = testing::segmentOf(0xED, testing::app13Payload({testing::photoshopResource(
                                                  0x0404, "", testing::iptcDataset(2, 5, "T"))}));
  out.insert(out.end(), xmp.begin(), xmp.end());
  out.insert(out.end(), iptc.begin(), iptc.end());
  return out;
}

Bytes jpegWith(const Bytes& before) {
  const Bytes start = {0xFF, 0xD8};
  const Bytes scan = {0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9};
  return testing::concat({start, before, metadataSegments(), scan});
}

TEST(SegmentRules, ReadersSeeTheSameSegments) {
  const struct {
    const char* name;
    Bytes before;
    bool visible;
  } cases[] = {
      {"clean", {0xFF, 0xE0, 0x00, 0x04, 'J', 'F'}, true},
      {"end of image first", {0xFF, 0xD9}, false},
      {"length 0", {0xFF, 0xE0, 0x00, 0x00}, false},
      {"length 1", {0xFF, 0xE0, 0x00, 0x01, 0xFF}, false},
      {"no marker", {0x00, 0xE0, 0x00, 0x04, 'J', 'F'}, false},
  };
  for (const auto& c : cases) {
    const Bytes jpeg = jpegWith(c.before);
    EXPECT_EQ(pipeline::findExifAPP1(jpeg).start > 0, c.visible) << c.name;
    EXPECT_EQ(xmp::findXmpApp1(jpeg).length > 0, c.visible) << c.name;
    EXPECT_EQ(iptc::findApp13Iptc(jpeg).offset >= 0, c.visible) << c.name;
    // A file read from its head is grown only as far as the same walk reaches.
    const int64_t walked = pipeline::jpegSegmentsEnd(jpeg);
    EXPECT_EQ(walked > static_cast<int64_t>(c.before.size()) + 6, c.visible) << c.name;
  }
}

TEST(SegmentRules, WritersStopAtAnEndOfImageBeforeTheScan) {
  // Tables only, then an end-of-image marker and trailing bytes: the new EXIF goes before the
  // marker, and a write keeps the marker with everything after it as it was.
  const Bytes start = {0xFF, 0xD8};
  const Bytes tables = testing::segmentOf(0xDB, Bytes(65, 1));
  const Bytes tail = {0xFF, 0xD9, 0xAB, 0xCD, 0xEF};
  const Bytes jpeg = testing::concat({start, tables, tail});
  ExifEdit edit;
  setArtist(edit, "new");
  const Bytes written = writeExifBytes(jpeg, edit);
  ASSERT_FALSE(written.empty());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(),
                         written.end() - static_cast<std::ptrdiff_t>(tail.size())));
  EXPECT_EQ(pipeline::findExifAPP1(written).start, 2 + 10 + static_cast<int64_t>(tables.size()));
  // Stripping keeps the end of image and nothing after it.
  EXPECT_EQ(stripMetadataBytes(written), testing::concat({start, tables, Bytes{0xFF, 0xD9}}));
}

}  // namespace
}  // namespace orvel::metadata::edit
