// Adler-32 against zlib's implementation and known values, including the modulo edges.
#include "checksum/adler32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

using orvel::checksum::adler32;
using orvel::checksum::adler32Update;

namespace {

uint32_t zlibAdler(const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(::adler32(1, data.data(), static_cast<uInt>(data.size())));
}

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(Adler32, KnownValues) {
  EXPECT_EQ(adler32({}), 1u);
  EXPECT_EQ(adler32(bytes("a")), 0x00620062u);
  EXPECT_EQ(adler32(bytes("Wikipedia")), 0x11E60398u);
  EXPECT_EQ(adler32(bytes("abc")), 0x024D0127u);
}

TEST(Adler32, MatchesZlibAcrossSizesAndReductionEdges) {
  std::mt19937 rng(3);
  // Runs of 0xFF push both sums to the modulus fastest; sizes straddle 5552 and 64 KiB. The
  // vector code, where the processor has it, and the portable code both run.
  for (bool portable : {false, true}) {
    orvel::checksum::choosePortableAdler32(portable);
    for (size_t size :
         {1u, 15u, 16u, 17u, 31u, 32u, 33u, 5551u, 5552u, 5553u, 32768u, 65536u, 65537u, 300001u}) {
      std::vector<uint8_t> ones(size, 0xFF);
      EXPECT_EQ(adler32(ones), zlibAdler(ones)) << size;
      std::vector<uint8_t> random(size);
      for (auto& b : random) b = static_cast<uint8_t>(rng());
      EXPECT_EQ(adler32(random), zlibAdler(random)) << size;
    }
  }
  orvel::checksum::choosePortableAdler32(false);
}

TEST(Adler32, UpdatesChainInAnySplit) {
  std::vector<uint8_t> data(200000);
  std::mt19937 rng(5);
  for (auto& b : data) b = static_cast<uint8_t>(rng() % 7 == 0 ? 0xFF : rng());
  const uint32_t whole = adler32(data);
  for (size_t split :
       {size_t{0}, size_t{1}, size_t{5552}, size_t{65536}, size_t{123457}, data.size()}) {
    const std::span<const uint8_t> all(data);
    EXPECT_EQ(adler32Update(adler32(all.first(split)), all.subspan(split)), whole) << split;
  }
  // Running values near the modulus are carried correctly.
  const uint32_t high = 65520u << 16 | 65520u;
  EXPECT_EQ(adler32Update(high, data), static_cast<uint32_t>(::adler32(high, data.data(), 200000)));
}
