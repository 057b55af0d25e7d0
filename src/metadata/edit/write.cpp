#include "metadata/edit/write.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "base/file.h"
#include "base/text.h"
#include "container/isobmff.h"
#include "container/jpeg.h"
#include "container/png.h"
#include "container/riff.h"
#include "container/tiff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/edit/replace_file.h"
#include "metadata/edit/serialize.h"
#include "metadata/pipeline/locate.h"

namespace orvel::metadata::edit {
namespace {

using base::Bytes;
using container::JpegSegmentWalk;
using container::JpegWalkEnd;

constexpr std::string_view kExifHeader{"Exif\0\0", 6};

// Tags that mean a directory holds (or leads to) image data.
constexpr std::array<uint16_t, 5> kImageDataTags = {273, 279, 324, 325, 0x014A};

// Writing replaces any file that begins "II" or "MM" by the bare block.
bool isTiff(ByteView data) {
  return base::hasBytesAt(data, 0, "II") || base::hasBytesAt(data, 0, "MM");
}

void copyRange(Bytes& out, ByteView data, int64_t from, int64_t to) {
  out.insert(out.end(), data.begin() + from, data.begin() + to);
}

Bytes exifSegment(ByteView block) {
  Bytes out = {container::kMarkerStart, container::kApp1};
  base::appendU16(out, static_cast<uint16_t>(block.size() + 8), true);
  out.insert(out.end(), kExifHeader.begin(), kExifHeader.end());
  base::appendBytes(out, block);
  return out;
}

bool isExifSegment(ByteView data, const container::JpegSegment& segment) {
  return segment.marker == container::kApp1 &&
         static_cast<int64_t>(data.size()) - segment.position >= 10 &&
         base::hasBytesAt(data, segment.payload(), kExifHeader.substr(0, 4));
}

bool hasImageData(const container::Ifd& ifd) {
  return std::any_of(kImageDataTags.begin(), kImageDataTags.end(),
                     [&](uint16_t tag) { return ifd.tags.count(tag) != 0; });
}

// Whether the bytes after a segment walk may simply be copied: the image data, or an end of
// image, or what is left when no further segment header fits.
bool endsCleanly(JpegWalkEnd end) {
  return end == JpegWalkEnd::startOfScan || end == JpegWalkEnd::endOfImage ||
         end == JpegWalkEnd::dataEnd;
}

// The JPEG segments before the scan with APP1, APP13 and COM left out; empty when malformed.
Bytes stripJpeg(ByteView data) {
  const auto length = static_cast<int64_t>(data.size());
  Bytes out = {container::kMarkerStart, container::kStartOfImage};
  out.reserve(data.size());
  JpegSegmentWalk walk(data);
  while (const auto segment = walk.next()) {
    if (!segment->fits(data)) return {};
    const uint8_t marker = segment->marker;
    const bool metadata =
        marker == container::kApp1 || marker == container::kApp13 || marker == container::kComment;
    if (!metadata) copyRange(out, data, segment->position, segment->end());
  }
  const int64_t p = walk.position();
  if (walk.ended() != JpegWalkEnd::dataEnd) {
    if (!endsCleanly(walk.ended())) return {};
    copyRange(out, data, p, length);
    return out;
  }
  // Fewer than 4 bytes remain: nothing, or an end-of-image marker with what follows it.
  if (p == length) return out;
  if (base::hasBytesAt(data, p, "\xFF\xD9")) {
    copyRange(out, data, p, length);
    return out;
  }
  return {};
}

// The container writers can hand back a file without the new block (a PNG without IHDR, an
// ISOBMFF item that cannot be addressed): that is a failure, not a success.
template <class Locate>
Bytes holdingBlock(Bytes written, const Bytes& block, Locate locate) {
  if (written.empty()) return written;
  const int64_t at = locate(ByteView(written));
  if (!base::inBounds(written, at, static_cast<int64_t>(block.size())) || at <= 0 ||
      !std::equal(block.begin(), block.end(), written.begin() + at)) {
    return {};
  }
  return written;
}

}  // namespace

std::vector<uint8_t> embedExifInJpeg(ByteView jpeg, ByteView block) {
  if (!container::isJpeg(jpeg)) return {};
  const Bytes segment = exifSegment(block);
  Bytes out = {container::kMarkerStart, container::kStartOfImage};
  out.reserve(jpeg.size() + segment.size());
  bool written = false;
  auto writeSegment = [&] {
    if (!written) out.insert(out.end(), segment.begin(), segment.end());
    written = true;
  };
  JpegSegmentWalk walk(jpeg);
  while (const auto old = walk.next()) {
    if (!old->fits(jpeg)) return {};
    if (isExifSegment(jpeg, *old)) {
      writeSegment();
    } else {
      copyRange(out, jpeg, old->position, old->end());
    }
  }
  // Without an old EXIF segment, the new one goes just before the image data.
  if (!endsCleanly(walk.ended())) return {};
  writeSegment();
  copyRange(out, jpeg, walk.position(), static_cast<int64_t>(jpeg.size()));
  return out;
}

bool carriesImageStrips(ByteView tiff) {
  const auto length = static_cast<int64_t>(tiff.size());
  if (length < 8) return false;
  const bool bigEndian = base::byteAt(tiff, 0) != 'I';
  int64_t offset = base::readUint32(tiff, 4, bigEndian);
  std::unordered_set<int64_t> seen;
  for (int examined = 0; offset != 0 && offset + 2 <= length; ++examined) {
    if (!seen.insert(offset).second) return false;  // a loop adds no directories
    if (examined == kLongestDirectoryChain) return true;
    const container::Ifd ifd = container::readIFD(tiff, offset, 0, bigEndian);
    if (hasImageData(ifd)) return true;
    offset = ifd.next;
    if (offset >= length) return false;
  }
  return false;
}

std::vector<uint8_t> writeExifBytes(ByteView source, const ExifEdit& edit) {
  if (source.size() < 2) return {};
  const Bytes block = serialize(edit);
  if (isTiff(source)) {
    if (carriesImageStrips(source)) return {};
    return block;
  }
  if (container::isJpeg(source)) {
    if (static_cast<int64_t>(block.size()) > kLargestJpegBlock) return {};
    return embedExifInJpeg(source, block);
  }
  if (container::isPng(source)) {
    return holdingBlock(replacePngExif(source, block), block, pipeline::findExifInPng);
  }
  if (container::isWebp(source)) {
    return holdingBlock(replaceWebpExif(source, block), block, pipeline::findExifInWebp);
  }
  if (container::isIsobmff(source)) {
    return holdingBlock(writeExifIsobmff(source, block), block, pipeline::findExifTiffInIsobmff);
  }
  return {};
}

bool writeExif(const std::string& source, const ExifEdit& edit, const std::string& destination) {
  const Bytes data = base::readWholeFile(source).value_or(Bytes{});
  const Bytes rewritten = writeExifBytes(data, edit);
  if (rewritten.empty()) return false;
  return replaceFile(destination.empty() ? source : destination, rewritten);
}

std::vector<uint8_t> stripMetadataBytes(ByteView data) {
  if (data.size() < 2) return {};
  if (container::isPng(data)) return stripPng(data);
  if (container::isWebp(data)) return stripWebp(data);
  if (container::isIsobmff(data)) return stripIsobmff(data);
  if (container::isJpeg(data)) return stripJpeg(data);
  return {};
}

bool stripMetadata(const std::string& source, const std::string& destination) {
  const Bytes stripped = stripMetadataBytes(base::readWholeFile(source).value_or(Bytes{}));
  if (stripped.empty()) return false;
  return replaceFile(destination, stripped);
}

}  // namespace orvel::metadata::edit
