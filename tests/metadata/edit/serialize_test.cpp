// The block layout: little-endian header, IFD0, Exif, GPS, one data area on even offsets.
#include "metadata/edit/serialize.h"

#include <gtest/gtest.h>

#include <cstring>

#include "container/tiff.h"
#include "metadata/edit/edit.h"
#include "metadata/edit/load.h"
#include "support/builders.h"

namespace orvel::metadata::edit {

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;

namespace {

using Bytes = std::vector<uint8_t>;

uint16_t u16(const Bytes& b, std::size_t at) { return readUint16(b, static_cast<int64_t>(at), false); }
uint32_t u32(const Bytes& b, std::size_t at) { return readUint32(b, static_cast<int64_t>(at), false); }

struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

Entry entryAt(const Bytes& block, std::size_t ifd, std::size_t index) {
  const std::size_t at = ifd + 2 + 12 * index;
  return {u16(block, at), u16(block, at + 2), u32(block, at + 4), u32(block, at + 8)};
}

TEST(Serialize, EmptyRecordIsAFourteenByteBlock) {
  const Bytes block = serialize(ExifEdit{});
  EXPECT_EQ(block, (Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ifdSize(0), 6);
  EXPECT_EQ(ifdSize(3), 42);
}

TEST(Serialize, ShortValuesSitInlineLongOnesInTheDataArea) {
  ExifEdit edit;
  setArtist(edit, "Bob");
  Bytes block = serialize(edit);
  ASSERT_EQ(block.size(), 26u);
  Entry artist = entryAt(block, 8, 0);
  EXPECT_EQ(artist.tag, 0x013B);
  EXPECT_EQ(artist.type, 2);
  EXPECT_EQ(artist.count, 4u);
  EXPECT_EQ(std::memcmp(block.data() + 18, "Bob", 4), 0);

  // Five characters (six bytes with NUL) and a five-byte UNDEFINED value followed by a pad.
  edit = {};
  edit.ifd0.set(0x010E, asciiVal("Hello"));
  ExifValue undefinedValue;
  undefinedValue.kind = ttUndefined;
  undefinedValue.bytes = {1, 2, 3, 4, 5};
  edit.ifd0.set(0x010F, undefinedValue);
  edit.ifd0.set(0x0110, asciiVal("Model"));
  block = serialize(edit);
  const uint32_t d = 8 + 6 + 36;
  EXPECT_EQ(entryAt(block, 8, 0).value, d);
  EXPECT_EQ(entryAt(block, 8, 1).value, d + 6);
  EXPECT_EQ(entryAt(block, 8, 2).value, d + 12);  // after one pad byte
  EXPECT_EQ(block[d + 11], 0);
  EXPECT_EQ(block.size(), d + 18u);
}

TEST(Serialize, DirectoriesFollowEachOtherWithTheirPointers) {
  ExifEdit edit;
  edit.ifd0.set(0x013B, asciiVal("A"));
  edit.exif.set(0x9003, asciiVal("B"));
  Bytes block = serialize(edit);
  EXPECT_EQ(u16(block, 8), 2);
  EXPECT_EQ(entryAt(block, 8, 1).tag, kExifPointerTag);
  EXPECT_EQ(entryAt(block, 8, 1).value, 38u);
  EXPECT_EQ(block.size(), 56u);  // G = D = 56, no GPS pointer

  edit.gps.set(0x0001, asciiVal("N"));
  block = serialize(edit);
  EXPECT_EQ(u16(block, 8), 3);
  EXPECT_EQ(entryAt(block, 8, 1).value, 50u);
  EXPECT_EQ(entryAt(block, 8, 2).tag, kGpsPointerTag);
  EXPECT_EQ(entryAt(block, 8, 2).value, 68u);
  EXPECT_EQ(block.size(), 86u);

  edit.exif.clear();
  block = serialize(edit);
  EXPECT_EQ(u16(block, 8), 2);
  EXPECT_EQ(entryAt(block, 8, 1).tag, kGpsPointerTag);
  EXPECT_EQ(entryAt(block, 8, 1).value, 38u);  // G = E
}

TEST(Serialize, EntriesAscendAndStalePointersAreReplaced) {
  ExifEdit edit;
  edit.ifd0.set(0x013B, asciiVal("x"));
  edit.ifd0.set(0x010F, asciiVal("y"));
  edit.ifd0.set(kExifPointerTag, longVal({12345}));  // no Exif directory: must vanish
  const Bytes block = serialize(edit);
  EXPECT_EQ(u16(block, 8), 2);
  EXPECT_EQ(entryAt(block, 8, 0).tag, 0x010F);
  EXPECT_EQ(entryAt(block, 8, 1).tag, 0x013B);
  EXPECT_NE(edit.ifd0.find(kExifPointerTag), nullptr);  // the record is not changed
}

TEST(Encode, TypesCountsAndRanges) {
  ExifValue value;
  value.kind = ttSShort;
  value.ints = {-2, 300};
  EncodedValue out = encode(value, false);
  EXPECT_EQ(out.count, 2u);
  EXPECT_EQ(out.bytes, (Bytes{0xFE, 0xFF, 0x2C, 0x01}));
  value.ints = {40000};
  EXPECT_THROW(encode(value, false), std::range_error);
  value.kind = ttSLong;
  value.ints = {int64_t{1} << 31};
  EXPECT_THROW(encode(value, false), std::range_error);
  value = {};
  value.kind = ttSRational;
  value.rationals = {{-1, int64_t{1} << 32}};
  EXPECT_THROW(encode(value, false), std::range_error);

  value = {};
  value.kind = ttShort;
  out = encode(value, false);  // empty: count 0
  EXPECT_EQ(out.count, 0u);
  EXPECT_TRUE(out.bytes.empty());

  // A big-endian DOUBLE is turned around so that it reads the same in a little-endian block.
  value = {};
  value.kind = ttDouble;
  value.count = 1;
  value.bytes = {0x3F, 0xF8, 0, 0, 0, 0, 0, 0};  // 1.5 big-endian
  out = encode(value, true);
  EXPECT_EQ(out.bytes, (Bytes{0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
  EXPECT_EQ(out.count, 1u);
  // A count larger than the bytes hold is cut to what is there, never pointing at nothing.
  value.count = 3;
  value.bytes.clear();
  out = encode(value, false);
  EXPECT_EQ(out.count, 0u);
}

TEST(Serialize, BigEndianSourceIsWrittenLittleEndianWithTheSameNumbers) {
  testing::TiffBuilder t(true);
  const int ifd0 = t.addIfd();
  const int exif = t.addIfd();
  const int thumb = t.addIfd();
  t.ascii(ifd0, 0x010F, "Maker").shorts(ifd0, 0x0112, {6}).pointer(ifd0, kExifPointerTag, exif);
  t.doubles(exif, 0x9999, {2.75}).srationals(exif, 0x9204, {{-1, 3}}).rationals(exif, 0x829A, {{1, 250}});
  t.slongs(exif, 0x9998, {-70000}).floats(exif, 0x9997, {0.5f}).chain(ifd0, thumb);
  t.longs(thumb, 0x0201, {0}).longs(thumb, 0x0202, {0});
  const Bytes source = t.build();
  const ExifEdit edit = parseExifBytes(source);
  ASSERT_TRUE(edit.bigEndian);
  const Bytes block = serialize(edit);
  ASSERT_EQ(block[0], 'I');
  const ExifEdit back = parseExifBytes(block);
  EXPECT_FALSE(back.bigEndian);
  EXPECT_EQ(back.ifd0.find(0x010F)->text, "Maker");
  EXPECT_EQ(back.ifd0.find(0x0112)->ints, (std::vector<int64_t>{6}));
  EXPECT_EQ(back.exif.find(0x9204)->rationals, (std::vector<std::pair<int64_t, int64_t>>{{-1, 3}}));
  EXPECT_EQ(back.exif.find(0x9998)->ints, (std::vector<int64_t>{-70000}));
  double number = 0;
  const Bytes& raw = back.exif.find(0x9999)->bytes;
  ASSERT_EQ(raw.size(), 8u);
  std::memcpy(&number, raw.data(), 8);  // the block is little-endian, as is this machine
  EXPECT_EQ(number, 2.75);
  float single = 0;
  std::memcpy(&single, back.exif.find(0x9997)->bytes.data(), 4);
  EXPECT_EQ(single, 0.5f);
  // Only IFD0 is written: the thumbnail directory of the source is gone.
  EXPECT_EQ(u32(block, 8 + 2 + 12 * u16(block, 8)), 0u);
}

}  // namespace
}  // namespace orvel::metadata::edit
