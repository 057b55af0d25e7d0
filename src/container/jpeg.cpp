#include "container/jpeg.h"

namespace orvel::container {

bool isJpeg(ByteView data) noexcept {
  return data.size() >= 2 && data[0] == kMarkerStart && data[1] == kStartOfImage;
}

std::optional<JpegSegment> JpegSegmentWalk::next() noexcept {
  if (ended_ != JpegWalkEnd::walking) return std::nullopt;
  if (rules_ == JpegWalkRules::decoder) return nextAsDecoder();
  // A bounds check rather than a length comparison, so that a walk reaching the end is noticed.
  if (!base::inBounds(data_, position_, 4)) {
    ended_ = JpegWalkEnd::dataEnd;
    return std::nullopt;
  }
  // The four bytes are inside: read them as one.
  const uint32_t head = base::readU32be(data_, position_);
  const auto lead = static_cast<uint8_t>(head >> 24);
  const auto marker = static_cast<uint8_t>(head >> 16);
  const int64_t length = head & 0xFFFF;
  if (lead != kMarkerStart) {
    ended_ = JpegWalkEnd::badMarker;
  } else if (marker == kStartOfScan) {
    ended_ = JpegWalkEnd::startOfScan;
  } else if (marker == kEndOfImage) {
    ended_ = JpegWalkEnd::endOfImage;
  } else if (length < 2) {
    ended_ = JpegWalkEnd::badLength;
  }
  if (ended_ != JpegWalkEnd::walking) return std::nullopt;
  const JpegSegment segment{position_, marker, length};
  position_ = segment.end();
  return segment;
}

std::optional<JpegSegment> JpegSegmentWalk::nextAsDecoder() noexcept {
  for (;;) {
    if (!base::inBounds(data_, position_, 1)) return end(JpegWalkEnd::dataEnd);
    if (data_[position_] != kMarkerStart) return end(JpegWalkEnd::badMarker);
    int64_t lead = position_;  // the last 0xFF before the marker
    while (base::byteAt(data_, lead + 1) == kMarkerStart) ++lead;
    if (!base::inBounds(data_, lead + 1, 1)) {
      position_ = lead + 1;
      return end(JpegWalkEnd::dataEnd);
    }
    position_ = lead;
    const uint8_t marker = data_[lead + 1];
    if (marker == kEndOfImage) return end(JpegWalkEnd::endOfImage);
    if (marker == kTemporary || (marker >= kRestart0 && marker <= kRestart7)) {
      position_ = lead + 2;
      continue;
    }
    if (!base::inBounds(data_, lead + 2, 2)) return end(JpegWalkEnd::lengthTruncated);
    const int64_t length = base::readU16be(data_, lead + 2);
    if (length < 2) return end(JpegWalkEnd::badLength);
    const JpegSegment segment{lead, marker, length};
    position_ = segment.end();
    if (marker == kStartOfScan) ended_ = JpegWalkEnd::startOfScan;
    return segment;
  }
}

}  // namespace orvel::container
