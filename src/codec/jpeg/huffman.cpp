#include "codec/jpeg/huffman.h"

namespace orvel::codec::jpeg {

HuffmanDecoder::Match HuffmanDecoder::matchLong(uint32_t bits16) const noexcept {
  for (int length = kLookaheadBits + 1; length <= kMaxCodeLength; ++length) {
    const auto code = static_cast<int32_t>(bits16 >> (kMaxCodeLength - length));
    if (code <= maxCode[length]) return {length, symbols[code + symbolOffset[length]]};
  }
  return {0, 0};
}

namespace {

// The look-ahead entries: each prefix tried against every length up to 9, shortest first,
// exactly as the bit-serial comparison would.
void fillLookahead(HuffmanDecoder& table) {
  for (uint32_t prefix = 0; prefix < table.fast.size(); ++prefix) {
    for (int length = 1; length <= kLookaheadBits; ++length) {
      const auto code = static_cast<int32_t>(prefix >> (kLookaheadBits - length));
      if (code > table.maxCode[length]) continue;
      const uint8_t symbol = table.symbols[code + table.symbolOffset[length]];
      table.fast[prefix] = static_cast<uint16_t>(length << 8 | symbol);
      const int size = symbol & 15;
      const int run = symbol >> 4;
      if (size != 0 && length + size <= kLookaheadBits) {
        const uint32_t bits = (prefix >> (kLookaheadBits - length - size)) & ((1u << size) - 1);
        const auto value = static_cast<uint32_t>(extend(bits, size));
        table.fastAc[prefix] = static_cast<int32_t>(value << 16 | run << 8 | (length + size));
      }
      break;
    }
  }
}

}  // namespace

HuffmanDecoder buildHuff(const HuffmanSpec& spec) {
  HuffmanDecoder table;
  table.symbols = spec.symbols;
  table.maxCode.fill(-1);
  // Codes of each length follow on from the previous length's, doubled; over-subscribed
  // counts run past 2^length, where no bits can reach them.
  int32_t code = 0;
  int32_t index = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    const int count = spec.defined ? spec.counts[length - 1] : 0;
    if (count > 0) {
      table.symbolOffset[length] = index - code;
      code += count;
      index += count;
      table.maxCode[length] = code - 1;
    }
    code <<= 1;
  }
  fillLookahead(table);
  return table;
}

HuffmanEncoder buildHuffEnc(const HuffmanCounts& table) {
  HuffmanEncoder codes{};
  uint32_t code = 0;
  int index = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    for (int i = 0; i < table.counts[length - 1]; ++i) {
      codes[table.symbols[index++]] = {static_cast<uint16_t>(code++), static_cast<uint8_t>(length)};
    }
    code <<= 1;
  }
  return codes;
}

}  // namespace orvel::codec::jpeg
