#include "deflate/stream_builder.h"

#include <stdexcept>

#include "deflate/rfc1951_tables.h"

namespace orvel::deflate::testing {

using namespace orvel::deflate::rfc1951;

std::vector<HuffCode> canonicalCodes(const std::vector<int>& lengths) {
  int count[17] = {};
  for (int length : lengths) count[length]++;
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    code = (code + count[length - 1]) << 1;
    next[length] = code;
  }
  std::vector<HuffCode> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = {next[lengths[s]]++, lengths[s]};
  }
  return codes;
}

StreamWriter& StreamWriter::bits(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    accumulator_ |= uint64_t{(value >> i) & 1} << count_;
    if (++count_ == 8) {
      bytes_.push_back(static_cast<uint8_t>(accumulator_));
      accumulator_ = 0;
      count_ = 0;
    }
  }
  return *this;
}

StreamWriter& StreamWriter::code(const HuffCode& code) {
  if (code.length == 0) throw std::logic_error("writing a symbol that has no code");
  for (int i = code.length - 1; i >= 0; --i) bits((code.code >> i) & 1, 1);
  return *this;
}

StreamWriter& StreamWriter::alignToByte() {
  if (count_ > 0) bits(0, 8 - count_);
  return *this;
}

StreamWriter& StreamWriter::byte(uint8_t value) { return bits(value, 8); }

Bytes StreamWriter::finish() {
  alignToByte();
  return bytes_;
}

std::vector<int> fullCodeLengthLengths() {
  std::vector<int> lengths(19, 4);
  for (int s = 13; s < 19; ++s) lengths[s] = 5;
  return lengths;
}

void dynamicHeader(StreamWriter& w, bool final, const std::vector<int>& literalLengths,
                   const std::vector<int>& distanceLengths,
                   const std::vector<int>& codeLengthLengths) {
  w.bits(final ? 1 : 0, 1).bits(2, 2);
  w.bits(static_cast<uint32_t>(literalLengths.size() - 257), 5);
  w.bits(static_cast<uint32_t>(distanceLengths.size() - 1), 5);
  w.bits(19 - 4, 4);
  for (int i = 0; i < 19; ++i) w.bits(static_cast<uint32_t>(codeLengthLengths[kOrder[i]]), 3);
  const std::vector<HuffCode> codes = canonicalCodes(codeLengthLengths);
  for (int length : literalLengths) w.code(codes[length]);
  for (int length : distanceLengths) w.code(codes[length]);
}

std::vector<HuffCode> fixedLiteralCodes() {
  std::vector<int> lengths(288);
  for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return canonicalCodes(lengths);
}

std::vector<HuffCode> fixedDistanceCodes() { return canonicalCodes(std::vector<int>(32, 5)); }

void writeMatch(StreamWriter& w, const std::vector<HuffCode>& literal,
                const std::vector<HuffCode>& distance, int length, int distanceValue) {
  int index = 28;
  if (length < 258) {
    index = 0;
    while (index + 1 < 28 && kLengthBase[index + 1] <= length) ++index;
  }
  w.code(literal[257 + index])
      .bits(static_cast<uint32_t>(length - kLengthBase[index]), kLengthExtra[index]);
  int code = 0;
  while (code + 1 < 30 && kDistanceBase[code + 1] <= distanceValue) ++code;
  w.code(distance[code])
      .bits(static_cast<uint32_t>(distanceValue - kDistanceBase[code]), kDistanceExtra[code]);
}

void storedBlock(StreamWriter& w, bool final, const Bytes& data) {
  w.bits(final ? 1 : 0, 1).bits(0, 2).alignToByte();
  const auto length = static_cast<uint32_t>(data.size());
  w.bits(length, 16).bits(~length & 0xFFFF, 16);
  for (uint8_t b : data) w.byte(b);
}

}  // namespace orvel::deflate::testing
