// Arbitrary bytes through the fast decoder and the bit-by-bit reference with small caps and
// budgets: both must agree on the output, the consumed count or the failure, and the
// output never exceeds the cap. The first three bytes choose the cap, budget and start.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "deflate/deflate.h"
#include "deflate/reference_inflate.h"
#include "deflate/zlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::span<const uint8_t> all(data, size);
  const int64_t cap = data[0] == 0xFF ? std::numeric_limits<int64_t>::max() : int64_t{data[0]} * 16;
  const int64_t budget =
      data[1] == 0xFF ? std::numeric_limits<int64_t>::max() : int64_t{data[1]} * 64;
  const int64_t start = data[2] % 4;
  const std::span<const uint8_t> stream = all.subspan(3);
  const orvel::deflate::reference::Outcome expected =
      orvel::deflate::reference::inflate(stream, start, cap, budget);
  try {
    const orvel::deflate::InflateResult got =
        orvel::deflate::inflateWithConsumed(stream, start, cap, budget);
    if (!expected.ok || got.output != expected.output || got.consumed != expected.consumed ||
        static_cast<int64_t>(got.output.size()) > cap) {
      __builtin_trap();
    }
  } catch (const orvel::deflate::ZepraException& e) {
    if (expected.ok || expected.message != e.what() || expected.kind != e.kind()) __builtin_trap();
  }
  try {
    const auto out = orvel::deflate::zlibInflate(stream, cap);
    if (static_cast<int64_t>(out.size()) > cap) __builtin_trap();
  } catch (const orvel::deflate::ZepraException&) {
  }
  return 0;
}
