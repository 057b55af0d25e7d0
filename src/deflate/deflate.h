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

struct InflateIntoResult {
  int64_t produced = 0;  // bytes written at the start of the caller's buffer
  int64_t consumed = 0;
};

// The same decoding into the caller's buffer, whose size is the output cap: the same bytes,
// the same failures (a stream holding more than out.size() bytes exceeds the cap). Only the
// produced bytes are written, nothing beyond them, not even zeros; on failure the buffer
// holds whatever was decoded before it.
InflateIntoResult inflateIntoWithConsumed(std::span<const uint8_t> input, int64_t start,
                                          std::span<uint8_t> out, int64_t budget);

// Where the processor offers BMI2 the decoder's inner loop uses it; this picks the portable
// loop instead, so that tests can prove both give the same answers.
void choosePortableInflateLoop(bool portable);

// Compresses the bytes into one final fixed-Huffman block with greedy hash-chain matching.
// Inputs of 2^31 bytes or more are a caller defect (std::length_error).
std::vector<uint8_t> compress(std::span<const uint8_t> input);

// The most bytes compressInto writes for an input of `size` bytes.
size_t compressBound(size_t size);

// The same block written straight into `out`, which holds compressBound(input.size()) bytes;
// returns the block's size. For callers that place the block inside a larger output.
size_t compressInto(std::span<const uint8_t> input, uint8_t* out);

}  // namespace orvel::deflate
