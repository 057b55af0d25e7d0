#include "container/jpeg.h"

#include <algorithm>

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

int64_t JpegScanWalk::markerIn(int64_t from, int64_t to, int64_t& resume) const noexcept {
  const auto length = static_cast<int64_t>(data_.size());
  const ByteView block = data_.first(static_cast<std::size_t>(to));
  for (int64_t at = base::findByte(block, from, kMarkerStart); at >= 0;
       at = base::findByte(block, from, kMarkerStart)) {
    if (at + 1 >= length) break;  // a lone 0xFF at the very end
    const uint8_t next = data_[static_cast<std::size_t>(at + 1)];
    const bool restart = next >= 0xD0 && next <= 0xD7;
    if (next != 0x00 && next != kMarkerStart && !restart) return at;
    from = next == kMarkerStart ? at + 1 : at + 2;
  }
  resume = std::max(from, to);
  return -1;
}

int64_t JpegScanWalk::markerFrom(int64_t from) const {
  const auto length = static_cast<int64_t>(data_.size());
  while (from < length) {
    const int64_t to = std::min(from + kJpegSearchBlock, length);
    int64_t resume = to;
    const int64_t marker = markerIn(from, to, resume);
    if (marker >= 0) {
      if (searched_ && marker > from) searched_(from, marker);
      return marker;
    }
    if (searched_) searched_(from, std::min(resume, length));
    from = resume;
  }
  return length;
}

std::optional<JpegSegment> JpegScanWalk::next() {
  if (ended_ != JpegScanEnd::walking) return std::nullopt;
  // What follows the segment handed out last is searched only now, once its reader has dealt
  // with that segment.
  if (searchFrom_ >= 0) {
    position_ = markerFrom(searchFrom_);
    searchFrom_ = -1;
  }
  if (!base::inBounds(data_, position_, 2)) {
    position_ = static_cast<int64_t>(data_.size());
    ended_ = JpegScanEnd::dataEnd;
    return std::nullopt;
  }
  const uint8_t marker = data_[static_cast<std::size_t>(position_ + 1)];
  if (marker == kEndOfImage) {
    ended_ = JpegScanEnd::endOfImage;
    return std::nullopt;
  }
  const JpegSegment segment{position_, marker, base::readU16be(data_, position_ + 2)};
  if (!base::inBounds(data_, position_, 4) || segment.length < 2 || !segment.fits(data_)) {
    position_ = static_cast<int64_t>(data_.size());
    ended_ = JpegScanEnd::dataEnd;
    return std::nullopt;
  }
  // Entropy-coded data follows a start of scan; any other segment is followed by a marker,
  // perhaps after fill bytes. The search finds either.
  searchFrom_ = segment.end();
  return segment;
}

}  // namespace orvel::container
