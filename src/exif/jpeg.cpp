#include "exif/jpeg.h"

#include <algorithm>
#include <array>

namespace orvel::exif {
namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kApp1 = 0xE1;
constexpr std::array<uint8_t, 6> kExifHeader = {'E', 'x', 'i', 'f', 0, 0};

bool hasExifHeader(ByteView data, int64_t at) {
  if (!inBounds(data, at, kExifHeader.size())) return false;
  return std::equal(kExifHeader.begin(), kExifHeader.end(), data.begin() + at);
}

}  // namespace

ExifBlock findExifAPP1(ByteView data) noexcept {
  if (data.size() <= 3 || data[0] != kMarkerStart || data[1] != kStartOfImage) return {};
  int64_t i = 2;
  // Bounds checks rather than length comparisons, so that a walk reaching the end is noticed.
  while (inBounds(data, i, 5)) {
    if (data[static_cast<std::size_t>(i)] != kMarkerStart) return {};
    const uint8_t marker = data[static_cast<std::size_t>(i + 1)];
    if (marker == kStartOfScan) return {};
    const int64_t segmentLength = readUint16(data, i + 2, true);
    if (marker == kApp1 && segmentLength > 7 && inBounds(data, i + 10, 1) &&
        hasExifHeader(data, i + 4)) {
      return {i + 10, segmentLength - 8};
    }
    i += 2 + segmentLength;
  }
  return {};
}

int64_t jpegSegmentsEnd(ByteView head) noexcept {
  const auto length = static_cast<int64_t>(head.size());
  int64_t i = 2;
  while (i + 4 <= length) {
    const uint8_t marker = head[static_cast<std::size_t>(i + 1)];
    const bool ends = head[static_cast<std::size_t>(i)] != kMarkerStart ||
                      marker == kStartOfScan || marker == kEndOfImage;
    const int64_t segmentLength = readUint16(head, i + 2, true);
    if (ends || segmentLength < 2) break;
    i += 2 + segmentLength;
  }
  return i + 4;
}

}  // namespace orvel::exif
