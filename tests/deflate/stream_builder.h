// Hand-made DEFLATE streams for tests: an LSB-first bit writer, canonical codes from code
// lengths, and helpers for stored, fixed and dynamic blocks (valid or deliberately not).
#pragma once

#include <cstdint>
#include <vector>

namespace orvel::deflate::testing {

using Bytes = std::vector<uint8_t>;

struct HuffCode {
  uint32_t code = 0;  // MSB-first value
  int length = 0;
};

// Canonical codes of RFC 1951 for the given lengths (length 0: no code).
std::vector<HuffCode> canonicalCodes(const std::vector<int>& lengths);

class StreamWriter {
 public:
  StreamWriter& bits(uint32_t value, int count);  // LSB first
  StreamWriter& code(const HuffCode& code);       // MSB first
  StreamWriter& alignToByte();
  StreamWriter& byte(uint8_t value);
  Bytes finish();

 private:
  Bytes bytes_;
  uint64_t accumulator_ = 0;
  int count_ = 0;
};

// A code-length code of 19 lengths covering all symbols: 0-12 four bits, 13-18 five bits.
std::vector<int> fullCodeLengthLengths();

// Writes a dynamic block header: BFINAL/BTYPE, HLIT, HDIST, HCLEN = 19 with the given
// code-length code, then the literal and distance lengths one symbol each (no repeats).
void dynamicHeader(StreamWriter& w, bool final, const std::vector<int>& literalLengths,
                   const std::vector<int>& distanceLengths,
                   const std::vector<int>& codeLengthLengths = fullCodeLengthLengths());

// Literal/length and distance codes of the fixed block.
std::vector<HuffCode> fixedLiteralCodes();
std::vector<HuffCode> fixedDistanceCodes();

// A match: the length symbol with its extra bits, then the distance symbol with its extra
// bits, in the given trees.
void writeMatch(StreamWriter& w, const std::vector<HuffCode>& literal,
                const std::vector<HuffCode>& distance, int length, int distanceValue);

// A stored block holding `data`.
void storedBlock(StreamWriter& w, bool final, const Bytes& data);

}  // namespace orvel::deflate::testing
