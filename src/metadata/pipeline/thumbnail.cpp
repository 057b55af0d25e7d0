#include "metadata/pipeline/thumbnail.h"

#include "container/tiff.h"
#include "metadata/pipeline/locate.h"

namespace orvel::metadata::pipeline {
namespace {

using base::byteAt;
using base::inBounds;
using base::readUint32;
using container::Ifd;
using container::LongValue;
using container::readIFD;
using container::readLongTag;

constexpr uint16_t kThumbnailOffset = 0x0201;
constexpr uint16_t kThumbnailLength = 0x0202;

int64_t positiveOr(int64_t position) { return position >= 1 ? position : -1; }

LongValue longEntry(const Ifd& ifd, uint16_t tag) {
  auto found = ifd.tags.find(tag);
  return found == ifd.tags.end() ? LongValue{} : readLongTag(found->second);
}

}  // namespace

int64_t exifTiffBase(ByteView data) {
  switch (detectContainer(data)) {
    case ctJpeg: return positiveOr(findExifAPP1(data).start);
    case ctTiff: return 0;
    case ctIsobmff: return isobmffTiffOffset(data);
    case ctPng: return positiveOr(pngTiffOffset(data));
    case ctWebp: return positiveOr(webpTiffOffset(data));
    case ctUnknown: break;
  }
  return -1;
}

std::vector<uint8_t> extractExifThumbnailAt(ByteView data, int64_t base) {
  if (base < 0 || !inBounds(data, base, 8)) return {};
  const bool bigEndian = byteAt(data, base) != 'I';
  const int64_t ifd0 = base + readUint32(data, base + 4, bigEndian);
  if (!inBounds(data, ifd0, 2)) return {};
  const uint32_t next = readIFD(data, ifd0, base, bigEndian).next;
  if (next == 0 || !inBounds(data, base + next, 2)) return {};
  const Ifd ifd1 = readIFD(data, base + next, base, bigEndian);
  const LongValue offset = longEntry(ifd1, kThumbnailOffset);
  const LongValue length = longEntry(ifd1, kThumbnailLength);
  if (!offset.ok || !length.ok || length.value == 0) return {};
  const int64_t start = base + offset.value;
  if (!inBounds(data, start, length.value)) return {};
  const auto first = data.begin() + start;
  return std::vector<uint8_t>(first, first + length.value);
}

}  // namespace orvel::metadata::pipeline
