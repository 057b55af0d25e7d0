// Runs the fast decoder and the bit-by-bit reference on the same input and reports any
// difference: output, consumed count, or failure message and kind. The decoder into a
// caller's buffer runs too, with a buffer as large as the cap, and must give the same answer
// and leave every byte past its output untouched.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/reference_inflate.h"
#include "deflate/zlib.h"

namespace orvel::deflate::testing {

// What a decode gave: its output and consumed count, or its failure ("message/kind").
struct Answer {
  std::vector<uint8_t> output;
  int64_t consumed = 0;
  std::string failure;
  bool operator==(const Answer&) const = default;
};

template <typename Decode>
Answer answerOf(Decode decode) {
  try {
    return decode();
  } catch (const ZepraException& e) {
    return {{}, 0, std::string(e.what()) + "/" + std::to_string(e.kind())};
  }
}

// Decodes into `size` marked bytes; `decode` gives the produced and consumed counts. After a
// decode no byte past the output may have changed.
template <typename Decode>
Answer answerInto(size_t size, Decode decode) {
  std::vector<uint8_t> buffer(size, 0xA5);
  Answer answer = answerOf([&] {
    const InflateIntoResult r = decode(std::span<uint8_t>(buffer));
    return Answer{{buffer.begin(), buffer.begin() + r.produced}, r.consumed, {}};
  });
  const auto past = buffer.begin() + static_cast<long>(answer.output.size());
  if (answer.failure.empty() &&
      std::any_of(past, buffer.end(), [](uint8_t b) { return b != 0xA5; })) {
    answer.failure = "wrote past its output";
  }
  return answer;
}

inline ::testing::AssertionResult same(const Answer& got, const Answer& expected,
                                       const std::string& where) {
  if (got == expected) return ::testing::AssertionSuccess();
  auto text = [](const Answer& a) {
    return a.failure.empty()
               ? std::to_string(a.output.size()) + " bytes, consumed " + std::to_string(a.consumed)
               : a.failure;
  };
  return ::testing::AssertionFailure()
         << where << ": " << text(got) << ", expected " << text(expected);
}

inline ::testing::AssertionResult agreesWithReference(std::span<const uint8_t> input, int64_t start,
                                                      int64_t cap, int64_t budget) {
  const reference::Outcome r = reference::inflate(input, start, cap, budget);
  const Answer expected = r.ok ? Answer{r.output, r.consumed, {}}
                               : Answer{{}, 0, r.message + "/" + std::to_string(r.kind)};
  const std::string where = " (size " + std::to_string(input.size()) + ", cap " +
                            std::to_string(cap) + ", budget " + std::to_string(budget) + ")";
  const Answer got = answerOf([&] {
    InflateResult result = inflateWithConsumed(input, start, cap, budget);
    return Answer{std::move(result.output), result.consumed, {}};
  });
  if (auto agree = same(got, expected, "vector" + where); !agree) return agree;
  // A cap too large to allocate is tried with the exact size when the reference decoded.
  if (cap > (1 << 24) && !r.ok) return ::testing::AssertionSuccess();
  const int64_t size = cap > (1 << 24) ? static_cast<int64_t>(r.output.size()) : cap;
  const Answer into = answerInto(static_cast<size_t>(std::max<int64_t>(size, 0)), [&](auto out) {
    return inflateIntoWithConsumed(input, start, out, budget);
  });
  return same(into, expected, "into" + where);
}

// zlibInflateInto with a buffer of `cap` bytes answers exactly as zlibInflate with that cap.
inline ::testing::AssertionResult zlibIntoAgrees(std::span<const uint8_t> stream, int64_t cap) {
  const Answer expected = answerOf([&] { return Answer{zlibInflate(stream, cap), 0, {}}; });
  const Answer into = answerInto(static_cast<size_t>(cap), [&](auto out) {
    return InflateIntoResult{zlibInflateInto(stream, out), 0};
  });
  return same(into, expected, "zlib into, cap " + std::to_string(cap));
}

}  // namespace orvel::deflate::testing
