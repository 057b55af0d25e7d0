// Raw DEFLATE (RFC 1951): a hardened decoder with an output cap and a work budget, and a
// small greedy encoder that writes one fixed-Huffman block.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "deflate/error.h"

namespace orvel::deflate {

struct InflateResult {
  std::vector<uint8_t> output;
  int64_t consumed = 0;  // byte position after the last input byte whose bits were used
};

// Decodes the DEFLATE stream that starts at byte `start` of `input`, producing at most
// `outputCap` bytes and spending at most `budget` units of work (one per bit read, one per
// byte written). Raises ZepraException on any failure; a negative start is a caller defect
// (std::out_of_range).
InflateResult inflateWithConsumed(std::span<const uint8_t> input, int64_t start, int64_t outputCap,
                                  int64_t budget);

// Compresses the bytes into one final fixed-Huffman block with greedy hash-chain matching.
// Inputs of 2^31 bytes or more are a caller defect (std::length_error).
std::vector<uint8_t> compress(std::span<const uint8_t> input);

}  // namespace orvel::deflate
