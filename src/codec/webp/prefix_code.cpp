#include "codec/webp/prefix_code.h"

#include <algorithm>
#include <array>

namespace orvel::codec::webp {
namespace {

constexpr int kRootBits = 8;

uint32_t reversed(uint32_t code, int length) {
  uint32_t out = 0;
  for (int i = 0; i < length; ++i, code >>= 1) out = out << 1 | (code & 1);
  return out;
}

// One reachable code: its symbol, length and bits in reading order (first bit lowest).
struct Code {
  uint16_t symbol;
  uint8_t length;
  uint32_t bits;
};

// The canonical codes of the used symbols, shortest first, symbols ascending within a length.
// Over-subscribed lengths give code values that do not fit their length: no bits ever match
// them, so they are left out.
std::vector<Code> canonicalCodes(std::span<const uint8_t> lengths) {
  std::array<uint32_t, kMaxCodeLength + 1> count{};
  for (uint8_t length : lengths) ++count[length];
  count[0] = 0;
  std::array<uint32_t, kMaxCodeLength + 1> next{};
  std::array<uint32_t, kMaxCodeLength + 2> start{};  // position of each length in the order
  uint32_t code = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    code = (code + count[length - 1]) << 1;
    next[length] = code;
    start[length + 1] = start[length] + count[length];
  }
  std::vector<Code> sorted(start[kMaxCodeLength + 1]);
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const int length = lengths[symbol];
    if (length == 0) continue;
    const uint32_t value = next[length]++;
    const uint32_t bits = value < (1u << length) ? reversed(value, length) : UINT32_MAX;
    sorted[start[length]++] = {static_cast<uint16_t>(symbol), static_cast<uint8_t>(length), bits};
  }
  std::erase_if(sorted, [](const Code& c) { return c.bits == UINT32_MAX; });
  return sorted;
}

// Claims every free slot of `table` whose low `indexBits` match: a slot already holding a
// shorter code keeps it, as the bit-by-bit reader stops at the shorter match.
void claim(PrefixEntry* table, uint32_t size, uint32_t index, int step, PrefixEntry entry) {
  for (uint32_t i = index; i < size; i += uint32_t{1} << step) {
    if (table[i].bits == kNoCode) table[i] = entry;
  }
}

}  // namespace

PrefixCodeRef buildPrefixCode(std::span<const uint8_t> lengths, std::vector<PrefixEntry>& arena) {
  PrefixCodeRef ref;
  ref.offset = static_cast<uint32_t>(arena.size());
  int maxLength = 0;
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] == 0) continue;
    ++ref.usedSymbols;
    ref.onlySymbol = static_cast<uint16_t>(symbol);
    maxLength = std::max<int>(maxLength, lengths[symbol]);
  }
  if (ref.usedSymbols <= 1) {  // one symbol takes no bits; none matches nothing
    arena.push_back(ref.usedSymbols == 1 ? PrefixEntry{ref.onlySymbol, 0} : PrefixEntry{0, kNoCode});
    return ref;
  }
  const int rootBits = std::min(maxLength, kRootBits);
  const uint32_t rootSize = uint32_t{1} << rootBits;
  ref.rootMask = rootSize - 1;
  arena.resize(arena.size() + rootSize, PrefixEntry{0, kNoCode});
  const std::vector<Code> codes = canonicalCodes(lengths);
  for (const Code& c : codes) {
    if (c.length > rootBits) break;
    claim(arena.data() + ref.offset, rootSize, c.bits, c.length, {c.symbol, c.length});
  }
  if (maxLength <= kRootBits) return ref;

  // Each root slot that longer codes reach, and no short code holds, links to a table sized
  // for the longest code reaching it.
  std::array<uint8_t, 1 << kRootBits> subBits{};
  for (const Code& c : codes) {
    const uint32_t slot = c.bits & ref.rootMask;
    if (c.length > kRootBits && arena[ref.offset + slot].bits == kNoCode) {
      subBits[slot] = std::max<uint8_t>(subBits[slot], static_cast<uint8_t>(c.length - kRootBits));
    }
  }
  for (uint32_t slot = 0; slot < rootSize; ++slot) {
    if (subBits[slot] == 0) continue;
    const uint32_t link = static_cast<uint32_t>(arena.size()) - ref.offset;
    arena[ref.offset + slot] = {static_cast<uint16_t>(link), static_cast<uint8_t>(kLinkBits + subBits[slot])};
    arena.resize(arena.size() + (size_t{1} << subBits[slot]), PrefixEntry{0, kNoCode});
  }
  for (const Code& c : codes) {
    const PrefixEntry root = arena[ref.offset + (c.bits & ref.rootMask)];
    if (c.length <= kRootBits || root.bits < kLinkBits || root.bits == kNoCode) continue;
    const int indexBits = root.bits - kLinkBits;
    claim(arena.data() + ref.offset + root.value, uint32_t{1} << indexBits, c.bits >> kRootBits,
          c.length - kRootBits, {c.symbol, c.length});
  }
  return ref;
}

}  // namespace orvel::codec::webp
