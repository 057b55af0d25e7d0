// The TIFF reader: bounded reads, entries, directories and value rendering.
#include "container/tiff.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>

#include "support/builders.h"

using namespace orvel::base;
using namespace orvel::container;
using orvel::testing::Bytes;
using orvel::testing::TiffBuilder;

namespace {

// Entries view their value bytes, so the bytes of hand-made entries are kept alive here.
TiffTag tagOf(uint8_t type, uint32_t count, Bytes data, bool bigEndian = false) {
  static std::deque<Bytes> storage;
  TiffTag t;
  t.type = type;
  t.count = count;
  t.data = storage.emplace_back(std::move(data));
  t.bigEndian = bigEndian;
  return t;
}

// Keeps the block alive with the entries that view it.
Ifd readFirst(Bytes block) {
  static std::deque<Bytes> storage;
  const Bytes& kept = storage.emplace_back(std::move(block));
  const bool be = kept[0] != 'I';
  return readIFD(kept, readUint32(kept, 4, be), 0, be);
}

}  // namespace

TEST(TiffReads, BoundsAreExact) {
  Bytes b = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(readUint32(b, 2, false), 0x06050403u);  // length - 4: the last four bytes
  EXPECT_EQ(readUint32(b, 3, false), 0u);           // length - 3: does not fit
  EXPECT_EQ(readUint32(b, -1, true), 0u);
  EXPECT_EQ(readUint16(b, 4, true), 0x0506u);
  EXPECT_EQ(readUint16(b, 5, true), 0u);
  EXPECT_EQ(readUint16(b, std::numeric_limits<int64_t>::max(), true), 0u);
  EXPECT_EQ(readUint32(b, std::numeric_limits<int64_t>::min(), true), 0u);
}

TEST(TiffEntries, BothByteOrdersDecodeTheSameDirectory) {
  for (bool be : {false, true}) {
    TiffBuilder t(be);
    int ifd0 = t.addIfd();
    t.ascii(ifd0, 0x010F, "Canon").shorts(ifd0, 0x0112, {6}).rationals(ifd0, 0x011A, {{72, 1}});
    Bytes block = t.build();
    Ifd ifd = readFirst(block);
    ASSERT_EQ(ifd.tags.size(), 3u) << be;
    EXPECT_EQ(toString(ifd.tags.at(0x010F)), "Canon");
    EXPECT_EQ(toString(ifd.tags.at(0x0112)), "6");
    EXPECT_EQ(toString(ifd.tags.at(0x011A)), "72");
    const TiffTag& make = ifd.tags.at(0x010F);
    EXPECT_EQ(make.type, ttAscii);
    EXPECT_EQ(make.count, 6u);
    EXPECT_EQ(make.bigEndian, be);
    // Six bytes do not fit in the entry: the offset names the data area.
    EXPECT_EQ(make.offset, int64_t{readUint32(block, t.ifdOffset(0) + 2 + 8, be)});
    // The orientation fits inline: its offset is the entry's value field.
    EXPECT_EQ(ifd.tags.at(0x0112).offset, int64_t{t.ifdOffset(0)} + 2 + 12 + 8);
  }
}

TEST(TiffEntries, UnknownTypeReadsAsUndefined) {
  TiffBuilder t;
  int ifd0 = t.addIfd();
  t.entry(ifd0, 0x9999, 13, 3, {'a', 'b', 'c'});
  t.entry(ifd0, 0x999A, 0, 2, {0x01, 0xFF});
  Ifd ifd = readFirst(t.build());
  EXPECT_EQ(ifd.tags.at(0x9999).type, ttUndefined);
  EXPECT_EQ(toString(ifd.tags.at(0x9999)), "abc");
  EXPECT_EQ(toString(ifd.tags.at(0x999A)), "01 FF");
}

TEST(TiffEntries, ValueOffsetPastTheEndKeepsTheEntryWithoutData) {
  TiffBuilder t;
  int ifd0 = t.addIfd();
  t.rawOffset(ifd0, 0x010E, ttAscii, 40, 0xFFFFFFF0u);
  t.rawOffset(ifd0, 0x010F, ttAscii, 0xFFFFFFFFu, 8);  // huge count: no overflow, no data
  Ifd ifd = readFirst(t.build());
  const TiffTag& desc = ifd.tags.at(0x010E);
  EXPECT_EQ(desc.count, 40u);
  EXPECT_EQ(desc.type, ttAscii);
  EXPECT_TRUE(desc.data.empty());
  EXPECT_EQ(toString(desc), "");
  EXPECT_TRUE(ifd.tags.at(0x010F).data.empty());
}

TEST(TiffEntries, ZeroCountHasNoData) {
  TiffBuilder t;
  int ifd0 = t.addIfd();
  t.entry(ifd0, 0x0131, ttAscii, 0, {});
  EXPECT_TRUE(readFirst(t.build()).tags.at(0x0131).data.empty());
}

TEST(TiffEntries, BaseIsAddedToValueOffsets) {
  TiffBuilder t(true);
  int ifd0 = t.addIfd();
  t.ascii(ifd0, 0x0110, "EOS 5D Mark IV");
  Bytes block = t.build();
  Bytes shifted(100, 0xAA);
  shifted.insert(shifted.end(), block.begin(), block.end());
  Ifd ifd = readIFD(shifted, 100 + t.ifdOffset(0), 100, true);
  EXPECT_EQ(toString(ifd.tags.at(0x0110)), "EOS 5D Mark IV");
}

TEST(TiffDirectories, TruncatedDirectoryKeepsWhatFits) {
  TiffBuilder t;
  int ifd0 = t.addIfd();
  for (uint16_t tag = 1; tag <= 10; ++tag) t.shorts(ifd0, tag, {tag});
  Bytes block = t.build();
  // Cut after three entries plus four bytes that read as the next offset.
  const std::size_t cut = t.ifdOffset(0) + 2 + 3 * 12 + 4;
  Bytes truncated(block.begin(), block.begin() + static_cast<long>(cut));
  Ifd ifd = readFirst(truncated);
  EXPECT_EQ(ifd.tags.size(), 3u);
  EXPECT_EQ(ifd.next, readUint32(truncated, static_cast<int64_t>(cut) - 4, false));
  // Two bytes fewer: three entries and no next offset.
  truncated.resize(cut - 2);
  ifd = readFirst(truncated);
  EXPECT_EQ(ifd.tags.size(), 3u);
  EXPECT_EQ(ifd.next, 0u);
}

TEST(TiffDirectories, DuplicateTagKeepsTheLaterEntry) {
  TiffBuilder t;
  int ifd0 = t.addIfd();
  t.ascii(ifd0, 0x0110, "first").ascii(ifd0, 0x0110, "second");
  Ifd ifd = readFirst(t.build());
  ASSERT_EQ(ifd.tags.size(), 1u);
  EXPECT_EQ(toString(ifd.tags.at(0x0110)), "second");
}

TEST(TiffDirectories, NextPointerAndOutOfRangePositions) {
  TiffBuilder t;
  int ifd0 = t.addIfd();
  int ifd1 = t.addIfd();
  t.shorts(ifd0, 0x0112, {1}).chain(ifd0, ifd1).longs(ifd1, 0x0201, {0});
  Bytes block = t.build();
  Ifd first = readFirst(block);
  EXPECT_EQ(first.next, t.ifdOffset(ifd1));
  EXPECT_EQ(readIFD(block, first.next, 0, false).tags.count(0x0201), 1u);
  EXPECT_TRUE(readIFD(block, static_cast<int64_t>(block.size()) - 1, 0, false).tags.empty());
  EXPECT_TRUE(readIFD(block, -2, 0, false).tags.empty());
  EXPECT_EQ(readIFD(block, -2, 0, false).next, 0u);
  EXPECT_TRUE(readIFD({}, 0, 0, false).tags.empty());
}

TEST(TiffDirectories, ReadLongTag) {
  TiffTag four = tagOf(ttLong, 1, {0, 0, 1, 2}, true);
  EXPECT_EQ(readLongTag(four).value, 0x102u);
  EXPECT_TRUE(readLongTag(four).ok);
  TiffTag two = tagOf(ttShort, 1, {1, 2});
  EXPECT_FALSE(readLongTag(two).ok);
  EXPECT_EQ(readLongTag(two).value, 0u);
}

TEST(TiffRender, Ascii) {
  EXPECT_EQ(toString(tagOf(ttAscii, 8, {'C', 'a', 'n', 'o', 'n', 0, 0, 0})), "Canon");
  EXPECT_EQ(toString(tagOf(ttAscii, 6, {'a', 'b', 'c', ' ', ' ', '\n'})), "abc");
  EXPECT_EQ(toString(tagOf(ttAscii, 7, {'a', '\t', 'b', '\r', '\v', '\f', 0})), "a\tb");
  EXPECT_EQ(toString(tagOf(ttAscii, 3, {'x', 'y', 'z'})), "xyz");  // no NUL at all
  EXPECT_EQ(toString(tagOf(ttAscii, 4, {'a', 0, 'b', 0})), "a");   // stops at the first NUL
  EXPECT_EQ(toString(tagOf(ttAscii, 2, {' ', 0})), "");
}

TEST(TiffRender, Integers) {
  EXPECT_EQ(toString(tagOf(ttShort, 3, {1, 0, 0xFF, 0xFF, 0x10, 0x00})), "1 65535 16");
  EXPECT_EQ(toString(tagOf(ttShort, 1, {0x01, 0x02}, true)), "258");
  EXPECT_EQ(toString(tagOf(ttLong, 2, {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0})), "4294967295 1");
  EXPECT_EQ(toString(tagOf(ttSShort, 2, {0xFF, 0xFF, 0x00, 0x80})), "-1 -32768");
  EXPECT_EQ(toString(tagOf(ttSLong, 1, {0, 0, 0, 0x80})), "-2147483648");
}

TEST(TiffRender, Rationals) {
  auto rat = [&](std::vector<std::pair<uint32_t, uint32_t>> v) {
    TiffBuilder t;
    t.rationals(t.addIfd(), 1, v);
    return readFirst(t.build()).tags.at(1);
  };
  EXPECT_EQ(toString(rat({{72, 1}})), "72");
  EXPECT_EQ(toString(rat({{28, 10}})), "14/5");
  EXPECT_EQ(toString(rat({{5, 0}})), "5/0");
  EXPECT_EQ(toString(rat({{0, 5}})), "0");
  EXPECT_EQ(toString(rat({{51, 1}, {30, 1}, {1234, 100}})), "51 30 617/50");
  // Count 2 but data for only one pair: one pair is rendered.
  TiffTag partial = tagOf(ttRational, 2, {28, 0, 0, 0, 10, 0, 0, 0});
  EXPECT_EQ(toString(partial), "14/5");
}

TEST(TiffRender, SignedRationals) {
  auto srat = [](std::vector<std::pair<int32_t, int32_t>> v, bool be) {
    TiffBuilder t(be);
    t.srationals(t.addIfd(), 1, v);
    return toString(readFirst(t.build()).tags.at(1));
  };
  for (bool be : {false, true}) {
    EXPECT_EQ(srat({{-1, 3}}, be), "-1/3");
    EXPECT_EQ(srat({{2, -4}}, be), "-1/2");
    EXPECT_EQ(srat({{-6, -3}}, be), "2");
    EXPECT_EQ(srat({{-7, 0}}, be), "-7/0");
    EXPECT_EQ(srat({{INT32_MIN, 2}}, be), "-1073741824");
    EXPECT_EQ(srat({{INT32_MIN, INT32_MIN}}, be), "1");
    EXPECT_EQ(srat({{1, 3}, {-10, 4}}, be), "1/3 -5/2");
  }
}

TEST(TiffRender, FloatsAreShortestRoundTrip) {
  auto fl = [](std::vector<float> v, bool be) {
    TiffBuilder t(be);
    t.floats(t.addIfd(), 1, v);
    return toString(readFirst(t.build()).tags.at(1));
  };
  auto dbl = [](std::vector<double> v, bool be) {
    TiffBuilder t(be);
    t.doubles(t.addIfd(), 1, v);
    return toString(readFirst(t.build()).tags.at(1));
  };
  for (bool be : {false, true}) {
    EXPECT_EQ(fl({0.1f, 2.0f, -3.5f}, be), "0.1 2.0 -3.5");
    EXPECT_EQ(fl({1e20f}, be), "1e+20");
    EXPECT_EQ(dbl({0.1, 1.0 / 3.0}, be), "0.1 0.3333333333333333");
    EXPECT_EQ(dbl({1234567.0, -0.0}, be), "1234567.0 -0.0");
    EXPECT_EQ(dbl({std::numeric_limits<double>::infinity()}, be), "inf");
    EXPECT_EQ(dbl({std::nan("")}, be), "nan");
  }
}

TEST(TiffRender, BytesAsTextOrHex) {
  EXPECT_EQ(toString(tagOf(ttUndefined, 4, {0x30, 0x32, 0x33, 0x30})), "0230");
  EXPECT_EQ(toString(tagOf(ttUndefined, 2, {0x01, 0xFF})), "01 FF");
  EXPECT_EQ(toString(tagOf(ttByte, 4, {'a', 0, 'b', 0})), "ab");
  EXPECT_EQ(toString(tagOf(ttSByte, 2, {0x7F, 0x41})), "7F 41");  // DEL is not printable
  EXPECT_EQ(toString(tagOf(ttByte, 2, {' ', '~'})), " ~");

  Bytes hundred(100, 'x');
  hundred[57] = 0x80;
  std::string hex = toString(tagOf(ttUndefined, 100, hundred));
  EXPECT_EQ(hex.size(), 299u);
  EXPECT_EQ(hex.substr(0, 6), "78 78 ");
  EXPECT_EQ(hex.substr(57 * 3, 2), "80");
  EXPECT_EQ(hex.back(), '8');
}

TEST(TiffRender, EmptyDataIsEmptyText) {
  for (uint8_t type = 1; type <= 12; ++type)
    EXPECT_EQ(toString(tagOf(type, 5, {})), "") << int(type);
}

TEST(TiffHelpers, Gcd) {
  EXPECT_EQ(gcd(28, 10), 2u);
  EXPECT_EQ(gcd(7, 0), 7u);
  EXPECT_EQ(gcd(0, 9), 9u);
  EXPECT_EQ(gcd(0, 0), 0u);
  EXPECT_EQ(gcd(4294967295u, 65535u), 65535u);
}
