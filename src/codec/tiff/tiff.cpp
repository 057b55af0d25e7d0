// Reading a TIFF: the header and first directory (through the container layer's directory
// reader), the checks that decide the output layout, then each strip or tile decompressed,
// undifferenced and converted into the image.
#include "codec/tiff/tiff.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "codec/tiff/pixels.h"
#include "container/tiff.h"
#include "image/error.h"
#include "image/zlib.h"

namespace orvel::codec::tiff {
namespace {

using base::ByteView;
using container::TiffTag;
using image::Image;
using image::OrvelException;

enum Tag : uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kStripOffsets = 273,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kPlanarConfiguration = 284,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kSampleFormat = 339,
};

enum Compression : uint32_t {
  kNone = 1,
  kLzw = 5,
  kDeflate = 8,
  kPackBits = 32773,
  kDeflateOld = 32946,
};

constexpr int64_t kEntrySize = 12;
constexpr int64_t kMaxSide = int64_t{1} << 30;
constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr uint32_t kMaxSamples = 6;

[[noreturn]] void fail(image::ImageErrorKind kind, const std::string& message) {
  throw OrvelException(kind, message);
}

// The first directory: each entry's values as unsigned numbers, read in the file's byte order.
class Directory {
 public:
  Directory(container::IfdEntries entries, bool bigEndian) : entries_(std::move(entries)), bigEndian_(bigEndian) {}

  bool has(uint16_t tag) const { return entries_.contains(tag); }

  // Values the entry holds (0 when absent).
  int64_t count(uint16_t tag) const {
    const auto found = entries_.find(tag);
    return found == entries_.end() ? 0 : found->second.count;
  }

  uint32_t value(uint16_t tag, int64_t index) const {
    const TiffTag& entry = entries_.at(tag);
    const ByteView data(entry.data);
    switch (container::typeSize(entry.type)) {
      case 1: return base::byteAt(data, index);
      case 2: return base::readUint16(data, 2 * index, bigEndian_);
      case 4: return base::readUint32(data, 4 * index, bigEndian_);
      default: return base::readUint32(data, 8 * index, bigEndian_);  // the numerator
    }
  }

  // The first value, or `fallback` when the tag is absent or empty.
  uint32_t getU32(uint16_t tag, uint32_t fallback) const { return count(tag) > 0 ? value(tag, 0) : fallback; }

  bool bigEndian() const { return bigEndian_; }

 private:
  container::IfdEntries entries_;
  bool bigEndian_;
};

Directory parseIfd(ByteView bytes, int64_t offset, bool bigEndian) {
  const auto size = std::ssize(bytes);
  if (offset >= size) fail(image::iekInvalid, "tiff: IFD offset out of range");
  const int64_t entries = base::readUint16(bytes, offset, bigEndian);
  if (!base::inBounds(bytes, offset, 2 + entries * kEntrySize)) fail(image::iekTruncated, "tiff: IFD entries truncated");
  for (int64_t i = 0; i < entries; ++i) {
    const TiffTag entry = container::readTag(bytes, offset + 2 + i * kEntrySize, 0, bigEndian);
    if (int64_t{container::typeSize(entry.type)} * entry.count > 4 && entry.data.empty()) {
      fail(image::iekInvalid, "tiff: field value out of range");
    }
  }
  return Directory(container::readIFD(bytes, offset, 0, bigEndian).tags, bigEndian);
}

// The output layout of photometric interpretation and samples per pixel.
uint8_t chooseLayout(uint32_t photometric, uint32_t samples) {
  const std::string count = std::to_string(samples);
  switch (photometric) {
    case 0:
    case 1:
      if (samples == 1) return image::csGray;
      if (samples == 2) return image::csRgba;
      fail(image::iekUnsupported, "tiff: gray with spp=" + count + " unsupported");
    case 2:
      if (samples == 3) return image::csRgb;
      if (samples == 4) return image::csRgba;
      fail(image::iekUnsupported, "tiff: RGB with spp=" + count + " unsupported");
    case 3:
      if (samples != 1) fail(image::iekUnsupported, "tiff: palette needs spp=1");
      return image::csRgb;
    case 4:
      if (samples != 1) fail(image::iekUnsupported, "tiff: mask needs spp=1");
      return image::csGray;
    case 5:
      if (samples != 4) fail(image::iekUnsupported, "tiff: CMYK needs spp=4");
      return image::csCmyk;
    default:
      fail(image::iekUnsupported, "tiff: photometric " + std::to_string(photometric) + " unsupported");
  }
}

// The palette's colours by index: the high byte of each 16-bit red, green and blue value.
std::vector<uint8_t> readColorMap(const Directory& dir, int bits) {
  const int64_t needed = int64_t{3} << bits;
  if (dir.count(kColorMap) < needed) fail(image::iekInvalid, "tiff: ColorMap too small");
  const int64_t entries = dir.count(kColorMap) / 3;
  std::vector<uint8_t> rgb(static_cast<size_t>(3 * (int64_t{1} << bits)));
  for (int64_t i = 0; i < (int64_t{1} << bits); ++i) {
    for (int64_t c = 0; c < 3; ++c) {
      rgb[static_cast<size_t>(3 * i + c)] = static_cast<uint8_t>(dir.value(kColorMap, c * entries + i) >> 8);
    }
  }
  return rgb;
}

// What the checks decide, in the order they are made.
PixelFormat readFormat(const Directory& dir) {
  const int64_t width = dir.getU32(kImageWidth, 0);
  const int64_t height = dir.getU32(kImageLength, 0);
  if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) {
    fail(image::iekInvalid, "tiff: bad image dimensions");
  }
  if (width * height > kMaxPixels) fail(image::iekInvalid, "tiff: image has too many pixels");
  if (dir.getU32(kPlanarConfiguration, 1) != 1) fail(image::iekUnsupported, "tiff: planar configuration 2 unsupported");
  const uint32_t photometric = dir.getU32(kPhotometric, 0);
  if (photometric == 6) fail(image::iekUnsupported, "tiff: YCbCr unsupported");
  if (dir.getU32(kSampleFormat, 1) == 3) fail(image::iekUnsupported, "tiff: floating-point samples unsupported");
  const uint32_t compression = dir.getU32(kCompression, kNone);
  if (compression != kNone && compression != kLzw && compression != kDeflate && compression != kPackBits &&
      compression != kDeflateOld) {
    fail(image::iekUnsupported, "tiff: compression " + std::to_string(compression) + " unsupported");
  }
  const uint32_t bits = dir.getU32(kBitsPerSample, 1);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16) {
    fail(image::iekUnsupported, "tiff: " + std::to_string(bits) + "-bit samples unsupported");
  }
  const uint32_t samples = dir.getU32(kSamplesPerPixel, 1);
  if (bits < 8 && samples != 1) fail(image::iekUnsupported, "tiff: sub-byte samples need spp=1");
  const uint32_t predictor = dir.getU32(kPredictor, 1);
  if (predictor != 1 && predictor != 2) {
    fail(image::iekUnsupported, "tiff: predictor " + std::to_string(predictor) + " unsupported");
  }
  if (predictor == 2 && bits < 8) fail(image::iekUnsupported, "tiff: predictor 2 needs 8/16-bit samples");
  PixelFormat format;
  format.width = width;
  format.height = height;
  format.bits = static_cast<int>(bits);
  format.samples = static_cast<int>(samples);
  format.photometric = static_cast<int>(photometric);
  format.compression = compression;
  format.predictor = static_cast<int>(predictor);
  format.bigEndian = dir.bigEndian();
  format.colorspace = chooseLayout(photometric, samples);
  if (photometric == 3) format.palette = readColorMap(dir, format.bits);
  return format;
}

// Where the strips or tiles are and how big each decodes.
struct Chunks {
  bool tiled = false;
  int64_t across = 1;
  int64_t down = 0;
  int64_t width = 0;  // pixels per chunk row
  int64_t rows = 0;   // rows per chunk (the last strip may hold fewer)
  uint16_t offsetsTag = kStripOffsets;
  uint16_t countsTag = kStripByteCounts;
};

Chunks readChunks(const Directory& dir, const PixelFormat& format) {
  Chunks chunks;
  if (dir.has(kTileWidth)) {
    chunks.tiled = true;
    chunks.width = dir.getU32(kTileWidth, 0);
    chunks.rows = dir.getU32(kTileLength, 0);
    // Tiles as large as the largest image the decoder takes: a tile is decoded whole.
    if (chunks.width == 0 || chunks.rows == 0 || chunks.width * chunks.rows > kMaxPixels) {
      fail(image::iekInvalid, "tiff: bad tile dimensions");
    }
    chunks.across = (format.width + chunks.width - 1) / chunks.width;
    chunks.down = (format.height + chunks.rows - 1) / chunks.rows;
    chunks.offsetsTag = kTileOffsets;
    chunks.countsTag = kTileByteCounts;
  } else {
    chunks.width = format.width;
    const uint32_t rowsPerStrip = dir.getU32(kRowsPerStrip, 0);
    chunks.rows = rowsPerStrip == 0 ? format.height : std::min<int64_t>(rowsPerStrip, format.height);
    chunks.down = (format.height + chunks.rows - 1) / chunks.rows;
  }
  const int64_t total = chunks.across * chunks.down;
  if (dir.count(chunks.offsetsTag) < total || dir.count(chunks.countsTag) < total) {
    fail(image::iekTruncated, chunks.tiled ? "tiff: tile offset/count table truncated"
                                           : "tiff: strip offset/count table truncated");
  }
  if (format.samples > static_cast<int>(kMaxSamples)) {
    fail(image::iekUnsupported, "tiff: sample count exceeds decoder capacity");
  }
  return chunks;
}

// One strip or tile, decompressed into `out` (its expected size); fails unless it fills it.
void decodeChunk(ByteView bytes, int64_t offset, int64_t count, uint32_t compression, std::span<uint8_t> out) {
  if (count == 0) fail(image::iekInvalid, "tiff: empty strip/tile");
  if (!base::inBounds(bytes, offset, count)) fail(image::iekTruncated, "tiff: strip/tile bytes out of range");
  const ByteView in = bytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
  int64_t produced = 0;
  switch (compression) {
    case kNone:
      produced = std::min(count, std::ssize(out));
      std::memcpy(out.data(), in.data(), static_cast<size_t>(produced));
      break;
    case kLzw: produced = lzwDecode(in, out); break;
    case kPackBits: produced = packbitsDecode(in, out); break;
    default: produced = image::zlibInflateIntoAsImageError(in, out); break;
  }
  if (produced < std::ssize(out)) fail(image::iekTruncated, "tiff: decoded strip/tile too short");
}

Image decodeStrips(ByteView bytes, const Directory& dir, const PixelFormat& format, const Chunks& chunks) {
  Image image = image::newImageForOverwrite(format.width, format.height, format.colorspace);
  const int64_t rowBytes = rowBytesFor(format, format.width);
  const bool direct = rowsAreOutput(format);
  // Rows that are not the output's own go through one strip's room, committed as it fills.
  image::PixelBuffer room = direct ? image::PixelBuffer()
                                   : image::PixelBuffer::forOverwrite(static_cast<size_t>(chunks.rows * rowBytes));
  for (int64_t strip = 0; strip < chunks.down; ++strip) {
    const int64_t firstRow = strip * chunks.rows;
    const int64_t rows = std::min(chunks.rows, format.height - firstRow);
    uint8_t* target = direct ? image.pixels.data() + firstRow * rowBytes : room.data();
    const std::span<uint8_t> out(target, static_cast<size_t>(rows * rowBytes));
    decodeChunk(bytes, dir.value(chunks.offsetsTag, strip), dir.value(chunks.countsTag, strip), format.compression,
                out);
    for (int64_t r = 0; r < rows; ++r) {
      uint8_t* row = target + r * rowBytes;
      if (format.predictor == 2) undoDifferencing(format, row, format.width);
      if (!direct) convertRow(format, row, format.width, image.pixels.data() + (firstRow + r) * image.stride());
    }
  }
  return image;
}

Image decodeTiles(ByteView bytes, const Directory& dir, const PixelFormat& format, const Chunks& chunks) {
  Image image = image::newImageForOverwrite(format.width, format.height, format.colorspace);
  const int64_t rowBytes = rowBytesFor(format, chunks.width);
  image::PixelBuffer tile = image::PixelBuffer::forOverwrite(static_cast<size_t>(chunks.rows * rowBytes));
  for (int64_t index = 0; index < chunks.across * chunks.down; ++index) {
    const int64_t left = index % chunks.across * chunks.width;
    const int64_t top = index / chunks.across * chunks.rows;
    decodeChunk(bytes, dir.value(chunks.offsetsTag, index), dir.value(chunks.countsTag, index), format.compression,
                tile);
    const int64_t rows = std::min(chunks.rows, format.height - top);
    const int64_t columns = std::min(chunks.width, format.width - left);
    for (int64_t r = 0; r < rows; ++r) {
      uint8_t* row = tile.data() + r * rowBytes;
      if (format.predictor == 2) undoDifferencing(format, row, chunks.width);
      convertRow(format, row, columns, image.pixels.data() + (top + r) * image.stride() + left * image.channels);
    }
  }
  return image;
}

}  // namespace

Image decodeTiff(ByteView bytes) {
  image::requireLen(std::ssize(bytes), 8, "tiff: header truncated");
  const bool bigEndian = base::hasBytesAt(bytes, 0, "MM");
  if (!bigEndian && !base::hasBytesAt(bytes, 0, "II")) fail(image::iekUnsupported, "tiff: bad byte order");
  if (base::readUint16(bytes, 2, bigEndian) != 42) fail(image::iekUnsupported, "tiff: bad magic (not classic TIFF)");
  const Directory dir = parseIfd(bytes, base::readUint32(bytes, 4, bigEndian), bigEndian);
  const PixelFormat format = readFormat(dir);
  const Chunks chunks = readChunks(dir, format);
  return chunks.tiled ? decodeTiles(bytes, dir, format, chunks) : decodeStrips(bytes, dir, format, chunks);
}

}  // namespace orvel::codec::tiff
