// Bounds-checked reads of 16- and 32-bit numbers from untrusted bytes, in either byte order.
// A read that does not lie wholly inside the bytes yields 0.
#pragma once

#include <cstdint>
#include <span>

namespace orvel::exif {

using ByteView = std::span<const uint8_t>;

namespace detail {
// While a parse on this thread reads only the head of a longer file: where the head ends, and
// whether the parse asked about anything at or past that end (see HeadWatch).
extern thread_local constinit const uint8_t* watchedHeadEnd;
extern thread_local constinit bool watchedHeadOverrun;
}  // namespace detail

// Every place that consults where a view ends (a failed bounds check, a loop that runs to the
// end, a count clamped to what fits) reports it here. When the view ends where a watched file
// head ends, the answer could differ for the whole file, so the head's result is not used.
inline void noteViewEnd(ByteView view) noexcept {
  if (detail::watchedHeadEnd != nullptr && view.data() + view.size() == detail::watchedHeadEnd) {
    detail::watchedHeadOverrun = true;
  }
}

// True when [position, position + size) lies inside the view; safe for any inputs.
inline bool inBounds(ByteView data, int64_t position, int64_t size) noexcept {
  if (position >= 0 && size >= 0 && position <= static_cast<int64_t>(data.size()) &&
      size <= static_cast<int64_t>(data.size()) - position) {
    return true;
  }
  if (position >= 0 && size >= 0) noteViewEnd(data);
  return false;
}

inline uint16_t readUint16(ByteView data, int64_t position, bool bigEndian) noexcept {
  if (!inBounds(data, position, 2)) return 0;
  const uint8_t* p = data.data() + position;
  return bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1])
                   : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

inline uint32_t readUint32(ByteView data, int64_t position, bool bigEndian) noexcept {
  if (!inBounds(data, position, 4)) return 0;
  const uint8_t* p = data.data() + position;
  if (bigEndian) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
  }
  return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}

inline uint64_t readUint64(ByteView data, int64_t position, bool bigEndian) noexcept {
  uint64_t first = readUint32(data, position, bigEndian);
  uint64_t second = readUint32(data, position + 4, bigEndian);
  return bigEndian ? first << 32 | second : second << 32 | first;
}

}  // namespace orvel::exif
