#include "exif/jpeg.h"

#include <algorithm>
#include <array>

namespace orvel::exif {
namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp1 = 0xE1;
constexpr std::array<uint8_t, 6> kExifHeader = {'E', 'x', 'i', 'f', 0, 0};

bool hasExifHeader(ByteView data, int64_t at) {
  if (!inBounds(data, at, kExifHeader.size())) return false;
  return std::equal(kExifHeader.begin(), kExifHeader.end(), data.begin() + at);
}

}  // namespace

ExifBlock findExifAPP1(ByteView data) noexcept {
  const int64_t length = static_cast<int64_t>(data.size());
  if (length <= 3 || data[0] != kMarkerStart || data[1] != kStartOfImage) return {};
  int64_t i = 2;
  while (i + 4 < length) {
    if (data[static_cast<std::size_t>(i)] != kMarkerStart) return {};
    const uint8_t marker = data[static_cast<std::size_t>(i + 1)];
    if (marker == kStartOfScan) return {};
    const int64_t segmentLength = readUint16(data, i + 2, true);
    if (marker == kApp1 && segmentLength > 7 && i + 10 < length && hasExifHeader(data, i + 4)) {
      return {i + 10, segmentLength - 8};
    }
    i += 2 + segmentLength;
  }
  return {};
}

}  // namespace orvel::exif
