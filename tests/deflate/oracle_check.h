// Runs the fast decoder and the bit-by-bit reference on the same input and reports any
// difference: output, consumed count, or failure message and kind. The decoder into a
// caller's buffer runs too, with a buffer as large as the cap, and must give the same answer
// and leave every byte past its output untouched.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/reference_inflate.h"
#include "deflate/zlib.h"

namespace orvel::deflate::testing {

inline constexpr uint8_t kUntouched = 0xA5;

// What a decode gave: its output or its failure.
struct Answer {
  bool ok = false;
  std::vector<uint8_t> output;
  int64_t consumed = 0;
  std::string message;
  int kind = -1;
};

inline Answer decodedAs(std::vector<uint8_t> output, int64_t consumed = 0) {
  return {true, std::move(output), consumed, {}, -1};
}

inline std::string describe(const Answer& a) {
  return a.ok ? "ok, " + std::to_string(a.output.size()) + " bytes, consumed " +
                    std::to_string(a.consumed)
              : a.message + "/" + std::to_string(a.kind);
}

inline ::testing::AssertionResult sameAnswer(const Answer& got, const Answer& expected,
                                             const std::string& what) {
  if (got.ok == expected.ok && got.output == expected.output && got.consumed == expected.consumed &&
      got.message == expected.message && got.kind == expected.kind) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << what << ": " << describe(got) << ", expected " << describe(expected);
}

inline Answer answerOf(const std::function<Answer()>& decode) {
  try {
    return decode();
  } catch (const ZepraException& e) {
    return {false, {}, 0, e.what(), e.kind()};
  }
}

// Decodes into a buffer of `size` bytes filled with a marker, through `decode` (which
// returns the produced and consumed counts), and checks the marker survives past the output.
inline Answer answerInto(size_t size,
                         const std::function<InflateIntoResult(std::span<uint8_t>)>& decode,
                         bool& touchedBeyond) {
  std::vector<uint8_t> buffer(size, kUntouched);
  Answer answer = answerOf([&] {
    const InflateIntoResult r = decode(buffer);
    return decodedAs(std::vector<uint8_t>(buffer.begin(), buffer.begin() + r.produced), r.consumed);
  });
  touchedBeyond = false;
  if (answer.ok) {
    for (size_t i = answer.output.size(); i < size; ++i) touchedBeyond |= buffer[i] != kUntouched;
  }
  return answer;
}

// Caps too large to allocate are tried into a buffer of the expected size when the reference
// decoded, and not at all otherwise.
inline constexpr int64_t kLargestBuffer = 1 << 24;

inline ::testing::AssertionResult agreesWithReference(std::span<const uint8_t> input, int64_t start,
                                                      int64_t cap, int64_t budget) {
  const reference::Outcome r = reference::inflate(input, start, cap, budget);
  const Answer expected{r.ok, r.output, r.consumed, r.message, r.kind};
  const std::string where = " (size " + std::to_string(input.size()) + ", cap " +
                            std::to_string(cap) + ", budget " + std::to_string(budget) + ")";
  const Answer got = answerOf([&] {
    InflateResult result = inflateWithConsumed(input, start, cap, budget);
    return decodedAs(std::move(result.output), result.consumed);
  });
  if (auto same = sameAnswer(got, expected, "vector" + where); !same) return same;
  const int64_t size = cap <= kLargestBuffer ? std::max<int64_t>(cap, 0)
                       : expected.ok         ? static_cast<int64_t>(expected.output.size())
                                             : -1;
  if (size < 0) return ::testing::AssertionSuccess();
  bool touched = false;
  const Answer into = answerInto(
      static_cast<size_t>(size),
      [&](std::span<uint8_t> out) { return inflateIntoWithConsumed(input, start, out, budget); },
      touched);
  if (touched) return ::testing::AssertionFailure() << "wrote past its output" << where;
  return sameAnswer(into, expected, "into" + where);
}

// zlibInflateInto with a buffer of `cap` bytes answers exactly as zlibInflate with that cap.
inline ::testing::AssertionResult zlibIntoAgrees(std::span<const uint8_t> stream, int64_t cap) {
  const Answer expected = answerOf([&] { return decodedAs(zlibInflate(stream, cap)); });
  bool touched = false;
  const Answer into = answerInto(
      static_cast<size_t>(cap),
      [&](std::span<uint8_t> out) {
        return InflateIntoResult{zlibInflateInto(stream, out), 0};
      },
      touched);
  if (touched) return ::testing::AssertionFailure() << "wrote past its output, cap " << cap;
  return sameAnswer(into, expected, "zlib into, cap " + std::to_string(cap));
}

}  // namespace orvel::deflate::testing
