// JPEG segment surgery for writing and stripping, and the TIFF image-data check.
#include <gtest/gtest.h>

#include "metadata/edit/edit.h"
#include "metadata/edit/load.h"
#include "metadata/edit/serialize.h"
#include "metadata/edit/write.h"
#include "edit_test_util.h"
#include "metadata/pipeline/read.h"
#include "support/builders.h"
#include "support/exif_samples.h"
#include "support/isobmff_builder.h"

namespace orvel::metadata::edit {

using namespace orvel::container;
using namespace orvel::metadata;

namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::segmentOf;

Bytes xmpPayload() {
  Bytes out = bytesOf("http://ns.adobe.com/xap/1.0/");
  out.push_back(0);
  const Bytes packet = bytesOf("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

Bytes oldExif() {
  testing::TiffBuilder t;
  t.ascii(t.addIfd(), 0x013B, "old artist");
  return testing::exifPayload(t.build());
}

std::vector<uint8_t> markers(const Bytes& jpeg) {
  std::vector<uint8_t> out;
  for (const testing::Segment& s : testing::jpegSegments(jpeg)) out.push_back(s.marker);
  return out;
}

TEST(EmbedExif, ReplacesTheFirstExifSegmentAndKeepsEverythingElse) {
  const Bytes xmp = segmentOf(0xE1, xmpPayload());
  const Bytes jpeg = testing::realJpeg({testing::app1(oldExif()), xmp, testing::app1(oldExif())});
  ExifEdit edit;
  setArtist(edit, "new");
  const Bytes out = writeExifBytes(jpeg, edit);
  ASSERT_FALSE(out.empty());
  const auto segments = testing::jpegSegments(out);
  // SOI, new EXIF (in place of the first), XMP, then the image's own APP0, DQT, ...
  ASSERT_GE(segments.size(), 3u);
  EXPECT_EQ(segments[0].marker, 0xE1);
  EXPECT_EQ(segments[1].bytes, xmp);
  EXPECT_EQ(segments[2].marker, 0xE0);
  const std::vector<uint8_t> found = markers(out);
  EXPECT_EQ(std::count(found.begin(), found.end(), 0xE1), 2);
  EXPECT_EQ(testing::jpegScan(out), testing::jpegScan(jpeg));
  EXPECT_EQ(parseExifBytes(out).ifd0.find(0x013B)->text, "new");
}

TEST(EmbedExif, GoesJustBeforeTheScanWithoutAnOldSegment) {
  const Bytes jpeg = testing::realJpeg();
  const Bytes out = embedExifInJpeg(jpeg, serialize(ExifEdit{}));
  const std::vector<uint8_t> expected = [&] {
    std::vector<uint8_t> m = markers(jpeg);
    m.push_back(0xE1);
    return m;
  }();
  EXPECT_EQ(markers(out), expected);
  EXPECT_EQ(testing::jpegScan(out), testing::jpegScan(jpeg));
}

TEST(EmbedExif, SegmentSizeLimitAndMalformedInput) {
  ExifEdit edit;
  // IFD0 with one UNDEFINED tag: 8 + 18 header and directory, then the value. Blocks are
  // always of even length, so 65526 is the largest that can be embedded.
  ExifValue big;
  big.kind = ttUndefined;
  big.bytes.assign(kLargestJpegBlock - 27, 'a');
  edit.ifd0.set(0x9999, big);
  ASSERT_EQ(static_cast<int64_t>(serialize(edit).size()), kLargestJpegBlock - 1);
  const Bytes jpeg = testing::realJpeg();
  const Bytes fits = writeExifBytes(jpeg, edit);
  ASSERT_FALSE(fits.empty());
  const auto segments = testing::jpegSegments(fits);
  EXPECT_EQ(segments.back().bytes.size(), 65536u);  // length field 65534
  big.bytes.push_back('a');
  edit.ifd0.set(0x9999, big);
  EXPECT_TRUE(writeExifBytes(jpeg, edit).empty());

  Bytes overrun = testing::realJpeg({segmentOf(0xE0, Bytes(4, 0))});
  overrun[5] = 0xF0;  // APP0 now claims to run past the end
  EXPECT_TRUE(writeExifBytes(overrun, ExifEdit{}).empty());
  EXPECT_TRUE(writeExifBytes(Bytes{0xFF, 0xD8, 0x00, 0xE0, 0, 4, 0, 0}, ExifEdit{}).empty());
  EXPECT_TRUE(writeExifBytes(Bytes{0xFF}, ExifEdit{}).empty());
  EXPECT_TRUE(writeExifBytes(Bytes{'B', 'M', 1, 2}, ExifEdit{}).empty());
  // Fewer than four bytes after the last segment: the segment goes first, the rest follows.
  const Bytes tail = embedExifInJpeg(Bytes{0xFF, 0xD8, 0xFF, 0xD9}, serialize(ExifEdit{}));
  EXPECT_EQ(Bytes(tail.end() - 2, tail.end()), (Bytes{0xFF, 0xD9}));
}

TEST(StripJpeg, DropsApp1App13AndCommentsKeepingTheRest) {
  const Bytes icc = segmentOf(0xE2, bytesOf("ICC_PROFILE...."));
  const Bytes adobe = segmentOf(0xEE, bytesOf("Adobe......."));
  const Bytes jpeg = testing::realJpeg({testing::app1(oldExif()), segmentOf(0xE1, xmpPayload()),
                                        segmentOf(0xED, bytesOf("Photoshop 3.0")), icc,
                                        segmentOf(0xFE, bytesOf("comment")), adobe});
  Bytes withTrailer = jpeg;
  withTrailer.insert(withTrailer.end(), {'t', 'r', 'a', 'i', 'l'});
  const Bytes out = stripMetadataBytes(withTrailer);
  ASSERT_FALSE(out.empty());
  for (uint8_t marker : markers(out)) {
    EXPECT_NE(marker, 0xE1);
    EXPECT_NE(marker, 0xED);
    EXPECT_NE(marker, 0xFE);
  }
  const auto segments = testing::jpegSegments(out);
  EXPECT_EQ(segments[0].bytes, icc);
  EXPECT_EQ(segments[1].bytes, adobe);
  EXPECT_EQ(segments[2].marker, 0xE0);
  EXPECT_EQ(testing::jpegScan(out), testing::jpegScan(jpeg));  // the trailer is gone
}

// A privacy strip keeps the primary image and nothing after it: trailers, the secondary images
// of a Multi-Picture file (each with EXIF and GPS of its own) and the index pointing at them,
// and metadata segments between progressive scans. The end of the image is found through the
// entropy-coded data: stuffed bytes, restart markers, fill bytes and tables holding the bytes
// FF D9 do not end it.
TEST(StripJpeg, NothingAfterTheImageSurvives) {
  const Bytes icc = segmentOf(0xE2, bytesOf("ICC_PROFILE\0\1\1...."));
  const Bytes mpf = segmentOf(0xE2, bytesOf(std::string_view("MPF\0MM\0*\0\0\0\x08", 12)));
  const Bytes primary = testing::realJpeg({icc});
  const Bytes withIndex = testing::realJpeg({testing::app1(oldExif()), icc, mpf});
  testing::CameraSampleOptions withGps;
  const Bytes secondary = testing::cameraJpeg(withGps);
  const Bytes trailers = bytesOf("Photoshop 3.0\08BIM<x:xmpmeta>GPS</x:xmpmeta>");
  // Two more scans, with a table, an XMP segment and a comment between them.
  const Bytes table = segmentOf(0xC4, {0x10, 0xFF, 0xD9, 0xFF, 0xD9, 0, 0, 0});
  const Bytes between = testing::concat({segmentOf(0xE1, xmpPayload()), segmentOf(0xFE, bytesOf("c"))});
  const Bytes scan = {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0, 0x12, 0xFF, 0x00, 0x34, 0xFF,
                      0xD3, 0x56, 0xFF, 0xFF};
  // The fill bytes that end a scan belong to the marker after them, and go with it.
  const Bytes scanWithoutFill(scan.begin(), scan.end() - 2);
  const Bytes primaryBody(primary.begin(), primary.end() - 2);  // without its end of image
  const Bytes eoi = {0xFF, 0xD9};
  const Bytes progressive = testing::concat({primaryBody, table, scan, between, scan, eoi});
  const Bytes progressiveKept = testing::concat({primaryBody, table, scanWithoutFill, scan, eoi});
  // Bytes that are no marker right after a dropped segment stay, and the segment still goes;
  // fill bytes before it would make a marker of them.
  const Bytes stray = {0x12, 0x34, 0xFF, 0x00};
  const Bytes strayAfter = testing::concat({primaryBody, table, between, stray, scan, eoi});
  const Bytes strayKept = testing::concat({primaryBody, table, stray, scan, eoi});
  const Bytes fillThenStray = testing::concat({primaryBody, table, scan, between, stray, eoi});
  const Bytes fillThenStrayKept = testing::concat({primaryBody, table, scanWithoutFill, stray, eoi});
  const Bytes cutScan(primary.begin(), primary.end() - 3);
  struct Case {
    const char* name;
    Bytes file;
    Bytes stripped;
  } const cases[] = {
      {"IPTC and XMP trailers", testing::concat({primary, trailers}), primary},
      {"a Multi-Picture file", testing::concat({withIndex, secondary, secondary}), primary},
      {"progressive scans", testing::concat({progressive, secondary}), progressiveKept},
      {"bytes after a dropped segment", strayAfter, strayKept},
      {"fill bytes, a dropped segment, bytes", fillThenStray, fillThenStrayKept},
      {"a scan cut short, without an end", cutScan, cutScan},
      {"an end of image before any scan", testing::concat({Bytes{0xFF, 0xD8}, icc, eoi, trailers}),
       testing::concat({Bytes{0xFF, 0xD8}, icc, eoi})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes out = stripMetadataBytes(c.file);
    EXPECT_EQ(out, c.stripped);
    EXPECT_EQ(stripMetadataBytes(out), out);
    EXPECT_TRUE(pipeline::readMetadataFromBytes(out).tags.empty());
  }
  // Long scans are searched and copied a block at a time: markers, stuffed bytes and fill
  // bytes on every side of a block's edge.
  const std::size_t block = 64 * 1024;
  for (std::size_t length : {block - 3, block - 2, block - 1, block, block + 1, 2 * block - 1}) {
    SCOPED_TRACE(length);
    Bytes entropy(length, 0x5A);
    for (std::size_t at = 97; at + 2 < length; at += 331) entropy[at] = 0xFF, entropy[at + 1] = 0x00;
    entropy[length - 2] = 0xFF;  // fill, then the next marker's 0xFF right at the end
    entropy[length - 1] = 0xFF;
    const Bytes body = testing::concat({primaryBody, Bytes(entropy.begin(), entropy.end() - 1)});
    const Bytes file = testing::concat({body, table, scan, between, scan, eoi, trailers});
    const Bytes expected = testing::concat({body, table, scanWithoutFill, scan, eoi});
    EXPECT_EQ(stripMetadataBytes(file), expected);
    // The ranges a file write takes are the same bytes.
    Bytes fromRanges;
    for (ByteView piece : stripMetadataPieces(file)->pieces()) fromRanges.insert(fromRanges.end(), piece.begin(), piece.end());
    EXPECT_EQ(fromRanges, expected);
  }
}

TEST(StripJpeg, EndingsWithoutAScan) {
  const Bytes app0 = segmentOf(0xE0, Bytes(4, 1));
  const Bytes comment = segmentOf(0xFE, Bytes(3, 2));
  Bytes noEoi = {0xFF, 0xD8};
  noEoi.insert(noEoi.end(), app0.begin(), app0.end());
  noEoi.insert(noEoi.end(), comment.begin(), comment.end());
  Bytes expected = {0xFF, 0xD8};
  expected.insert(expected.end(), app0.begin(), app0.end());
  EXPECT_EQ(stripMetadataBytes(noEoi), expected);
  Bytes stray = noEoi;
  stray.push_back(0x00);
  EXPECT_TRUE(stripMetadataBytes(stray).empty());
  Bytes eoi = noEoi;
  eoi.insert(eoi.end(), {0xFF, 0xD9});
  expected.insert(expected.end(), {0xFF, 0xD9});
  EXPECT_EQ(stripMetadataBytes(eoi), expected);
  EXPECT_TRUE(stripMetadataBytes(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}).empty());  // length 1
  EXPECT_TRUE(stripMetadataBytes(Bytes{'B', 'M', 0, 0}).empty());
  EXPECT_TRUE(stripMetadataBytes(Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}).empty());  // TIFF: never
  EXPECT_TRUE(stripMetadataBytes(Bytes{0xFF}).empty());
}

Bytes tiffChain(int directories, int imageAt, uint16_t imageTag) {
  testing::TiffBuilder t;
  std::vector<int> ifds;
  for (int i = 0; i < directories; ++i) ifds.push_back(t.addIfd());
  for (int i = 0; i < directories; ++i) {
    t.shorts(ifds[i], 0x0100, {1});
    if (i == imageAt) t.longs(ifds[i], imageTag, {8});
    if (i + 1 < directories) t.chain(ifds[i], ifds[i + 1]);
  }
  return t.build();
}

TEST(CarriesImageStrips, FindsImageDataAlongTheChainAndRefusesLongChains) {
  EXPECT_FALSE(carriesImageStrips(tiffChain(3, -1, 0)));
  EXPECT_TRUE(carriesImageStrips(tiffChain(1, 0, 273)));
  EXPECT_TRUE(carriesImageStrips(tiffChain(4, 3, 324)));  // TileOffsets in the fourth
  EXPECT_TRUE(carriesImageStrips(tiffChain(2, 1, 279)));
  EXPECT_TRUE(carriesImageStrips(tiffChain(2, 0, 325)));
  EXPECT_TRUE(carriesImageStrips(tiffChain(2, 0, 0x014A)));  // SubIFDs lead to image data
  EXPECT_FALSE(carriesImageStrips(tiffChain(16, -1, 0)));
  EXPECT_TRUE(carriesImageStrips(tiffChain(17, -1, 0)));  // longer than 16: refused
  EXPECT_TRUE(carriesImageStrips(tiffChain(20, 19, 273)));
  EXPECT_FALSE(carriesImageStrips(Bytes{'I', 'I', 42, 0}));
  // A chain that loops back adds no directories and ends.
  testing::TiffBuilder loop;
  const int a = loop.addIfd();
  loop.shorts(a, 0x0100, {1}).chain(a, a);
  EXPECT_FALSE(carriesImageStrips(loop.build()));
}

TEST(WriteExifBytes, TiffIsReplacedByTheBareBlockUnlessItCarriesImageData) {
  ExifEdit edit;
  setArtist(edit, "me");
  const Bytes onlyExif = tiffChain(2, -1, 0);
  EXPECT_EQ(writeExifBytes(onlyExif, edit), serialize(edit));
  EXPECT_TRUE(writeExifBytes(tiffChain(1, 0, 273), edit).empty());
  // Only a TIFF signature makes a file a TIFF: other files starting "II" or "MM" keep their
  // content (nothing is written).
  for (std::string_view text : {"II is a text file", "MM\0\x2B big TIFF", "MM", "II*"}) {
    EXPECT_TRUE(writeExifBytes(bytesOf(text), edit).empty()) << text;
  }
  EXPECT_EQ(writeExifBytes(Bytes{'M', 'M', 0, 42, 0, 0, 0, 0}, edit), serialize(edit));
}

}  // namespace
}  // namespace orvel::metadata::edit
