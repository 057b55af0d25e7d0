#include "metadata/edit/write.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
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
#include "metadata/edit/rewrite.h"
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

constexpr std::string_view kMpfHeader{"MPF\0", 4};

ByteView range(ByteView data, int64_t from, int64_t to) {
  return data.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
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

// Metadata a privacy strip removes: EXIF and XMP (APP1), IPTC (APP13), comments, and the
// Multi-Picture index (an APP2 "MPF" segment) that points at the images after the primary one.
bool isStrippedSegment(ByteView data, const container::JpegSegment& segment) {
  const uint8_t marker = segment.marker;
  return marker == container::kApp1 || marker == container::kApp13 ||
         marker == container::kComment ||
         (marker == container::kApp2 && segment.length >= 6 &&
          base::hasBytesAt(data, segment.payload(), kMpfHeader));
}

// Fill bytes (0xFF) may precede any marker, and they belong to it: where a segment is dropped,
// those before it go too, or they would join the bytes after it into a marker that is not
// there. The first of them at or after `from` (the end of the segment before), or `marker`.
int64_t fillStart(ByteView image, int64_t from, int64_t marker) {
  while (marker > from && image[static_cast<std::size_t>(marker - 1)] == container::kMarkerStart) {
    --marker;
  }
  return marker;
}

// Hands `keep` the ranges of the image data a strip keeps, in order, as the walk finds them:
// from the first start of scan through the end-of-image marker that ends the image, without
// metadata segments between the scans. Whatever follows that marker (IPTC and XMP trailers,
// the secondary images of a Multi-Picture file) is left behind; without such a marker the
// data runs to the end. Ranges come a search block at a time, so a copy finds them in cache.
template <class Keep>
void forEachKeptRange(ByteView image, Keep&& keep) {
  int64_t kept = 0;    // everything before this is handed over or dropped
  int64_t walked = 0;  // the end of the last segment met
  const auto keepTo = [&](int64_t to) {
    if (to > kept) keep(kept, to);
    kept = std::max(kept, to);
  };
  // Fill bytes at the end of a stretch are held back until the segment after them is known;
  // a stretch of nothing else leaves the run held back from an earlier one as it is.
  container::JpegScanWalk scan(image, 0, [&](int64_t from, int64_t to) {
    keepTo(fillStart(image, std::max(from, walked), to));
  });
  while (const auto segment = scan.next()) {
    if (isStrippedSegment(image, *segment)) {
      keepTo(fillStart(image, walked, segment->position));
      kept = segment->end();
    }
    walked = segment->end();
  }
  const bool ended = scan.ended() == container::JpegScanEnd::endOfImage;
  keepTo(ended ? scan.position() + 2 : static_cast<int64_t>(image.size()));
}

// The image data (from the start of scan to the end of the data) copied into out, which has
// room for all of it; the bytes written. The walk lays the data it searches straight into
// out, so each byte is read once; the segments it finds are laid there as they come.
int64_t copyImageData(ByteView image, std::span<uint8_t> out) {
  uint8_t* cursor = out.data();
  int64_t kept = 0;  // everything before this is in out or dropped
  const auto keepTo = [&](int64_t to) {
    if (to <= kept) return;
    std::memcpy(cursor, image.data() + kept, static_cast<std::size_t>(to - kept));
    cursor += to - kept;
    kept = to;
  };
  int64_t walked = 0;  // the end of the last segment met
  container::JpegScanWalk scan(image, 0, [&](int64_t, int64_t to) { kept = std::max(kept, to); });
  scan.copySearchedTo(&cursor);
  while (const auto segment = scan.next()) {
    keepTo(segment->position);
    if (isStrippedSegment(image, *segment)) {
      cursor -= segment->position - fillStart(image, walked, segment->position);
      kept = segment->end();
    } else {
      keepTo(segment->end());
    }
    walked = segment->end();
  }
  const bool ended = scan.ended() == container::JpegScanEnd::endOfImage;
  keepTo(ended ? scan.position() + 2 : static_cast<int64_t>(image.size()));
  return cursor - out.data();
}

void addImageDataRanges(ByteView image, Rewrite& out) {
  forEachKeptRange(image, [&](int64_t from, int64_t to) { out.copy(range(image, from, to)); });
}

// The JPEG without its metadata segments and without what follows its image; nothing when the
// segment structure is malformed.
std::optional<Rewrite> stripJpeg(ByteView data) {
  const auto length = static_cast<int64_t>(data.size());
  Rewrite out;
  out.copy(range(data, 0, 2));
  JpegSegmentWalk walk(data);
  while (const auto segment = walk.next()) {
    if (!segment->fits(data)) return std::nullopt;
    if (!isStrippedSegment(data, *segment)) {
      out.copy(range(data, segment->position, segment->end()));
    }
  }
  const int64_t p = walk.position();
  switch (walk.ended()) {
    case JpegWalkEnd::startOfScan:
      // Its end is found while it is copied.
      out.finishWith({range(data, p, length), copyImageData, addImageDataRanges});
      return out;
    case JpegWalkEnd::endOfImage: out.copy(range(data, p, p + 2)); return out;
    case JpegWalkEnd::dataEnd:
      // Fewer than 4 bytes remain: nothing, or an end-of-image marker.
      if (p == length) return out;
      if (!base::hasBytesAt(data, p, "\xFF\xD9")) return std::nullopt;
      out.copy(range(data, p, p + 2));
      return out;
    default: return std::nullopt;
  }
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

// The JPEG's segments with the new EXIF segment in place of the first old one (the others
// dropped), else just before the image data, which is copied as it is.
std::optional<Rewrite> embedExif(ByteView jpeg, ByteView block) {
  if (!container::isJpeg(jpeg)) return std::nullopt;
  Rewrite out;
  out.copy(range(jpeg, 0, 2));
  bool written = false;
  auto writeSegment = [&] {
    if (!written) out.add(exifSegment(block));
    written = true;
  };
  JpegSegmentWalk walk(jpeg);
  while (const auto old = walk.next()) {
    if (!old->fits(jpeg)) return std::nullopt;
    if (isExifSegment(jpeg, *old)) {
      writeSegment();
    } else {
      out.copy(range(jpeg, old->position, old->end()));
    }
  }
  if (!endsCleanly(walk.ended())) return std::nullopt;
  writeSegment();
  out.copy(range(jpeg, walk.position(), static_cast<int64_t>(jpeg.size())));
  return out;
}

std::optional<Rewrite> whole(std::vector<uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  Rewrite out;
  out.add(std::move(bytes));
  return out;
}

}  // namespace

std::vector<uint8_t> embedExifInJpeg(ByteView jpeg, ByteView block) {
  const std::optional<Rewrite> out = embedExif(jpeg, block);
  return out ? out->bytes() : std::vector<uint8_t>{};
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

std::optional<Rewrite> writeExifPieces(ByteView source, const ExifEdit& edit) {
  if (source.size() < 2) return std::nullopt;
  const Bytes block = serialize(edit);
  // Only a TIFF file becomes the bare block; anything else starting "II" or "MM" would lose
  // its content.
  if (container::hasTiffSignature(source)) {
    if (carriesImageStrips(source)) return std::nullopt;
    return whole(block);
  }
  if (container::isJpeg(source)) {
    if (static_cast<int64_t>(block.size()) > kLargestJpegBlock) return std::nullopt;
    return embedExif(source, block);
  }
  if (container::isPng(source)) {
    return whole(holdingBlock(replacePngExif(source, block), block, pipeline::findExifInPng));
  }
  if (container::isWebp(source)) {
    return whole(holdingBlock(replaceWebpExif(source, block), block, pipeline::findExifInWebp));
  }
  if (container::isIsobmff(source)) {
    return whole(
        holdingBlock(writeExifIsobmff(source, block), block, pipeline::findExifTiffInIsobmff));
  }
  return std::nullopt;
}

std::vector<uint8_t> writeExifBytes(ByteView source, const ExifEdit& edit) {
  const std::optional<Rewrite> out = writeExifPieces(source, edit);
  return out ? out->bytes() : std::vector<uint8_t>{};
}

bool writeExif(const std::string& source, const ExifEdit& edit, const std::string& destination) {
  const Bytes data = base::readWholeFile(source).value_or(Bytes{});
  const std::optional<Rewrite> rewritten = writeExifPieces(data, edit);
  if (!rewritten) return false;
  return replaceFileWithPieces(destination.empty() ? source : destination, rewritten->pieces());
}

std::optional<Rewrite> stripMetadataPieces(ByteView data) {
  if (data.size() < 2) return std::nullopt;
  if (container::isPng(data)) return whole(stripPng(data));
  if (container::isWebp(data)) return whole(stripWebp(data));
  if (container::isIsobmff(data)) return whole(stripIsobmff(data));
  if (container::isJpeg(data)) return stripJpeg(data);
  return std::nullopt;
}

std::vector<uint8_t> stripMetadataBytes(ByteView data) {
  const std::optional<Rewrite> out = stripMetadataPieces(data);
  return out ? out->bytes() : std::vector<uint8_t>{};
}

bool stripMetadata(const std::string& source, const std::string& destination) {
  const Bytes data = base::readWholeFile(source).value_or(Bytes{});
  const std::optional<Rewrite> stripped = stripMetadataPieces(data);
  if (!stripped) return false;
  return replaceFileWithPieces(destination, stripped->pieces());
}

}  // namespace orvel::metadata::edit
