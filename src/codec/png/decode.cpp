// Reading a PNG: the chunks (every CRC checked), the image data inflated into one buffer of the
// exact filtered size, then each row unfiltered and converted to 8 bits per channel.
#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "checksum/crc32.h"
#include "codec/png/png.h"
#include "codec/png/unfilter.h"
#include "container/png.h"
#include "image/error.h"
#include "image/zlib.h"

namespace orvel::codec::png {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr std::string_view kSignature{"\x89PNG\r\n\x1A\n", 8};
constexpr int64_t kChunkLengthLimit = int64_t{1} << 31;
constexpr int64_t kDimensionLimit = int64_t{1} << 30;
constexpr int64_t kPixelLimit = int64_t{1} << 30;

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  int depth = 0;
  int colorType = 0;
};

// What the chunks hold.
struct Contents {
  bool haveHeader = false;
  bool haveEnd = false;
  Header header;
  ByteView palette;  // RGB triples
  ByteView transparency;
  std::vector<ByteView> data;  // the IDAT payloads in order
};

Header readHeader(ByteView data) {
  if (data.size() != 13) fail(image::iekInvalid, "png: bad IHDR length");
  if (data[10] != 0) fail(image::iekUnsupported, "png: unsupported compression");
  if (data[11] != 0) fail(image::iekUnsupported, "png: unsupported filter");
  if (data[12] != 0) fail(image::iekUnsupported, "png: Adam7 interlace unsupported");
  return {base::readU32be(data, 0), base::readU32be(data, 4), data[8], data[9]};
}

void takeChunk(const container::PngChunk& chunk, ByteView data, Contents& contents) {
  if (chunk.type == "IHDR") {
    contents.header = readHeader(data);
    contents.haveHeader = true;
  } else if (chunk.type == "PLTE") {
    if (data.empty() || data.size() % 3 != 0) fail(image::iekInvalid, "png: bad PLTE");
    contents.palette = data;
  } else if (chunk.type == "tRNS") {
    contents.transparency = data;
  } else if (chunk.type == "IDAT") {
    contents.data.push_back(data);
  } else if (chunk.type == "IEND") {
    contents.haveEnd = true;
  }
}

Contents readChunks(ByteView bytes) {
  image::requireLen(static_cast<int64_t>(bytes.size()), 8, "png: signature truncated");
  if (!base::hasBytesAt(bytes, 0, kSignature)) fail(image::iekUnsupported, "png: bad signature");
  const auto size = static_cast<int64_t>(bytes.size());
  Contents contents;
  container::PngChunkWalk walk(bytes, container::PngWalkStop::atShortHeader);
  while (!contents.haveEnd) {
    const auto chunk = walk.next();
    if (!chunk) {
      if (walk.position() < size) fail(image::iekTruncated, "png: chunk header truncated");
      break;
    }
    if (chunk->length >= kChunkLengthLimit) {
      fail(image::iekInvalid, "png: chunk length exceeds the 2^31-1 limit");
    }
    if (chunk->next() > size) fail(image::iekTruncated, "png: chunk truncated");
    const ByteView typeAndData =
        bytes.subspan(static_cast<size_t>(chunk->start + 4), size_t{4} + chunk->length);
    if (checksum::crc32(typeAndData) != base::readU32be(bytes, chunk->dataEnd())) {
      fail(image::iekInvalid, "png: chunk CRC mismatch");
    }
    takeChunk(*chunk, typeAndData.subspan(4), contents);
  }
  if (!contents.haveHeader) fail(image::iekTruncated, "png: missing IHDR");
  if (!contents.haveEnd) fail(image::iekTruncated, "png: missing IEND");
  return contents;
}

int samplesPerPixel(int colorType) {
  switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

bool isValidCombination(int colorType, int depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    default: return false;
  }
}

uint8_t layoutOf(int colorType) {
  if (colorType == 0) return image::csGray;
  if (colorType == 2) return image::csRgb;
  return image::csRgba;
}

void checkHeader(const Contents& contents) {
  const Header& h = contents.header;
  if (h.width < 1 || h.width > kDimensionLimit || h.height < 1 || h.height > kDimensionLimit) {
    fail(image::iekInvalid, "png: bad dimensions");
  }
  if (int64_t{h.width} * h.height > kPixelLimit) fail(image::iekInvalid, "png: too many pixels");
  if (!isValidCombination(h.colorType, h.depth)) {
    fail(image::iekUnsupported, "png: unsupported color type/depth");
  }
  if (h.colorType == 3 && contents.palette.empty()) {
    fail(image::iekInvalid, "png: indexed image missing PLTE");
  }
}

// The compressed stream: the one IDAT payload itself, or all of them joined.
ByteView compressedStream(const Contents& contents, std::vector<uint8_t>& joined) {
  if (contents.data.size() == 1) return contents.data.front();
  std::size_t total = 0;
  for (ByteView part : contents.data) total += part.size();
  joined.reserve(total);
  for (ByteView part : contents.data) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// Converts unfiltered rows of one kind into output pixels.
class RowConverter {
 public:
  RowConverter(const Header& header, const Contents& contents)
      : header_(header), palette_(contents.palette), transparency_(contents.transparency) {}

  void convert(const uint8_t* raw, uint8_t* out) const {
    const int64_t width = header_.width;
    const int depth = header_.depth;
    const std::span<const uint8_t> row(raw, static_cast<size_t>((width * bitsPerPixel() + 7) / 8));
    switch (header_.colorType) {
      case 0: grayRow(row, out, width, depth); break;
      case 2: keepHighBytes(raw, out, width * 3); break;
      case 3: paletteRow(row, out, width, depth); break;
      case 4: grayAlphaRow(raw, out, width, depth); break;
      default: keepHighBytes(raw, out, width * 4); break;
    }
  }

 private:
  int bitsPerPixel() const { return samplesPerPixel(header_.colorType) * header_.depth; }

  // Samples of depth 8 as they are; of depth 16 their most significant byte.
  void keepHighBytes(const uint8_t* raw, uint8_t* out, int64_t samples) const {
    if (header_.depth == 8) {
      std::memcpy(out, raw, static_cast<size_t>(samples));
      return;
    }
    for (int64_t i = 0; i < samples; ++i) out[i] = raw[2 * i];
  }

  void grayRow(std::span<const uint8_t> row, uint8_t* out, int64_t width, int depth) const {
    if (depth >= 8) return keepHighBytes(row.data(), out, width);
    const int scale = depth == 1 ? 255 : depth == 2 ? 85 : 17;
    for (int64_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(sampleBits(row, x, depth) * scale);
  }

  void grayAlphaRow(const uint8_t* raw, uint8_t* out, int64_t width, int depth) const {
    const int step = depth / 8;
    for (int64_t x = 0; x < width; ++x) {
      const uint8_t gray = raw[2 * step * x];
      out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = gray;
      out[4 * x + 3] = raw[2 * step * x + step];
    }
  }

  void paletteRow(std::span<const uint8_t> row, uint8_t* out, int64_t width, int depth) const {
    const auto entries = static_cast<int64_t>(palette_.size() / 3);
    for (int64_t x = 0; x < width; ++x) {
      const int64_t index = sampleBits(row, x, depth);
      if (index >= entries) fail(image::iekInvalid, "png: palette index out of range");
      const uint8_t* rgb = palette_.data() + 3 * index;
      out[4 * x] = rgb[0];
      out[4 * x + 1] = rgb[1];
      out[4 * x + 2] = rgb[2];
      out[4 * x + 3] = index < static_cast<int64_t>(transparency_.size()) ? transparency_[index] : 255;
    }
  }

  Header header_;
  ByteView palette_;
  ByteView transparency_;
};

// 8-bit gray, RGB and RGBA rows are the output rows themselves.
bool unfiltersInPlace(const Header& header) {
  return header.depth == 8 && (header.colorType == 0 || header.colorType == 2 || header.colorType == 6);
}

// 8-bit gray, RGB and RGBA rows: each row is unfiltered in the same buffer, moved back over the
// filter bytes before it, so the image data needs one buffer and one pass.
void unfilterInPlace(const Header& header, int64_t rowBytes, Image& image) {
  const int unit = samplesPerPixel(header.colorType);
  uint8_t* buffer = image.pixels.data();
  const std::vector<uint8_t> zeros(static_cast<size_t>(rowBytes), 0);
  for (int64_t y = 0; y < int64_t{header.height}; ++y) {
    const uint8_t* in = buffer + y * (rowBytes + 1);
    const uint8_t* previous = y == 0 ? zeros.data() : buffer + (y - 1) * rowBytes;
    if (!unfilterRow(in[0], in + 1, previous, buffer + y * rowBytes, rowBytes, unit)) {
      fail(image::iekInvalid, "png: bad filter type");
    }
  }
  image.pixels.shrink(static_cast<size_t>(rowBytes * header.height));
}

// Other rows go through two row buffers, the current and the previous, and are converted.
void unfilterAndConvert(ByteView filtered, const Header& header, const RowConverter& converter,
                        int64_t rowBytes, Image& image) {
  const int unit = std::max(1, samplesPerPixel(header.colorType) * header.depth / 8);
  std::vector<uint8_t> rows(static_cast<size_t>(3 * rowBytes), 0);  // zeros, then two rows
  uint8_t* pixels = image.pixels.data();
  for (int64_t y = 0; y < int64_t{header.height}; ++y) {
    const uint8_t* in = filtered.data() + y * (rowBytes + 1);
    uint8_t* current = rows.data() + (1 + y % 2) * rowBytes;
    const uint8_t* previous = y == 0 ? rows.data() : rows.data() + (1 + (y + 1) % 2) * rowBytes;
    if (!unfilterRow(in[0], in + 1, previous, current, rowBytes, unit)) {
      fail(image::iekInvalid, "png: bad filter type");
    }
    converter.convert(current, pixels + y * image.stride());
  }
}

// The image with room for the filtered data behind it, which is inflated straight into it.
Image imageWithFilteredRoom(const Header& header, int64_t filteredSize) {
  Image image = image::newImageForOverwrite(0, 0, layoutOf(header.colorType));
  image.width = header.width;
  image.height = header.height;
  image.pixels = image::PixelBuffer::forOverwrite(static_cast<size_t>(filteredSize));
  return image;
}

}  // namespace

Image decodePng(ByteView bytes) {
  const Contents contents = readChunks(bytes);
  checkHeader(contents);
  const Header& header = contents.header;
  const int64_t bitsPerPixel = int64_t{samplesPerPixel(header.colorType)} * header.depth;
  const int64_t rowBytes = (int64_t{header.width} * bitsPerPixel + 7) / 8;
  const int64_t filteredSize = int64_t{header.height} * (rowBytes + 1);
  std::vector<uint8_t> joined;
  const ByteView stream = compressedStream(contents, joined);
  // Buffers are sized for the declared image but committed only as the stream fills them.
  if (unfiltersInPlace(header)) {
    Image image = imageWithFilteredRoom(header, filteredSize);
    const int64_t produced = image::zlibInflateIntoAsImageError(stream, image.pixels);
    if (produced < filteredSize) fail(image::iekTruncated, "png: filtered data too short");
    unfilterInPlace(header, rowBytes, image);
    return image;
  }
  image::PixelBuffer filtered = image::PixelBuffer::forOverwrite(static_cast<size_t>(filteredSize));
  const int64_t produced = image::zlibInflateIntoAsImageError(stream, filtered);
  if (produced < filteredSize) fail(image::iekTruncated, "png: filtered data too short");
  Image image = image::newImageForOverwrite(header.width, header.height, layoutOf(header.colorType));
  unfilterAndConvert(filtered, header, RowConverter(header, contents), rowBytes, image);
  return image;
}

}  // namespace orvel::codec::png
