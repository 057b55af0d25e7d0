// Compress gives exactly the bytes of the literal encoder kept in the tests, and inflating
// them returns the input, raw and in zlib framing, with the cap set to the exact size. When
// the first byte is odd the rest is folded onto eight values that pair off in the top bit,
// which crowds the match chains past 64 candidates even in short inputs.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/reference_compress.h"
#include "deflate/zlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (size > 0 && (data[0] & 1)) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((b & 3) | (b & 4) << 5);
  }
  const std::span<const uint8_t> input(bytes);
  const auto exact = static_cast<int64_t>(size);
  const std::vector<uint8_t> raw = orvel::deflate::compress(input);
  if (raw != orvel::deflate::reference::compress(input)) __builtin_trap();
  const orvel::deflate::InflateResult back =
      orvel::deflate::inflateWithConsumed(raw, 0, exact, std::numeric_limits<int64_t>::max());
  if (back.output != bytes || back.consumed != static_cast<int64_t>(raw.size())) {
    __builtin_trap();
  }
  const std::vector<uint8_t> wrapped = orvel::deflate::zlibDeflate(input);
  if (orvel::deflate::zlibInflate(wrapped, exact) != bytes) __builtin_trap();
  return 0;
}
