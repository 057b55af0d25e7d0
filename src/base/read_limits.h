// Bounds on the work one read of untrusted bytes may cause. Each directory offset is read once,
// yet a hostile file can hold thousands of overlapping directories, or thousands of entries that
// all name one large region: unbounded, a 16 MiB file has gigabytes of text rendered (or value
// bytes copied) from it. No camera file comes near either bound.
#pragma once

#include <cstdint>

namespace orvel::base {

inline constexpr int64_t kEntriesPerRead = int64_t{1} << 20;
inline constexpr int64_t kOutputBytesPerRead = int64_t{64} << 20;
// Values this small need not be counted against the output limit: the entry limit bounds them.
inline constexpr int64_t kUncountedValueBytes = 64;

// Fresh limits for the reads on this thread during its lifetime; outside one, nothing is bounded.
class ReadLimits {
 public:
  explicit ReadLimits(int64_t entries = kEntriesPerRead,
                      int64_t outputBytes = kOutputBytesPerRead) noexcept;
  ~ReadLimits();
  ReadLimits(const ReadLimits&) = delete;
  ReadLimits& operator=(const ReadLimits&) = delete;

 private:
  int64_t previousEntries_;
  int64_t previousOutput_;
};

// Whether limits are installed on this thread.
bool readLimitsActive() noexcept;

// How many of `wanted` directory entries may still be read; counts them as read.
int64_t grantEntries(int64_t wanted) noexcept;

// Whether values may still be rendered as text or copied, and the charge for what was.
bool mayProduceOutput() noexcept;
void chargeOutput(int64_t bytes) noexcept;

}  // namespace orvel::base
