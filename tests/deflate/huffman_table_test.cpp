// Decode tables: no accepted code-length set can overflow them (an exhaustive check over
// small alphabets, random and deliberately deep sets over the real ones), and every code
// finds its own symbol.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "deflate/huffman.h"

using namespace orvel::deflate;

namespace {

// Lengths for a count vector: symbols in order, shortest codes first.
std::vector<uint8_t> lengthsOf(const std::vector<int>& count) {
  std::vector<uint8_t> lengths;
  for (int length = 1; length < static_cast<int>(count.size()); ++length) {
    lengths.insert(lengths.end(), count[length], static_cast<uint8_t>(length));
  }
  return lengths;
}

int usedEntries(const std::vector<uint8_t>& lengths, TreeKind kind, int rootBits) {
  std::vector<uint32_t> table(1 << 16);
  return fillTable(lengths, kind, rootBits, table);
}

// Every complete count vector with up to `symbols` codes (lengths 1..15).
void forEachCompleteCode(int symbols, std::vector<int>& count, int length, int64_t open, int used,
                         int& visited, int& worst, int rootBits) {
  if (open == 0) {
    ++visited;
    worst = std::max(worst, usedEntries(lengthsOf(count), tkLiteral, rootBits));
    return;
  }
  if (length > kMaxCodeLength || open > symbols - used) return;
  for (int64_t take = 0; take <= open && used + take <= symbols; ++take) {
    count[length] = static_cast<int>(take);
    forEachCompleteCode(symbols, count, length + 1, (open - take) * 2,
                        used + static_cast<int>(take), visited, worst, rootBits);
  }
  count[length] = 0;
}

// A random complete code: split random leaves (deep ones preferred when asked) until
// there are `symbols` leaves, never deeper than 15.
std::vector<uint8_t> randomCompleteLengths(int symbols, std::mt19937& rng, bool deep) {
  std::vector<uint8_t> depths = {1, 1};
  while (static_cast<int>(depths.size()) < symbols) {
    size_t pick = rng() % depths.size();
    if (deep && rng() % 4)
      pick = std::max_element(depths.begin(), depths.end() - 0) - depths.begin();
    if (depths[pick] >= kMaxCodeLength) {
      pick = std::min_element(depths.begin(), depths.end()) - depths.begin();
      if (depths[pick] >= kMaxCodeLength) break;
    }
    ++depths[pick];
    depths.push_back(depths[pick]);
  }
  std::shuffle(depths.begin(), depths.end(), rng);
  return depths;
}

// Checks that every code of the set looks up its own symbol.
void expectEveryCodeFound(const std::vector<uint8_t>& lengths, TreeKind kind, int rootBits) {
  std::vector<uint32_t> table(1 << 16);
  fillTable(lengths, kind, rootBits, table);
  const CanonicalCode canonical = buildHuff(lengths, kind);
  int index = 0;
  uint32_t code = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    for (int i = 0; i < canonical.count[length]; ++i, ++code, ++index) {
      const uint32_t bits = reverseBits(code, length);
      uint32_t entry = table[bits & ((1u << rootBits) - 1)];
      if (entry & kEntrySubtable) {
        entry = table[entryValue(entry) + ((bits >> rootBits) & ((1u << entryBits(entry)) - 1))];
      }
      if (entry & kEntryPair) entry = (entry & 0x00FFFF1F) - entryExtra(entry);  // first only
      ASSERT_EQ(entry, codeEntry(canonical.symbols[index], kind, length));
    }
    code <<= 1;
  }
}

}  // namespace

TEST(HuffmanTables, BoundHoldsForEveryCompleteCodeOfSmallAlphabets) {
  for (int rootBits : {4, 5, 6}) {
    for (int symbols : {10, 13, 16}) {
      std::vector<int> count(kMaxCodeLength + 1, 0);
      int visited = 0;
      int worst = 0;
      forEachCompleteCode(symbols, count, 1, 2, 0, visited, worst, rootBits);
      EXPECT_GT(visited, 30);
      EXPECT_LE(worst, maxTableEntries(symbols, rootBits))
          << symbols << " symbols, root " << rootBits;
    }
  }
}

TEST(HuffmanTables, TableSizesAreTheComputedBounds) {
  EXPECT_EQ(kLiteralTableSize, maxTableEntries(kMaxLiteralSymbols, kLiteralRootBits));
  EXPECT_EQ(kDistanceTableSize, maxTableEntries(kMaxDistanceSymbols, kDistanceRootBits));
}

TEST(HuffmanTables, BoundHoldsForRandomAndDeepSets) {
  std::mt19937 rng(1);
  int worstLiteral = 0;
  int worstDistance = 0;
  for (int round = 0; round < 3000; ++round) {
    const bool deep = round % 2;
    auto lit = randomCompleteLengths(static_cast<int>(rng() % 287) + 2, rng, deep);
    lit.resize(kMaxLiteralSymbols, 0);
    (void)buildHuff(lit, tkLiteral);  // accepted
    worstLiteral = std::max(worstLiteral, usedEntries(lit, tkLiteral, kLiteralRootBits));
    auto dist = randomCompleteLengths(static_cast<int>(rng() % 31) + 2, rng, deep);
    dist.resize(kMaxDistanceSymbols, 0);
    worstDistance = std::max(worstDistance, usedEntries(dist, tkDistance, kDistanceRootBits));
    if (round % 100 == 0) {
      expectEveryCodeFound(lit, tkLiteral, kLiteralRootBits);
      expectEveryCodeFound(dist, tkDistance, kDistanceRootBits);
    }
  }
  EXPECT_LE(worstLiteral, kLiteralTableSize);
  EXPECT_LE(worstDistance, kDistanceTableSize);
  // The widest canonical shapes: as many 15-bit codes as the alphabet allows.
  for (int symbols : {30, 100, 288}) {
    std::vector<int> count(kMaxCodeLength + 1, 0);
    int left = symbols;
    int64_t open = 2;
    for (int length = 1; length <= kMaxCodeLength; ++length, open *= 2) {
      // keep as many slots open as the remaining symbols can still fill at depth 15
      while (open > 0 && (open - 1) * (int64_t{1} << (kMaxCodeLength - length)) >= left - 1 &&
             left > 1 && length < kMaxCodeLength) {
        ++count[length];
        --open;
        --left;
      }
      if (length == kMaxCodeLength) count[length] = static_cast<int>(open);
    }
    auto lengths = lengthsOf(count);
    if (static_cast<int>(lengths.size()) > kMaxLiteralSymbols) continue;
    const int64_t kraft = [&] {
      int64_t sum = 0;
      for (uint8_t l : lengths) sum += int64_t{1} << (kMaxCodeLength - l);
      return sum;
    }();
    if (kraft != int64_t{1} << kMaxCodeLength) continue;
    EXPECT_LE(usedEntries(lengths, tkLiteral, kLiteralRootBits), kLiteralTableSize);
    expectEveryCodeFound(lengths, tkLiteral, kLiteralRootBits);
  }
}

TEST(HuffmanTables, LoneCodesLeaveTheRestInvalid) {
  for (int length : {1, 7, 12, 15}) {
    std::vector<uint8_t> lengths(kMaxDistanceSymbols, 0);
    lengths[5] = static_cast<uint8_t>(length);
    (void)buildHuff(lengths, tkDistance);
    std::vector<uint32_t> table(kDistanceTableSize);
    fillTable(lengths, tkDistance, kDistanceRootBits, table);
    expectEveryCodeFound(lengths, tkDistance, kDistanceRootBits);
    EXPECT_TRUE(table[1] & kEntryInvalid);  // a leading 1 starts no code
  }
  EXPECT_THROW(buildHuff(std::vector<uint8_t>(19, 0), tkCodeLength), ZepraException);
  EXPECT_THROW(buildHuff(std::vector<uint8_t>{1, 0, 0}, tkCodeLength), ZepraException);
  EXPECT_THROW(buildHuff(std::vector<uint8_t>{16, 1, 1}, tkLiteral), ZepraException);
}

TEST(HuffmanTables, TooSmallATableIsADefectNotAnOverflow) {
  std::vector<uint8_t> lengths(20, 0);
  for (int s = 0; s < 14; ++s) lengths[s] = static_cast<uint8_t>(s + 1);
  lengths[14] = 15;
  lengths[15] = 15;
  std::vector<uint32_t> table((1 << kDistanceRootBits) + 3);
  EXPECT_THROW(fillTable(lengths, tkDistance, kDistanceRootBits, table), std::logic_error);
}
