// JPEG marker segments: the one walk over the segments before the image data, shared by the
// metadata readers, the writers and the decoder.
#pragma once

#include <cstdint>
#include <optional>

#include "base/bytes.h"

namespace orvel::container {

using base::ByteView;

inline constexpr uint8_t kMarkerStart = 0xFF;
inline constexpr uint8_t kStartOfImage = 0xD8;
inline constexpr uint8_t kEndOfImage = 0xD9;
inline constexpr uint8_t kStartOfScan = 0xDA;
inline constexpr uint8_t kApp1 = 0xE1;
inline constexpr uint8_t kApp13 = 0xED;
inline constexpr uint8_t kComment = 0xFE;
inline constexpr uint8_t kTemporary = 0x01;  // TEM: a marker without a length
inline constexpr uint8_t kRestart0 = 0xD0;   // RST0 to RST7: markers without a length
inline constexpr uint8_t kRestart7 = 0xD7;

// At least 2 bytes, starting with the start-of-image marker.
bool isJpeg(ByteView data) noexcept;

// One marker segment: 0xFF, the marker, a big-endian length that counts itself and the
// payload, the payload. The length is as stored; the segment may run past the data.
struct JpegSegment {
  int64_t position = 0;  // of the 0xFF
  uint8_t marker = 0;
  int64_t length = 0;

  int64_t payload() const { return position + 4; }
  int64_t end() const { return position + 2 + length; }
  // Whether the whole segment lies inside the data.
  bool fits(ByteView data) const noexcept { return base::inBounds(data, position, 2 + length); }
};

// Why a walk ended.
enum class JpegWalkEnd : uint8_t {
  walking,      // not yet
  dataEnd,      // fewer than 4 bytes remain
  badMarker,    // a byte other than 0xFF where a marker belongs
  startOfScan,  // the image data begins
  endOfImage,   // an end-of-image marker before any scan
  badLength,    // a length below 2, which cannot count itself
  lengthTruncated,  // decoder rules only: a marker whose two length bytes are missing
};

// Where walks differ.
enum class JpegWalkRules : uint8_t {
  // Metadata readers and writers: a byte other than 0xFF where a marker belongs, start of scan,
  // end of image, a length below 2, and fewer than four bytes end the walk.
  segments,
  // An image decoder: fill bytes (0xFF repeated before a marker) are skipped, markers without a
  // length (TEM, RST0 to RST7) are stepped over, and the start-of-scan segment is handed over
  // before the walk ends, leaving position() where the entropy-coded data begins. The data
  // ending at a marker boundary (or within fill bytes) is dataEnd; a marker without its two
  // length bytes is lengthTruncated.
  decoder,
};

// Walks the segments from `start` (just after the start-of-image marker). Every walk, reader or
// writer, stops at the same places; writers decide for themselves what a segment running past
// the data or the bytes after the walk mean.
class JpegSegmentWalk {
 public:
  explicit JpegSegmentWalk(ByteView data, int64_t start = 2,
                           JpegWalkRules rules = JpegWalkRules::segments) noexcept
      : data_(data), position_(start), rules_(rules) {}

  // The next segment, or nothing once the walk has ended.
  std::optional<JpegSegment> next() noexcept;

  JpegWalkEnd ended() const noexcept { return ended_; }
  // Where the walk stands: after it ended, the position of the marker (or bytes) that ended it
  // (with decoder rules, after a start of scan: the end of its segment).
  int64_t position() const noexcept { return position_; }

 private:
  std::optional<JpegSegment> nextAsDecoder() noexcept;
  std::optional<JpegSegment> end(JpegWalkEnd why) noexcept {
    ended_ = why;
    return std::nullopt;
  }

  ByteView data_;
  int64_t position_;
  JpegWalkRules rules_;
  JpegWalkEnd ended_ = JpegWalkEnd::walking;
};

}  // namespace orvel::container
