// A plain, bit-by-bit DEFLATE decoder kept as the oracle for the fast one: one bit at a
// time through canonical code counts, a 32-bit buffer refilled a byte at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvel::deflate::reference {

struct Outcome {
  bool ok = false;
  std::vector<uint8_t> output;
  int64_t consumed = 0;
  std::string message;  // on failure
  int kind = -1;        // on failure: the ZepraErrorKind value
};

Outcome inflate(std::span<const uint8_t> input, int64_t start, int64_t cap, int64_t budget);

}  // namespace orvel::deflate::reference
