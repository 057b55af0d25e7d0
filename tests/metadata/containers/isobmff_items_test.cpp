// HEIF items: the small readers, item records, the Exif locators, writing and stripping.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/text.h"
#include "container/isobmff.h"
#include "container/tiff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/movie/movie.h"
#include "metadata/pipeline/locate.h"
#include "support/builders.h"
#include "support/isobmff_builder.h"

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::movie;
using namespace orvel::metadata::pipeline;
using namespace orvel::metadata::edit;
using namespace orvel::testing;
using namespace std::literals;

namespace {

Bytes sampleTiff(std::string_view make = "Canon") {
  TiffBuilder tiff(true);
  const int ifd0 = tiff.addIfd();
  tiff.ascii(ifd0, 0x010F, make);
  return tiff.build();
}

std::string makeAt(ByteView file, int64_t tiff) {
  const bool bigEndian = file[static_cast<size_t>(tiff)] != 'I';
  const Ifd ifd = readIFD(file, tiff + readUint32(file, tiff + 4, bigEndian), tiff, bigEndian);
  const auto it = ifd.tags.find(0x010F);
  return it == ifd.tags.end() ? std::string() : toString(it->second);
}

HeifItemLayout exifItem(uint32_t id, const Bytes& payload) {
  HeifItemLayout entry;
  entry.id = id;
  entry.type = "Exif";
  entry.data = payload;
  return entry;
}

HeifItemLayout xmpItem(uint32_t id, size_t length) {
  HeifItemLayout entry;
  entry.id = id;
  entry.type = "mime";
  entry.contentType = "application/rdf+xml";
  entry.data = Bytes(length, 'x');
  return entry;
}

HeifItemLayout pictureItem(uint32_t id) {
  HeifItemLayout entry;
  entry.id = id;
  entry.type = "hvc1";
  entry.data = Bytes(32, 0xAB);
  return entry;
}

}  // namespace

TEST(IsobmffReaders, CString) {
  const Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 'a', 'b', 0, 'c'};
  CString s = readCString(b, 9, 13);
  EXPECT_EQ(s.text, "ab");
  EXPECT_EQ(s.next, 12);
  s = readCString(b, 12, 13);  // no NUL before the end
  EXPECT_EQ(s.text, "c");
  EXPECT_EQ(s.next, 13);
  EXPECT_EQ(readCString(b, 13, 13).text, "");
}

TEST(IsobmffItems, RecordsTypesContentTypesAndFirstExtents) {
  HeifBuilder heif;
  heif.item(pictureItem(1)).item(exifItem(2, exifItemPayload(sampleTiff()))).item(xmpItem(3, 40));
  const Bytes file = heif.build();
  const ItemMap items = parseItemRecords(file);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items.at(1).type, "hvc1");
  EXPECT_EQ(items.at(3).contentType, "application/rdf+xml");
  const ItemInfo& exif = items.at(2);
  EXPECT_TRUE(exif.located);
  EXPECT_EQ(exif.offset, heif.dataOffset(2));
  EXPECT_EQ(exif.length, static_cast<int64_t>(exifItemPayload(sampleTiff()).size()));
  EXPECT_EQ(exif.extentCount, 1);
  EXPECT_EQ(exif.offsetSize, 4);
  EXPECT_EQ(readUint32(file, exif.offsetFieldPosition, true), exif.offset);
  EXPECT_EQ(readUint32(file, exif.lengthFieldPosition, true), exif.length);
}

TEST(IsobmffItems, BaseOffsetIsAddedToTheExtentOffset) {
  HeifBuilder heif;
  heif.ilocVersion(1).fieldSizes(2, 4, 4).item(exifItem(7, exifItemPayload(sampleTiff())));
  const Bytes file = heif.build();
  const ItemInfo item = locateExifItem(file);
  ASSERT_TRUE(item.located);
  EXPECT_EQ(item.baseOffset, heif.dataOffset(7) - 4);
  EXPECT_EQ(item.offset, heif.dataOffset(7));
  EXPECT_EQ(item.offsetSize, 2);
  EXPECT_EQ(findExifTiffInIsobmff(file), heif.dataOffset(7) + 4);
}

TEST(IsobmffItems, VersionThreeInfeMatchesVersionTwoIloc) {
  HeifBuilder heif;
  heif.infeVersion(3).ilocVersion(2).item(pictureItem(70001));
  heif.item(exifItem(70002, exifItemPayload(sampleTiff("Fujifilm"))));
  const Bytes file = heif.build();
  const ItemMap items = parseItemRecords(file);
  ASSERT_TRUE(items.count(70002));
  EXPECT_EQ(items.at(70002).type, "Exif");
  EXPECT_TRUE(items.at(70002).located);
  const int64_t tiff = findExifTiffInIsobmff(file);
  ASSERT_GT(tiff, 0);
  EXPECT_EQ(makeAt(file, tiff), "Fujifilm");
}

TEST(IsobmffItems, OnlyTheTopLevelMetaCounts) {
  HeifBuilder nested;
  nested.item(exifItem(1, exifItemPayload(sampleTiff())));
  const Bytes inner = nested.build();
  // The whole still, ftyp included, wrapped in a "moov": its meta is not at the top level.
  const Bytes file = concat({box("ftyp", bytesOf("heic\0\0\0\0"sv)), box("moov", inner)});
  EXPECT_TRUE(parseItemRecords(file).empty());
  EXPECT_EQ(findExifTiffInIsobmff(file), -1);
}

TEST(IsobmffItems, TruncatedStructuresYieldNothing) {
  HeifBuilder heif;
  heif.item(exifItem(1, exifItemPayload(sampleTiff())));
  const Bytes file = heif.build();
  for (size_t cut = 0; cut < file.size(); cut += 7) {
    const ByteView part = ByteView(file).first(cut);
    const int64_t tiff = findExifTiffInIsobmff(part);
    EXPECT_TRUE(tiff == -1 || tiff + 4 <= static_cast<int64_t>(cut)) << cut;
  }
}

TEST(IsobmffLocate, LowestExifItemIdWins) {
  HeifBuilder heif;
  heif.item(exifItem(9, exifItemPayload(sampleTiff("Nine"))));
  heif.item(exifItem(4, exifItemPayload(sampleTiff("Four"))));
  heif.item(exifItem(6, exifItemPayload(sampleTiff("Six"))));
  const Bytes file = heif.build();
  EXPECT_EQ(locateExifItem(file).offset, heif.dataOffset(4));
  EXPECT_EQ(makeAt(file, findExifTiffInIsobmff(file)), "Four");
}

TEST(IsobmffLocate, NoExifItemIsNotLocated) {
  HeifBuilder heif;
  heif.item(pictureItem(1));
  EXPECT_FALSE(locateExifItem(heif.build()).located);
  EXPECT_FALSE(locateExifItem(bytesOf("not a media file at all")).located);
}

TEST(IsobmffLocate, HeaderOffsetSkipsTheJpegStyleMarker) {
  const Bytes gap = {'E', 'x', 'i', 'f', 0, 0};
  HeifBuilder heif;
  heif.item(exifItem(1, exifItemPayload(sampleTiff(), gap)));
  const Bytes file = heif.build();
  EXPECT_EQ(findExifTiffInIsobmff(file), heif.dataOffset(1) + 10);
}

TEST(IsobmffLocate, RejectsBadHeaderOffsetsAndSignatures) {
  Bytes payload = exifItemPayload(sampleTiff());
  payload[3] = static_cast<uint8_t>(payload.size() - 6);  // leaves only 2 bytes in the item
  HeifBuilder past;
  past.item(exifItem(1, payload));
  EXPECT_EQ(findExifTiffInIsobmff(past.build()), -1);

  Bytes notTiff = exifItemPayload(sampleTiff());
  notTiff[4] = 'X';
  HeifBuilder bad;
  bad.item(exifItem(1, notTiff));
  EXPECT_EQ(findExifTiffInIsobmff(bad.build()), -1);

  HeifBuilder tiny;
  tiny.item(exifItem(1, Bytes{0, 0, 0, 0}));  // length 4 holds no TIFF
  EXPECT_EQ(findExifTiffInIsobmff(tiny.build()), -1);
}

TEST(IsobmffLocate, SplitOrIndirectItemsFallBackToTheScan) {
  const Bytes payload = exifItemPayload(sampleTiff(), {'E', 'x', 'i', 'f', 0, 0});
  HeifItemLayout split = exifItem(1, payload);
  split.extents = 2;
  HeifBuilder twoExtents;
  twoExtents.item(split);
  HeifItemLayout indirect = exifItem(1, payload);
  indirect.constructionMethod = 1;
  HeifBuilder methodOne;
  methodOne.ilocVersion(1).item(indirect);

  for (const HeifBuilder* heif : {&twoExtents, &methodOne}) {
    const Bytes file = heif->build();
    EXPECT_EQ(findExifTiffInIsobmff(file), -1);
    const int64_t scanned = findExifInHEIC(file);
    EXPECT_EQ(scanned, heif->dataOffset(1) + 10);
    EXPECT_EQ(makeAt(file, scanned), "Canon");
    EXPECT_TRUE(writeExifIsobmff(file, sampleTiff()).empty());
  }
}

TEST(IsobmffLocate, ScanLooksOnlyNearTheMarker) {
  Bytes near = bytesOf("....Exif");
  near.resize(near.size() + 63, '.');
  appendBytes(near, bytesOf("II*"));
  near.resize(near.size() + 8, '.');
  EXPECT_EQ(findExifInHEIC(near), 71);  // j + 67, the last position looked at
  Bytes far = bytesOf("....Exif");
  far.resize(far.size() + 64, '.');
  appendBytes(far, bytesOf("II*"));
  far.resize(far.size() + 8, '.');
  EXPECT_EQ(findExifInHEIC(far), -1);
  EXPECT_EQ(findExifInHEIC(bytesOf("MM\0*no marker here at all"sv)), -1);
  Bytes second = bytesOf("Exif");
  second.resize(80, '.');
  appendBytes(second, bytesOf("Exif..MM\0*....."sv));
  EXPECT_EQ(findExifInHEIC(second), 86);
}

TEST(IsobmffWrite, ShorterBlockIsWrittenInPlace) {
  const Bytes oldTiff = sampleTiff("A rather long camera maker name, Inc.");
  HeifBuilder heif;
  heif.item(pictureItem(1)).item(exifItem(2, exifItemPayload(oldTiff, {'E', 'x', 'i', 'f', 0, 0})));
  const Bytes file = heif.build();
  const ItemInfo before = locateExifItem(file);
  const Bytes newTiff = sampleTiff("Leica");
  const Bytes out = writeExifIsobmff(file, newTiff);
  ASSERT_EQ(out.size(), file.size());
  const ItemInfo after = locateExifItem(out);
  EXPECT_EQ(after.offset, before.offset);
  EXPECT_EQ(after.length, static_cast<int64_t>(newTiff.size() + 4));
  EXPECT_EQ(readUint32(out, after.offset, true), 0u);
  EXPECT_TRUE(std::equal(newTiff.begin(), newTiff.end(), out.begin() + after.offset + 4));
  // The rest of the old extent is zero-filled; everything else is untouched.
  EXPECT_TRUE(std::all_of(out.begin() + after.offset + after.length,
                          out.begin() + before.offset + before.length,
                          [](uint8_t b) { return b == 0; }));
  for (size_t i = 0; i < file.size(); ++i) {
    const auto at = static_cast<int64_t>(i);
    const bool inExtent = at >= before.offset && at < before.offset + before.length;
    const bool inLengthField =
        at >= before.lengthFieldPosition && at < before.lengthFieldPosition + before.lengthSize;
    if (!inExtent && !inLengthField) {
      ASSERT_EQ(out[i], file[i]) << i;
    }
  }
  EXPECT_EQ(makeAt(out, findExifTiffInIsobmff(out)), "Leica");
}

TEST(IsobmffWrite, LongerBlockGoesIntoAnAppendedMdat) {
  HeifBuilder heif;
  heif.ilocVersion(1).fieldSizes(4, 4, 4);
  heif.item(exifItem(1, exifItemPayload(sampleTiff("Sony")))).item(pictureItem(2));
  const Bytes file = heif.build();
  const ItemInfo before = locateExifItem(file);
  const Bytes newTiff = sampleTiff("A camera maker name much longer than the old one");
  const Bytes out = writeExifIsobmff(file, newTiff);
  const size_t payload = newTiff.size() + 4;
  ASSERT_EQ(out.size(), file.size() + 8 + payload);
  EXPECT_EQ(readUint32(out, static_cast<int64_t>(file.size()), true), payload + 8);
  EXPECT_EQ(textAt(out, static_cast<int64_t>(file.size()) + 4, 4), "mdat");
  const ItemInfo after = locateExifItem(out);
  EXPECT_EQ(after.offset, static_cast<int64_t>(file.size()) + 8);
  EXPECT_EQ(after.length, static_cast<int64_t>(payload));
  EXPECT_EQ(after.baseOffset, before.baseOffset);
  // The old bytes stay where they were.
  EXPECT_TRUE(std::equal(file.begin() + before.offset, file.begin() + before.offset + before.length,
                         out.begin() + before.offset));
  EXPECT_EQ(makeAt(out, findExifTiffInIsobmff(out)), "A camera maker name much longer than the old one");
}

TEST(IsobmffWrite, UnaddressablePayloadIsAFailureNotASilentNoOp) {
  HeifBuilder narrow;
  narrow.fieldSizes(4, 1, 0).item(exifItem(1, exifItemPayload(sampleTiff())));
  Bytes bigTiff = sampleTiff(std::string(300, 'x'));
  EXPECT_TRUE(writeExifIsobmff(narrow.build(), bigTiff).empty());  // 304 bytes: no 1-byte length
  HeifBuilder none;
  none.item(pictureItem(1));
  EXPECT_TRUE(writeExifIsobmff(none.build(), sampleTiff()).empty());
  EXPECT_TRUE(writeExifIsobmff(bytesOf("garbage bytes"), sampleTiff()).empty());
}

TEST(IsobmffStrip, BlanksExifAndXmpKeepingTheLength) {
  HeifBuilder heif;
  heif.item(pictureItem(1)).item(exifItem(2, exifItemPayload(sampleTiff(), {'E', 'x', 'i', 'f', 0, 0})));
  heif.item(xmpItem(3, 191)).item(xmpItem(4, 192)).item(xmpItem(5, 300));
  HeifItemLayout otherMime = xmpItem(6, 200);
  otherMime.contentType = "text/plain";
  heif.item(otherMime);
  const Bytes file = heif.build();
  const Bytes out = stripIsobmff(file);
  ASSERT_EQ(out.size(), file.size());

  const auto at = [&](uint32_t id) { return out.begin() + heif.dataOffset(id); };
  const Bytes emptyTiff = {0, 0, 0, 0, 'M', 'M', 0, '*', 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(emptyTiff.begin(), emptyTiff.end(), at(2)));
  const size_t exifLength = exifItemPayload(sampleTiff(), {'E', 'x', 'i', 'f', 0, 0}).size();
  EXPECT_TRUE(std::all_of(at(2) + 18, at(2) + static_cast<long>(exifLength), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(findExifTiffInIsobmff(out), heif.dataOffset(2) + 4);
  EXPECT_TRUE(std::all_of(at(3), at(3) + 191, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(std::string(at(4), at(4) + 192), kEmptyXmpPacket);
  EXPECT_EQ(std::string(at(5), at(5) + 192), kEmptyXmpPacket);
  EXPECT_TRUE(std::all_of(at(5) + 192, at(5) + 300, [](uint8_t b) { return b == ' '; }));
  EXPECT_TRUE(std::all_of(at(6), at(6) + 200, [](uint8_t b) { return b == 'x'; }));  // not XMP
  EXPECT_TRUE(std::equal(at(1), at(1) + 32, file.begin() + heif.dataOffset(1)));
}

TEST(IsobmffStrip, ShortExifItemGetsAsMuchOfTheEmptyTiffAsFits) {
  HeifBuilder heif;
  heif.item(exifItem(1, Bytes{0, 0, 0, 0, 'I', 'I', '*', 0, 8, 0}));
  const Bytes out = stripIsobmff(heif.build());
  const Bytes expected = {0, 0, 0, 0, 'M', 'M', 0, '*', 0, 0};
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + heif.dataOffset(1)));
}

TEST(IsobmffStrip, RefusesWhatItCannotStrip) {
  EXPECT_TRUE(stripIsobmff(bytesOf("not an ISO media file")).empty());
  const Bytes noItems = concat({box("ftyp", bytesOf("heic\0\0\0\0"sv)), box("mdat", Bytes(20, 1))});
  EXPECT_TRUE(stripIsobmff(noItems).empty());
  // Metadata we cannot reach must not come back as "stripped".
  HeifItemLayout split = exifItem(1, exifItemPayload(sampleTiff()));
  split.extents = 2;
  HeifBuilder heif;
  heif.item(split);
  EXPECT_TRUE(stripIsobmff(heif.build()).empty());
  // Pictures only: nothing to blank, the copy is the file.
  HeifBuilder pictures;
  pictures.item(pictureItem(1));
  const Bytes file = pictures.build();
  EXPECT_EQ(stripIsobmff(file), file);
}

TEST(IsobmffStrip, TheEmptyPacketIsWellFormed) {
  EXPECT_EQ(kEmptyXmpPacket.size(), 192u);
  EXPECT_TRUE(kEmptyXmpPacket.starts_with("<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"));
  EXPECT_TRUE(kEmptyXmpPacket.ends_with("<?xpacket end=\"w\"?>"));
  EXPECT_NE(kEmptyXmpPacket.find("xmlns:x=\"adobe:ns:meta/\""), std::string_view::npos);
  EXPECT_NE(kEmptyXmpPacket.find("xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\""),
            std::string_view::npos);
}

TEST(IsobmffItems, OverflowingOffsetsMakeTheItemUnusable) {
  // iloc version 1: 8-byte base offset near the top of the signed range plus an extent offset.
  Bytes iloc = {0x44, 0x80, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
  appendBE64(iloc, 0x7FFFFFFFFFFFFFF0);
  appendBE32(iloc, 0x00010000);  // extent count 1, then the first half of the offset
  appendBE32(iloc, 0x00200000);
  iloc.resize(iloc.size() + 2, 0);  // rest of the length field
  const Bytes infe = fullBox("infe", 2, 0, concat({Bytes{0, 1, 0, 0}, bytesOf("Exif"), Bytes{0}}));
  const Bytes meta = fullBox("meta", 0, 0, concat({fullBox("iinf", 0, 0, concat({Bytes{0, 1}, infe})),
                                                   fullBox("iloc", 1, 0, iloc)}));
  const Bytes file = concat({box("ftyp", bytesOf("heic\0\0\0\0"sv)), meta, box("mdat", Bytes(64, 0))});
  const ItemInfo item = locateExifItem(file);
  ASSERT_TRUE(item.located);
  EXPECT_EQ(item.offset, -1);
  EXPECT_EQ(findExifTiffInIsobmff(file), -1);
  EXPECT_TRUE(writeExifIsobmff(file, sampleTiff()).empty());
  EXPECT_TRUE(stripIsobmff(file).empty());  // an Exif item we cannot reach is not stripped
}

TEST(IsobmffStrip, ItemsWithoutDataAreLeftAlone) {
  HeifBuilder heif;
  heif.item(pictureItem(1)).item(exifItem(2, Bytes{0, 0, 0, 0}));  // 4 bytes: no TIFF in it
  const Bytes file = heif.build();
  EXPECT_EQ(stripIsobmff(file), file);
}
