// The codecs' byte readers and writers: exact bounds, both byte orders, and requireLen.
#include "formats/util.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "formats/image_error.h"

using namespace orvel;

TEST(FormatsUtil, ReadersYieldZeroOutsideTheBytes) {
  const std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05};
  EXPECT_EQ(readU16le(b, 0), 0x0201);
  EXPECT_EQ(readU16be(b, 3), 0x0405);
  EXPECT_EQ(readU16le(b, 4), 0);  // one byte left
  EXPECT_EQ(readU32le(b, 1), 0x05040302u);
  EXPECT_EQ(readU32be(b, 1), 0x02030405u);
  EXPECT_EQ(readU32be(b, 2), 0u);
  EXPECT_EQ(readU32le(b, 2), 0u);
  for (int64_t position : {int64_t{-1}, int64_t{-4}, std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::max()}) {
    EXPECT_EQ(readU16le(b, position), 0);
    EXPECT_EQ(readU16be(b, position), 0);
    EXPECT_EQ(readU32le(b, position), 0u);
    EXPECT_EQ(readU32be(b, position), 0u);
  }
  EXPECT_EQ(readU32be({}, 0), 0u);
}

TEST(FormatsUtil, WritersStoreLittleEndianInsideTheBuffer) {
  std::vector<uint8_t> b(6, 0xEE);
  putU16le(b, 0, 0xBEEF);
  putU32le(b, 2, 0x12345678);
  EXPECT_EQ(b, (std::vector<uint8_t>{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(readU32le(b, 2), 0x12345678u);
  // A store that would run past the end is refused and leaves the buffer alone.
  EXPECT_THROW(putU32le(b, 3, 1), std::out_of_range);
  EXPECT_THROW(putU16le(b, 5, 1), std::out_of_range);
  EXPECT_THROW(putU16le(b, -1, 1), std::out_of_range);
  EXPECT_EQ(b[5], 0x12);
}

TEST(FormatsUtil, RequireLenPassesOrRaisesTruncated) {
  EXPECT_EQ(requireLen(10, 10, "png: short"), 10);
  EXPECT_EQ(requireLen(11, 3, "png: short"), 11);
  try {
    requireLen(9, 10, "png: chunk truncated");
    FAIL();
  } catch (const OrvelException& e) {
    EXPECT_STREQ(e.what(), "png: chunk truncated");
    EXPECT_EQ(e.kind(), iekTruncated);
  }
}
