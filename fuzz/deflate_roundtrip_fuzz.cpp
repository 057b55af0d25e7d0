// Compress followed by inflate returns the input, raw and in zlib framing, with the cap set
// to the exact size.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/zlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  const auto exact = static_cast<int64_t>(size);
  const std::vector<uint8_t> raw = orvel::deflate::compress(input);
  const orvel::deflate::InflateResult back =
      orvel::deflate::inflateWithConsumed(raw, 0, exact, std::numeric_limits<int64_t>::max());
  if (back.output.size() != size || !std::equal(back.output.begin(), back.output.end(), data) ||
      back.consumed != static_cast<int64_t>(raw.size())) {
    __builtin_trap();
  }
  const std::vector<uint8_t> wrapped = orvel::deflate::zlibDeflate(input);
  const std::vector<uint8_t> again = orvel::deflate::zlibInflate(wrapped, exact);
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
  return 0;
}
