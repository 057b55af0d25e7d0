// CRC-32 against zlib's implementation over random lengths, alignments and split points, and
// the check value of the standard.
#include "checksum/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string_view>
#include <vector>

using orvel::checksum::crc32;
using orvel::checksum::crc32Update;

TEST(Crc32, CheckValues) {
  const std::string_view check = "123456789";
  EXPECT_EQ(crc32({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
  const std::string_view iend = "IEND";
  EXPECT_EQ(crc32({reinterpret_cast<const uint8_t*>(iend.data()), iend.size()}), 0xAE426082u);
  EXPECT_EQ(crc32({}), 0u);
}

TEST(Crc32, MatchesZlibAtEveryLengthAlignmentAndSplit) {
  std::mt19937 random(7);
  std::vector<uint8_t> data(4096 + 16);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  for (std::size_t length = 0; length < 300; length = length < 40 ? length + 1 : length * 3 / 2) {
    for (std::size_t offset = 0; offset < 9; ++offset) {
      const std::span<const uint8_t> piece(data.data() + offset, length);
      const auto expected =
          static_cast<uint32_t>(::crc32(0, piece.data(), static_cast<uInt>(length)));
      ASSERT_EQ(crc32(piece), expected) << length << " at " << offset;
      const std::size_t split = length / 3;
      ASSERT_EQ(crc32Update(crc32(piece.first(split)), piece.subspan(split)), expected);
    }
  }
  const auto whole = static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
  EXPECT_EQ(crc32(data), whole);
}
