// The box-header reader: signature test, bounded big-endian reads and 32/64-bit sizes.
#include "boxo/isobmff.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes header(uint32_t size, const char* type) {
  return {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
          static_cast<uint8_t>(size >> 8),  static_cast<uint8_t>(size),
          static_cast<uint8_t>(type[0]),    static_cast<uint8_t>(type[1]),
          static_cast<uint8_t>(type[2]),    static_cast<uint8_t>(type[3])};
}

}  // namespace

TEST(BoxoSignature, NeedsFtypAtFourAndTwelveBytes) {
  Bytes file = header(20, "ftyp");
  file.resize(12, 0);
  EXPECT_TRUE(boxo::isIsobmff(file));
  file.resize(11);
  EXPECT_FALSE(boxo::isIsobmff(file));  // too short even though "ftyp" is there
  Bytes movie = header(20, "moov");
  movie.resize(12, 0);
  EXPECT_FALSE(boxo::isIsobmff(movie));  // movies without ftyp are not writable stills
}

TEST(BoxoReads, BigEndianWithinBoundsOnly) {
  const Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05};
  EXPECT_EQ(boxo::beU32(b, 0), 0x01020304u);
  EXPECT_EQ(boxo::beU32(b, 1), 0x02030405u);
  EXPECT_EQ(boxo::beU32(b, 2), 0u);
  EXPECT_EQ(boxo::beU32(b, -1), 0u);
  EXPECT_EQ(boxo::beU32(b, std::numeric_limits<int64_t>::max()), 0u);
}

TEST(BoxoHeader, ThirtyTwoAndSixtyFourBitSizes) {
  Bytes plain = header(0x1234, "mdat");
  auto h = boxo::readBoxHeader(plain, 0);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->start, 0);
  EXPECT_EQ(h->size, 0x1234u);
  EXPECT_EQ(h->type, "mdat");
  EXPECT_EQ(boxo::headerLength(plain, 0), 8);

  Bytes large = header(1, "mdat");
  for (uint8_t byte : {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x20}) large.push_back(byte);
  h = boxo::readBoxHeader(large, 0);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->size, 0x100000020u);
  EXPECT_EQ(boxo::headerLength(large, 0), 16);

  large.resize(12);  // the 64-bit size is cut off: the size field stands
  h = boxo::readBoxHeader(large, 0);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->size, 1u);
}

TEST(BoxoHeader, NeedsEightBytesAtThePosition) {
  Bytes two = header(8, "free");
  const Bytes second = header(8, "skip");
  two.insert(two.end(), second.begin(), second.end());
  auto h = boxo::readBoxHeader(two, 8);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->start, 8);
  EXPECT_EQ(h->type, "skip");
  EXPECT_FALSE(boxo::readBoxHeader(two, 9));
  EXPECT_FALSE(boxo::readBoxHeader(two, -1));
  EXPECT_FALSE(boxo::readBoxHeader(Bytes{}, 0));
}
