#include "container/jpeg.h"

namespace orvel::container {

bool isJpeg(ByteView data) noexcept {
  return data.size() >= 2 && data[0] == kMarkerStart && data[1] == kStartOfImage;
}

std::optional<JpegSegment> JpegSegmentWalk::next() noexcept {
  if (ended_ != JpegWalkEnd::walking) return std::nullopt;
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

}  // namespace orvel::container
