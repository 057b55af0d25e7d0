// The byte view's readers and writers (exact bounds, both byte orders, variable widths) and
// the text helpers.
#include "base/bytes.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "base/text.h"

using namespace orvel::base;

TEST(Bytes, ReadersYieldZeroOutsideTheBytes) {
  const std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05};
  EXPECT_EQ(readU16le(b, 0), 0x0201);
  EXPECT_EQ(readU16be(b, 3), 0x0405);
  EXPECT_EQ(readU16le(b, 4), 0);  // one byte left
  EXPECT_EQ(readU32le(b, 1), 0x05040302u);
  EXPECT_EQ(readU32be(b, 1), 0x02030405u);
  EXPECT_EQ(readU32be(b, 2), 0u);
  EXPECT_EQ(readU32le(b, 2), 0u);
  EXPECT_EQ(byteAt(b, 4), 0x05);
  EXPECT_EQ(byteAt(b, 5), 0);
  for (int64_t position : {int64_t{-1}, int64_t{-4}, std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::max()}) {
    EXPECT_EQ(readU16le(b, position), 0);
    EXPECT_EQ(readU16be(b, position), 0);
    EXPECT_EQ(readU32le(b, position), 0u);
    EXPECT_EQ(readU32be(b, position), 0u);
    EXPECT_EQ(readUint64(b, position, true), 0u);
    EXPECT_EQ(beInt(b, position, 1), -1);
  }
  EXPECT_EQ(readU32be({}, 0), 0u);
}

TEST(Bytes, VariableWidthBigEndian) {
  const std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  EXPECT_EQ(beInt(b, 0, 0), 0);
  EXPECT_EQ(beInt(b, 0, 3), 0x010203);
  EXPECT_EQ(beInt(b, 1, 8), 0x0203040506070809);
  EXPECT_EQ(beInt(b, 0, 9), -1);
  EXPECT_EQ(beInt(b, 8, 2), -1);
  EXPECT_EQ(readUint64(b, 1, true), 0x0203040506070809u);
  EXPECT_EQ(readUint64(b, 1, false), 0x0908070605040302u);
}

TEST(Bytes, WritersStoreInsideTheBufferOnly) {
  std::vector<uint8_t> b(6, 0xEE);
  putU16le(b, 0, 0xBEEF);
  putU32le(b, 2, 0x12345678);
  EXPECT_EQ(b, (std::vector<uint8_t>{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
  putU16(b, 0, 0xBEEF, true);
  EXPECT_EQ(readU16be(b, 0), 0xBEEF);
  // A store that would run past the end is refused and leaves the buffer alone.
  EXPECT_THROW(putU32le(b, 3, 1), std::out_of_range);
  EXPECT_THROW(putU16le(b, 5, 1), std::out_of_range);
  EXPECT_THROW(putU16le(b, -1, 1), std::out_of_range);
  EXPECT_EQ(b[5], 0x12);

  std::vector<uint8_t> out(6, 0xEE);
  putBE(out, 1, 4, 0x01020304);
  EXPECT_EQ(out, (std::vector<uint8_t>{0xEE, 1, 2, 3, 4, 0xEE}));
  putBE(out, 0, 0, 99);  // width 0 writes nothing
  EXPECT_EQ(out[0], 0xEE);
  std::vector<uint8_t> wide(10, 0xEE);
  putBE(wide, 0, 10, 0x0102);  // wider than a value: leading zeros
  EXPECT_EQ(wide, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 1, 2}));
  EXPECT_THROW(putBE(out, 4, 4, 1), std::out_of_range);

  Bytes grown;
  appendU16(grown, 0x0102, false);
  appendU32(grown, 0x03040506, true);
  EXPECT_EQ(grown, (Bytes{0x02, 0x01, 0x03, 0x04, 0x05, 0x06}));
}

TEST(Bytes, FieldWidthsAndSearch) {
  EXPECT_TRUE(fitsIn(0, 0));
  EXPECT_FALSE(fitsIn(1, 0));
  EXPECT_TRUE(fitsIn(255, 1));
  EXPECT_FALSE(fitsIn(256, 1));
  EXPECT_TRUE(fitsIn(0xFFFFFFFF, 4));
  EXPECT_FALSE(fitsIn(0x100000000, 4));
  EXPECT_TRUE(fitsIn(INT64_MAX, 8));
  EXPECT_FALSE(fitsIn(-1, 8));
  EXPECT_FALSE(fitsIn(0, -1));
  const Bytes b = {'a', 'E', 'b', 'E'};
  EXPECT_EQ(findByte(b, 0, 'E'), 1);
  EXPECT_EQ(findByte(b, 2, 'E'), 3);
  EXPECT_EQ(findByte(b, 4, 'E'), -1);
  EXPECT_EQ(findByte(b, -1, 'E'), -1);
  EXPECT_EQ(findByte(b, 0, 'z'), -1);
}

TEST(Text, SpaceHexCaseAndSignatures) {
  EXPECT_EQ(stripSpace(" \t\r\n\v\fa b\f\v\n"), "a b");
  EXPECT_EQ(stripSpace(" \t "), "");
  EXPECT_EQ(stripTrailingSpace("  a  "), "  a");
  EXPECT_EQ(toHex(uint8_t{0x0A}), "0A");
  EXPECT_EQ(toHex(uint64_t{0xABC}, 6), "000ABC");
  EXPECT_EQ(toHex(uint64_t{0}, 0), "0");
  EXPECT_EQ(asciiLower("NIKON Corp\xC3\x89"), "nikon corp\xC3\x89");
  const Bytes b = {'E', 'x', 'i', 'f', 0, 0};
  EXPECT_TRUE(hasBytesAt(b, 0, std::string_view("Exif\0\0", 6)));
  EXPECT_FALSE(hasBytesAt(b, 1, std::string_view("xif\0\0\0", 6)));
  EXPECT_FALSE(hasBytesAt(b, -1, "E"));
  EXPECT_EQ(textAt(b, 1, 3), "xif");
  EXPECT_EQ(textAt(b, 4, 3), "");  // not all inside
}
