// The one bounded view of untrusted bytes and its readers and writers. Every read of input goes
// through inBounds: a value that does not lie wholly inside the view reads as 0 (or -1 where
// a width is variable), so parsers never touch a byte outside what they were given.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace orvel::base {

using ByteView = std::span<const uint8_t>;
using Bytes = std::vector<uint8_t>;

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

// The byte at position, or 0 outside the view.
inline uint8_t byteAt(ByteView data, int64_t position) noexcept {
  return inBounds(data, position, 1) ? data[static_cast<std::size_t>(position)] : 0;
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
  if (!inBounds(data, position, 8)) return 0;
  const uint64_t first = readUint32(data, position, bigEndian);
  const uint64_t second = readUint32(data, position + 4, bigEndian);
  return bigEndian ? first << 32 | second : second << 32 | first;
}

inline uint16_t readU16le(ByteView data, int64_t position) noexcept {
  return readUint16(data, position, false);
}
inline uint16_t readU16be(ByteView data, int64_t position) noexcept {
  return readUint16(data, position, true);
}
inline uint32_t readU32le(ByteView data, int64_t position) noexcept {
  return readUint32(data, position, false);
}
inline uint32_t readU32be(ByteView data, int64_t position) noexcept {
  return readUint32(data, position, true);
}

// Position of the first byte equal to value at or after `from`, or -1.
int64_t findByte(ByteView data, int64_t from, uint8_t value) noexcept;

// A big-endian unsigned number of 0 to 8 bytes (width 0 gives 0); -1 for a width over 8, a
// negative width or a read outside the view. An 8-byte value above 2^63 reads negative.
int64_t beInt(ByteView data, int64_t position, int width) noexcept;

// Stores into an already sized buffer. A position that leaves no room for the value is a caller
// defect and raises std::out_of_range.
void putU16(std::span<uint8_t> buffer, int64_t position, uint16_t value, bool bigEndian);
void putU32(std::span<uint8_t> buffer, int64_t position, uint32_t value, bool bigEndian);
inline void putU16le(std::span<uint8_t> buffer, int64_t position, uint16_t value) {
  putU16(buffer, position, value, false);
}
inline void putU32le(std::span<uint8_t> buffer, int64_t position, uint32_t value) {
  putU32(buffer, position, value, false);
}
// value big-endian in `width` bytes; bytes beyond the value's eight are 0.
void putBE(std::span<uint8_t> buffer, int64_t position, int width, uint64_t value);

// Whether value can be stored in width bytes: never a negative value or width; any value from
// 8 bytes on.
bool fitsIn(int64_t value, int width) noexcept;

// Appends to a growing sequence.
void appendU16(Bytes& out, uint16_t value, bool bigEndian);
void appendU32(Bytes& out, uint32_t value, bool bigEndian);
inline void appendBytes(Bytes& out, ByteView bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace orvel::base
