#include "exif/write.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_set>

#include "boxo/isobmff.h"
#include "exif/isobmff.h"
#include "exif/png.h"
#include "exif/replace_file.h"
#include "exif/serialize.h"
#include "exif/tiff.h"
#include "exif/webp.h"

namespace orvel::exif {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp13 = 0xED;
constexpr uint8_t kComment = 0xFE;
constexpr std::array<uint8_t, 6> kExifHeader = {'E', 'x', 'i', 'f', 0, 0};

// Tags that mean a directory holds (or leads to) image data.
constexpr std::array<uint16_t, 5> kImageDataTags = {273, 279, 324, 325, 0x014A};

using Bytes = std::vector<uint8_t>;

bool isJpeg(ByteView data) { return data.size() >= 2 && data[0] == kMarker && data[1] == kStartOfImage; }

bool isTiff(ByteView data) {
  return data.size() >= 2 && ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'));
}

uint8_t at(ByteView data, int64_t position) { return data[static_cast<std::size_t>(position)]; }

void copyRange(Bytes& out, ByteView data, int64_t from, int64_t to) {
  out.insert(out.end(), data.begin() + from, data.begin() + to);
}

Bytes exifSegment(ByteView block) {
  const auto length = static_cast<uint16_t>(block.size() + 8);
  Bytes out(4 + kExifHeader.size() + block.size());
  out[0] = kMarker;
  out[1] = kApp1;
  out[2] = static_cast<uint8_t>(length >> 8);
  out[3] = static_cast<uint8_t>(length);
  std::copy(kExifHeader.begin(), kExifHeader.end(), out.begin() + 4);
  std::copy(block.begin(), block.end(), out.begin() + 4 + kExifHeader.size());
  return out;
}

bool isExifSegment(ByteView data, int64_t position) {
  const int64_t length = static_cast<int64_t>(data.size());
  if (at(data, position + 1) != kApp1 || length - position < 10) return false;
  return std::equal(kExifHeader.begin(), kExifHeader.begin() + 4, data.begin() + position + 4);
}

bool hasImageData(const Ifd& ifd) {
  return std::any_of(kImageDataTags.begin(), kImageDataTags.end(),
                     [&](uint16_t tag) { return ifd.tags.count(tag) != 0; });
}

// The JPEG segments before the scan with APP1, APP13 and COM left out; empty when malformed.
Bytes stripJpeg(ByteView data) {
  const int64_t length = static_cast<int64_t>(data.size());
  Bytes out = {kMarker, kStartOfImage};
  out.reserve(data.size());
  int64_t p = 2;
  while (p + 4 <= length) {
    if (at(data, p) != kMarker) return {};
    const uint8_t marker = at(data, p + 1);
    if (marker == kStartOfScan || marker == kEndOfImage) {
      copyRange(out, data, p, length);
      return out;
    }
    const int64_t segment = readUint16(data, p + 2, true);
    if (segment < 2 || p + 2 + segment > length) return {};
    const bool metadata = marker == kApp1 || marker == kApp13 || marker == kComment;
    if (!metadata) copyRange(out, data, p, p + 2 + segment);
    p += 2 + segment;
  }
  if (p == length) return out;
  if (length - p >= 2 && at(data, p) == kMarker && at(data, p + 1) == kEndOfImage) {
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
  if (!inBounds(written, at, static_cast<int64_t>(block.size())) || at <= 0 ||
      !std::equal(block.begin(), block.end(), written.begin() + at)) {
    return {};
  }
  return written;
}

}  // namespace

std::vector<uint8_t> embedExifInJpeg(ByteView jpeg, ByteView block) {
  const int64_t length = static_cast<int64_t>(jpeg.size());
  if (!isJpeg(jpeg)) return {};
  const Bytes segment = exifSegment(block);
  Bytes out = {jpeg[0], jpeg[1]};
  out.reserve(jpeg.size() + segment.size());
  bool written = false;
  auto writeSegment = [&] {
    if (!written) out.insert(out.end(), segment.begin(), segment.end());
    written = true;
  };
  int64_t p = 2;
  for (;;) {
    if (p + 4 > length) {
      writeSegment();
      copyRange(out, jpeg, p, length);
      return out;
    }
    if (at(jpeg, p) != kMarker) return {};
    if (at(jpeg, p + 1) == kStartOfScan) {
      writeSegment();
      copyRange(out, jpeg, p, length);
      return out;
    }
    const int64_t segmentLength = readUint16(jpeg, p + 2, true);
    if (segmentLength <= 1 || p + 2 + segmentLength > length) return {};
    if (isExifSegment(jpeg, p)) {
      writeSegment();
    } else {
      copyRange(out, jpeg, p, p + 2 + segmentLength);
    }
    p += 2 + segmentLength;
  }
}

bool carriesImageStrips(ByteView tiff) {
  const int64_t length = static_cast<int64_t>(tiff.size());
  if (length < 8) return false;
  const bool bigEndian = tiff[0] != 'I';
  int64_t offset = readUint32(tiff, 4, bigEndian);
  std::unordered_set<int64_t> seen;
  for (int examined = 0; offset != 0 && offset + 2 <= length; ++examined) {
    if (!seen.insert(offset).second) return false;  // a loop adds no directories
    if (examined == kLongestDirectoryChain) return true;
    const Ifd ifd = readIFD(tiff, offset, 0, bigEndian);
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
  if (isJpeg(source)) {
    if (static_cast<int64_t>(block.size()) > kLargestJpegBlock) return {};
    return embedExifInJpeg(source, block);
  }
  if (isPng(source)) return holdingBlock(replacePngExif(source, block), block, findExifInPng);
  if (isWebp(source)) return holdingBlock(replaceWebpExif(source, block), block, findExifInWebp);
  if (boxo::isIsobmff(source)) {
    return holdingBlock(writeExifIsobmff(source, block), block, findExifTiffInIsobmff);
  }
  return {};
}

bool writeExif(const std::string& source, const ExifEdit& edit, const std::string& destination) {
  const Bytes data = readWholeFile(source);
  const Bytes rewritten = writeExifBytes(data, edit);
  if (rewritten.empty()) return false;
  return replaceFile(destination.empty() ? source : destination, rewritten);
}

std::vector<uint8_t> stripMetadataBytes(ByteView data) {
  if (data.size() < 2) return {};
  if (isPng(data)) return stripPng(data);
  if (isWebp(data)) return stripWebp(data);
  if (boxo::isIsobmff(data)) return stripIsobmff(data);
  if (isJpeg(data)) return stripJpeg(data);
  return {};
}

bool stripMetadata(const std::string& source, const std::string& destination) {
  const Bytes stripped = stripMetadataBytes(readWholeFile(source));
  if (stripped.empty()) return false;
  return replaceFile(destination, stripped);
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  Bytes out;
  std::array<uint8_t, 1 << 16> chunk;
  for (;;) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
    out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < chunk.size()) break;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return failed ? Bytes{} : out;
}

}  // namespace orvel::exif
