// Arbitrary bytes through the fast decoder and the bit-by-bit reference with small caps and
// budgets: both must agree on the output, the consumed count or the failure, and the
// output never exceeds the cap. The decoder into a caller's buffer must agree too and write
// nothing past its output; zlibInflateInto must answer as zlibInflate. The first three bytes
// choose the cap, budget, start and whether the portable inner loop runs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/reference_inflate.h"
#include "deflate/zlib.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;

struct Answer {
  std::vector<uint8_t> output;
  int64_t consumed = 0;
  std::optional<std::string> failure;
  int kind = -1;
  bool operator==(const Answer&) const = default;
};

// Decodes into a marked buffer of `size` bytes and traps on a byte written past the output.
template <typename Decode>
Answer intoBuffer(size_t size, Decode decode) {
  std::vector<uint8_t> buffer(size, kUntouched);
  Answer answer;
  try {
    const orvel::deflate::InflateIntoResult r = decode(std::span<uint8_t>(buffer));
    answer.output.assign(buffer.begin(), buffer.begin() + r.produced);
    answer.consumed = r.consumed;
    for (size_t i = answer.output.size(); i < size; ++i) {
      if (buffer[i] != kUntouched) __builtin_trap();
    }
  } catch (const orvel::deflate::ZepraException& e) {
    answer.failure = e.what();
    answer.kind = e.kind();
  }
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::span<const uint8_t> all(data, size);
  const int64_t cap = data[0] == 0xFF ? std::numeric_limits<int64_t>::max() : int64_t{data[0]} * 16;
  const int64_t budget =
      data[1] == 0xFF ? std::numeric_limits<int64_t>::max() : int64_t{data[1]} * 64;
  const int64_t start = data[2] % 4;
  orvel::deflate::choosePortableInflateLoop(data[2] & 4);
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
  // A buffer as large as the cap; an unlimited cap is tried with the exact size when known.
  const bool unlimited = data[0] == 0xFF;
  if (!unlimited || expected.ok) {
    const size_t bufferSize = unlimited ? expected.output.size() : static_cast<size_t>(cap);
    const Answer into = intoBuffer(bufferSize, [&](std::span<uint8_t> out) {
      return orvel::deflate::inflateIntoWithConsumed(stream, start, out, budget);
    });
    const Answer reference = expected.ok ? Answer{expected.output, expected.consumed, {}, -1}
                                         : Answer{{}, 0, expected.message, expected.kind};
    if (!(into == reference)) __builtin_trap();
  }
  const int64_t zlibCap = unlimited ? 1 << 16 : cap;
  Answer vector;
  try {
    vector.output = orvel::deflate::zlibInflate(stream, zlibCap);
    if (static_cast<int64_t>(vector.output.size()) > zlibCap) __builtin_trap();
  } catch (const orvel::deflate::ZepraException& e) {
    vector.failure = e.what();
    vector.kind = e.kind();
  }
  const Answer into = intoBuffer(static_cast<size_t>(zlibCap), [&](std::span<uint8_t> out) {
    return orvel::deflate::InflateIntoResult{orvel::deflate::zlibInflateInto(stream, out), 0};
  });
  if (!(into == vector)) __builtin_trap();
  return 0;
}
