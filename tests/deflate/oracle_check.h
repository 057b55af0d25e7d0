// Runs the fast decoder and the bit-by-bit reference on the same input and reports any
// difference: output, consumed count, or failure message and kind.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "deflate/deflate.h"
#include "deflate/reference_inflate.h"

namespace orvel::deflate::testing {

inline ::testing::AssertionResult agreesWithReference(std::span<const uint8_t> input, int64_t start,
                                                      int64_t cap, int64_t budget) {
  const reference::Outcome expected = reference::inflate(input, start, cap, budget);
  std::string where = " (size " + std::to_string(input.size()) + ", cap " + std::to_string(cap) +
                      ", budget " + std::to_string(budget) + ")";
  try {
    InflateResult got = inflateWithConsumed(input, start, cap, budget);
    if (!expected.ok) {
      return ::testing::AssertionFailure()
             << "decoded, reference failed: " << expected.message << where;
    }
    if (got.output != expected.output)
      return ::testing::AssertionFailure() << "output differs" << where;
    if (got.consumed != expected.consumed) {
      return ::testing::AssertionFailure()
             << "consumed " << got.consumed << " vs " << expected.consumed << where;
    }
  } catch (const ZepraException& e) {
    if (expected.ok) return ::testing::AssertionFailure() << "failed: " << e.what() << where;
    if (e.what() != expected.message || e.kind() != expected.kind) {
      return ::testing::AssertionFailure()
             << "failed with " << e.what() << "/" << int{e.kind()} << ", reference "
             << expected.message << "/" << expected.kind << where;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace orvel::deflate::testing
