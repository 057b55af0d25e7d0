#include "metadata/pipeline/locate.h"

#include <algorithm>
#include <string_view>

#include "base/file.h"
#include "base/text.h"
#include "container/jpeg.h"
#include "container/png.h"
#include "container/riff.h"
#include "container/tiff.h"

namespace orvel::metadata::pipeline {
namespace {

using base::hasBytesAt;
using base::inBounds;

constexpr container::RawProfileKind kExifProfiles[] = {{"exif", kExifHeader},
                                                       {"APP1", kExifHeader}};

}  // namespace

bool hasFtypSignature(ByteView data) noexcept {
  return data.size() >= 8 && hasBytesAt(data, 4, "ftyp");
}

Container detectContainer(ByteView data) noexcept {
  if (container::isJpeg(data)) return ctJpeg;
  if (container::hasTiffSignature(data)) return ctTiff;
  if (hasIsobmffSignature(data)) return ctIsobmff;
  if (container::isPng(data)) return ctPng;
  if (container::isWebp(data)) return ctWebp;
  return ctUnknown;
}

ExifBlock findExifAPP1(ByteView data) noexcept {
  if (data.size() <= 3 || !container::isJpeg(data)) return {};
  container::JpegSegmentWalk walk(data);
  while (const auto segment = walk.next()) {
    const int64_t at = segment->position;
    if (segment->marker == container::kApp1 && segment->length > 7 && inBounds(data, at + 10, 1) &&
        hasBytesAt(data, at + 4, kExifHeader)) {
      return {at + 10, segment->length - 8};
    }
  }
  return {};
}

int64_t jpegSegmentsEnd(ByteView head) noexcept {
  container::JpegSegmentWalk walk(head);
  while (walk.next()) {
  }
  return walk.position() + 4;
}

int64_t findExifInPng(ByteView data) {
  if (!container::isPng(data)) return 0;
  container::PngChunkWalk walk(data, container::PngWalkStop::atShortHeader);
  while (const auto chunk = walk.next()) {
    if (chunk->type == "eXIf" && chunk->dataStart() < static_cast<int64_t>(data.size())) {
      return chunk->dataStart();
    }
    if (chunk->type == "IDAT" || chunk->type == "IEND") return 0;
  }
  return 0;
}

std::optional<std::vector<uint8_t>> exifProfileIn(const container::TextList& texts) {
  return container::rawProfileIn(texts, kExifProfiles);
}

bool isExifProfileChunk(ByteView png, const container::PngChunk& chunk) {
  if (!container::namesRawProfile(container::textKeyword(png, chunk), kExifProfiles)) {
    return false;
  }
  const container::TextChunk text = container::parseTextChunk(png, chunk);
  return text.ok && exifProfileIn({{text.keyword, text.text}}).has_value();
}

int64_t findExifInWebp(ByteView data) {
  if (!container::isWebp(data)) return 0;
  const auto length = static_cast<int64_t>(data.size());
  container::RiffChunkWalk walk(data, container::RiffWalkStop::atShortHeader);
  while (const auto chunk = walk.next()) {
    if (chunk->fourcc != "EXIF" || chunk->payload() >= length) continue;
    base::demand(data, chunk->payload(), 6);
    // Some writers keep the JPEG-style "Exif" and two bytes before the TIFF header.
    const bool jpegStyle =
        chunk->start + 14 <= length && hasBytesAt(data, chunk->payload(), "Exif");
    return jpegStyle ? chunk->start + 14 : chunk->payload();
  }
  return 0;
}

container::ItemInfo locateExifItem(ByteView file) {
  return container::firstItemOfType(container::parseItemRecords(file), "Exif");
}

int64_t findExifTiffInIsobmff(ByteView file) {
  const container::ItemInfo item = locateExifItem(file);
  if (!container::isSingleExtentInFile(item, static_cast<int64_t>(file.size())) ||
      item.length <= 4) {
    return -1;
  }
  base::demand(file, item.offset, item.length);
  const int64_t tiff = item.offset + 4 + base::readU32be(file, item.offset);
  if (tiff + 4 > item.offset + item.length || !container::hasTiffSignature(file, tiff)) return -1;
  return tiff;
}

int64_t findExifInHEIC(ByteView file) {
  const auto length = static_cast<int64_t>(file.size());
  base::demand(file, 0, length);  // the scan reads every byte
  for (int64_t j = base::findByte(file, 0, 'E'); j >= 0 && j < length - 10;
       j = base::findByte(file, j + 1, 'E')) {
    if (!hasBytesAt(file, j, "Exif")) continue;
    const int64_t stop = std::min(j + 68, length - 4);
    for (int64_t k = j + 4; k < stop; ++k) {
      if (hasBytesAt(file, k, std::string_view("MM\0", 3)) || hasBytesAt(file, k, "II*")) return k;
    }
  }
  return -1;
}

// The HEIF Exif item, with the "Exif" byte scan as the fallback for items it cannot use.
int64_t isobmffTiffOffset(ByteView data) {
  const int64_t tiff = findExifTiffInIsobmff(data);
  return tiff >= 1 ? tiff : findExifInHEIC(data);
}

int64_t pngTiffOffset(ByteView data) { return findExifInPng(data); }

int64_t webpTiffOffset(ByteView data) { return findExifInWebp(data); }

}  // namespace orvel::metadata::pipeline
