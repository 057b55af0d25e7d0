#include "codec/webp/webp.h"

#include <gtest/gtest.h>

#include <random>

#include "codec/raster_reference.h"
#include "codec/webp/prefix_code.h"

namespace orvel::codec::webp {
namespace {

// cwebp's lossless files at every effort, with alpha and -exact, small, odd and large, simple
// and extended, ALPH planes, and every refusal, against dwebp.
TEST(Webp, ReadsLikeDwebp) { orvel::testing::checkAgainstReferences("webp", decodeWebp, nullptr); }

// The canonical code of `lengths` read one bit at a time: the first (shortest) code that the
// bits read so far spell is the symbol; nothing within 15 bits is no symbol (length -1).
std::pair<int, int> decodeBitByBit(const std::vector<uint8_t>& lengths, uint64_t bits) {
  int used = 0;
  int only = 0;
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) ++used, only = static_cast<int>(s);
  }
  if (used == 1) return {only, 0};
  uint32_t code = 0;
  for (int length = 1; length <= 15; ++length) {
    code = code << 1 | static_cast<uint32_t>(bits >> (length - 1) & 1);
    uint32_t next = 0;  // the first code of this length
    for (int shorter = 1; shorter < length; ++shorter) {
      next += static_cast<uint32_t>(std::count(lengths.begin(), lengths.end(), shorter));
      next <<= 1;
    }
    for (size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] != length) continue;
      if (next == code && next < (1u << length)) return {static_cast<int>(s), length};
      ++next;
    }
  }
  return {-1, -1};
}

// Complete, incomplete and over-subscribed codes (files may declare any of them) decode as the
// bit-by-bit reader does, and their tables stay inside the arena (checked under ASan).
TEST(Webp, PrefixCodesOfAnyLengthsDecodeAsReadBitByBit) {
  std::mt19937 random(17);
  for (int trial = 0; trial < 3000; ++trial) {
    const int alphabet = std::uniform_int_distribution<int>(1, 2328)(random);
    std::vector<uint8_t> lengths(static_cast<size_t>(alphabet), 0);
    const int used = std::uniform_int_distribution<int>(
        0, std::min(alphabet, trial % 3 == 0 ? 600 : 12))(random);
    const int longest = std::uniform_int_distribution<int>(1, 15)(random);
    for (int i = 0; i < used; ++i) {
      lengths[std::uniform_int_distribution<size_t>(0, lengths.size() - 1)(random)] =
          static_cast<uint8_t>(std::uniform_int_distribution<int>(1, longest)(random));
    }
    std::vector<PrefixEntry> arena;
    const PrefixCodeRef ref = buildPrefixCode(lengths, arena);
    const PrefixCode code{arena.data() + ref.offset, ref.rootMask};
    for (int probe = 0; probe < 40; ++probe) {
      const uint64_t bits = (uint64_t{random()} << 32) | random();
      BitReader reader(base::ByteView(reinterpret_cast<const uint8_t*>(&bits), 8));
      reader.fill();
      const PrefixEntry entry = code.lookup(reader);
      const auto [symbol, length] = decodeBitByBit(lengths, bits);
      if (length < 0) {
        ASSERT_EQ(entry.bits, kNoCode) << trial;
      } else {
        ASSERT_EQ(entry.value, symbol) << trial;
        ASSERT_EQ(entry.bits, length) << trial;
      }
    }
  }
}

}  // namespace
}  // namespace orvel::codec::webp
