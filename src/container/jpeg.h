// JPEG marker segments: the one walk over the segments before the image data, shared by the
// metadata readers, the writers and the decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "base/bytes.h"

namespace orvel::container {

using base::ByteView;

inline constexpr uint8_t kMarkerStart = 0xFF;
inline constexpr uint8_t kStartOfImage = 0xD8;
inline constexpr uint8_t kEndOfImage = 0xD9;
inline constexpr uint8_t kStartOfScan = 0xDA;
inline constexpr uint8_t kApp1 = 0xE1;
inline constexpr uint8_t kApp2 = 0xE2;
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

// How a walk through the image data ended.
enum class JpegScanEnd : uint8_t {
  walking,     // not yet
  endOfImage,  // at the end-of-image marker that ends the image
  dataEnd,     // the data ran out first, or a segment ran past it or could not count itself
};

// Told of each stretch of data a scan walk has searched, in order: [from, to) holds no marker.
// Stretches are at most kJpegSearchBlock long, so a reader copying them finds them in cache;
// the stretch after a segment is searched (and told) only when the walk is asked for the
// segment after it.
using JpegSearched = std::function<void(int64_t from, int64_t to)>;
inline constexpr int64_t kJpegSearchBlock = int64_t{64} << 10;

// Walks the image data from the first start-of-scan marker: every marker segment met up to
// the end-of-image marker that ends the image (the start-of-scan segments and the tables
// between progressive scans), found by searching the entropy-coded data for a 0xFF that is
// followed by neither 0x00 (a stuffed byte), another 0xFF (fill) nor a restart marker. What
// follows that end-of-image marker (trailers, further images) is not the image's.
// For tests: true makes later scan walks search with SSE2 only, not AVX2.
void chooseJpegSearchPortable(bool portable) noexcept;

class JpegScanWalk {
 public:
  JpegScanWalk(ByteView data, int64_t startOfScan, JpegSearched searched = {}) noexcept
      : data_(data), position_(startOfScan), searched_(std::move(searched)) {}

  // The next segment, each lying wholly inside the data; nothing once the walk has ended.
  std::optional<JpegSegment> next();

  JpegScanEnd ended() const noexcept { return ended_; }
  // After the walk: the end-of-image marker's position, or where the data ran out.
  int64_t position() const noexcept { return position_; }

  // Makes the walk lay every stretch it searches at *cursor, advancing it, as it reads the
  // stretch: one pass over the data rather than a search and then a copy. The cursor needs
  // room for all the data not yet searched; a stretch is laid there before it is told.
  void copySearchedTo(uint8_t** cursor) noexcept { copyCursor_ = cursor; }

 private:
  // The first marker at or after `from`, or the data's length when there is none; the stretch
  // searched is reported as it goes.
  int64_t markerFrom(int64_t from) const;
  // The first marker starting in [from, to), or -1; `resume` is where the search goes on.
  int64_t markerIn(int64_t from, int64_t to, int64_t& resume) const noexcept;

  ByteView data_;
  int64_t position_;
  int64_t searchFrom_ = -1;  // where the search for the next marker starts, when pending
  JpegSearched searched_;
  uint8_t** copyCursor_ = nullptr;
  JpegScanEnd ended_ = JpegScanEnd::walking;
};

}  // namespace orvel::container
