// The small shared pieces of the PNG codec, and writing a PNG.
#include "codec/png/png.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "checksum/crc32.h"

#include "container/png.h"
#include "deflate/zlib.h"
#include "image/error.h"

namespace orvel::codec::png {
namespace {

using image::Image;
using image::OrvelException;

constexpr std::string_view kSignature{"\x89PNG\r\n\x1A\n", 8};
constexpr int64_t kDimensionLimit = int64_t{1} << 30;
// A chunk's length field must stay below 2^31; larger image data goes into several IDATs.
constexpr std::size_t kLargestChunk = (std::size_t{1} << 31) - 1;

uint8_t colorTypeOf(uint8_t layout) {
  switch (layout) {
    case image::csGray: return 0;
    case image::csRgb: return 2;
    default: return 6;
  }
}

// Every row behind a filter byte of 0: the rows unchanged.
std::vector<uint8_t> unfilteredRows(const Image& image) {
  const int64_t stride = image.stride();
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(image.height * (stride + 1)));
  for (int64_t y = 0; y < image.height; ++y) {
    raw.push_back(0);
    const uint8_t* row = image.pixels.data() + y * stride;
    raw.insert(raw.end(), row, row + stride);
  }
  return raw;
}

// One IDAT whose zlib stream is compressed straight into place behind its header: image data
// is megabytes, and each copy of it would cost as much as a fast compressor's pass.
void writeSingleIdat(std::vector<uint8_t>& out, base::ByteView raw) {
  const std::size_t start = out.size();
  out.resize(start + 8 + deflate::zlibDeflateBound(raw.size()));
  const std::size_t length = deflate::zlibDeflateInto(raw, out.data() + start + 8);
  const std::span<uint8_t> chunk(out.data() + start, 8 + length);
  base::putU32(chunk, 0, static_cast<uint32_t>(length), true);
  std::memcpy(chunk.data() + 4, "IDAT", 4);
  const uint32_t crc = checksum::crc32(chunk.subspan(4));  // type and data
  out.resize(start + 8 + length);
  base::appendU32(out, crc, true);
}

}  // namespace

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) noexcept {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

uint8_t sampleBits(std::span<const uint8_t> row, int64_t index, int depth) noexcept {
  if (depth == 8) return row[static_cast<size_t>(index)];
  const int64_t bit = index * depth;
  const int shift = 8 - depth - static_cast<int>(bit % 8);
  return static_cast<uint8_t>((row[static_cast<size_t>(bit / 8)] >> shift) & ((1 << depth) - 1));
}

void writeChunk(std::vector<uint8_t>& output, std::string_view type, base::ByteView data) {
  base::appendBytes(output, container::makeChunk(type, data));
}

std::vector<uint8_t> encodePng(const Image& image) {
  if (image.colorspace != image::csGray && image.colorspace != image::csRgb &&
      image.colorspace != image::csRgba) {
    throw OrvelException(image::iekUnsupported, "png: encode needs csGray, csRgb, or csRgba");
  }
  if (image.width < 1 || image.width > kDimensionLimit || image.height < 1 ||
      image.height > kDimensionLimit) {
    throw OrvelException(image::iekInvalid, "png: bad dimensions");
  }
  const std::vector<uint8_t> raw = unfilteredRows(image);
  std::vector<uint8_t> out(kSignature.begin(), kSignature.end());
  std::vector<uint8_t> header;
  base::appendU32(header, static_cast<uint32_t>(image.width), true);
  base::appendU32(header, static_cast<uint32_t>(image.height), true);
  header.insert(header.end(), {8, colorTypeOf(image.colorspace), 0, 0, 0});
  writeChunk(out, "IHDR", header);
  if (deflate::zlibDeflateBound(raw.size()) <= kLargestChunk) {
    writeSingleIdat(out, raw);
  } else {
    const std::vector<uint8_t> compressed = deflate::zlibDeflate(raw);
    const base::ByteView stream(compressed);
    for (std::size_t at = 0; at < stream.size(); at += kLargestChunk) {
      writeChunk(out, "IDAT", stream.subspan(at, std::min(kLargestChunk, stream.size() - at)));
    }
  }
  writeChunk(out, "IEND", {});
  return out;
}

}  // namespace orvel::codec::png
