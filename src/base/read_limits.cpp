#include "base/read_limits.h"

#include <algorithm>

namespace orvel::base {
namespace {

constexpr int64_t kUnlimited = -1;

thread_local constinit int64_t entriesLeft = kUnlimited;
thread_local constinit int64_t outputLeft = kUnlimited;

}  // namespace

ReadLimits::ReadLimits(int64_t entries, int64_t outputBytes) noexcept
    : previousEntries_(entriesLeft), previousOutput_(outputLeft) {
  entriesLeft = std::max<int64_t>(entries, 0);
  outputLeft = std::max<int64_t>(outputBytes, 0);
}

ReadLimits::~ReadLimits() {
  entriesLeft = previousEntries_;
  outputLeft = previousOutput_;
}

bool readLimitsActive() noexcept { return entriesLeft != kUnlimited; }

int64_t grantEntries(int64_t wanted) noexcept {
  if (entriesLeft == kUnlimited) return wanted;
  const int64_t granted = std::clamp<int64_t>(wanted, 0, entriesLeft);
  entriesLeft -= granted;
  return granted;
}

bool mayProduceOutput() noexcept { return outputLeft == kUnlimited || outputLeft > 0; }

void chargeOutput(int64_t bytes) noexcept {
  if (outputLeft != kUnlimited) outputLeft -= std::min(bytes, outputLeft);
}

}  // namespace orvel::base
