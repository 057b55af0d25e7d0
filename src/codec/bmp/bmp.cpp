#include "codec/bmp/bmp.h"

#include <array>
#include <cstring>

#include "base/text.h"
#include "image/channel_order.h"
#include "image/error.h"

namespace orvel::codec::bmp {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr int64_t kFileHeaderSize = 14;
constexpr int64_t kInfoHeaderSize = 40;
constexpr int64_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr int64_t kMaxDimension = int64_t{1} << 30;
constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

struct Header {
  int64_t pixelOffset;
  int64_t dibSize;
  int64_t width;
  int64_t height;  // absolute
  bool bottomUp;
  int bitsPerPixel;
  int64_t paletteEntries;  // 0 above 8 bits per pixel
  int64_t rowBytes;        // padded to 4 bytes
};

Header readHeader(ByteView bytes) {
  const auto size = static_cast<int64_t>(bytes.size());
  image::requireLen(size, 18, "bmp: header truncated");
  if (!base::hasBytesAt(bytes, 0, "BM")) fail(image::iekUnsupported, "bmp: not a BM container");
  Header h{};
  h.dibSize = base::readU32le(bytes, 14);
  if (h.dibSize < kInfoHeaderSize) {
    fail(image::iekUnsupported, "bmp: only BITMAPINFOHEADER-and-larger DIB headers are supported");
  }
  image::requireLen(size, kHeadersSize, "bmp: DIB header truncated");
  h.pixelOffset = base::readU32le(bytes, 10);
  h.width = static_cast<int32_t>(base::readU32le(bytes, 18));
  const int64_t height = static_cast<int32_t>(base::readU32le(bytes, 22));
  h.bottomUp = height > 0;
  h.height = height < 0 ? -height : height;
  h.bitsPerPixel = base::readU16le(bytes, 28);
  if (h.width < 1) fail(image::iekInvalid, "bmp: width must be positive");
  if (height == 0) fail(image::iekInvalid, "bmp: height must be non-zero");
  if (h.width > kMaxDimension || h.height > kMaxDimension) {
    fail(image::iekInvalid, "bmp: dimensions too large");
  }
  if (base::readU16le(bytes, 26) != 1) fail(image::iekUnsupported, "bmp: planes must be 1");
  if (base::readU32le(bytes, 30) != 0) {
    fail(image::iekUnsupported, "bmp: only BI_RGB (uncompressed) is supported");
  }
  const int bpp = h.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
    fail(image::iekInvalid, "bmp: unsupported bpp");
  }
  if (bpp <= 8) {
    const int64_t full = int64_t{1} << bpp;
    const int64_t used = base::readU32le(bytes, 46);
    h.paletteEntries = used != 0 && used <= full ? used : full;
  }
  h.rowBytes = (h.width * bpp + 31) / 32 * 4;
  return h;
}

// Palette entries as output RGBA pixels (B, G, R, reserved on disk; alpha always 255).
std::array<uint32_t, 256> readPalette(ByteView bytes, const Header& h) {
  std::array<uint32_t, 256> palette{};
  if (h.paletteEntries == 0) return palette;
  const int64_t start = kFileHeaderSize + h.dibSize;
  if (!base::inBounds(bytes, start, h.paletteEntries * 4)) {
    fail(image::iekTruncated, "bmp: palette truncated");
  }
  for (int64_t i = 0; i < h.paletteEntries; ++i) {
    const uint8_t* e = bytes.data() + start + 4 * i;
    const uint8_t rgba[4] = {e[2], e[1], e[0], 255};
    std::memcpy(&palette[static_cast<std::size_t>(i)], rgba, 4);
  }
  return palette;
}

// Rows of 1, 4 or 8 bits per index, most significant bits first.
void indexedRow(const uint8_t* src, uint8_t* dst, int64_t width, int bpp,
                const std::array<uint32_t, 256>& palette, int64_t entries) {
  const int perByte = 8 / bpp;
  const unsigned mask = (1u << bpp) - 1;
  for (int64_t x = 0; x < width; ++x) {
    const int shift = 8 - bpp * static_cast<int>(x % perByte + 1);
    const unsigned index = (src[x / perByte] >> shift) & mask;
    if (index >= entries) fail(image::iekInvalid, "bmp: palette index out of range");
    std::memcpy(dst + 4 * x, &palette[index], 4);
  }
}

void indexed8Row(const uint8_t* src, uint8_t* dst, int64_t width,
                 const std::array<uint32_t, 256>& palette, int64_t entries) {
  for (int64_t x = 0; x < width; ++x) {
    const unsigned index = src[x];
    if (index >= entries) fail(image::iekInvalid, "bmp: palette index out of range");
    std::memcpy(dst + 4 * x, &palette[index], 4);
  }
}

}  // namespace

Image decodeBmp(ByteView bytes) {
  const Header h = readHeader(bytes);
  const std::array<uint32_t, 256> palette = readPalette(bytes, h);
  if (h.pixelOffset < kFileHeaderSize + h.dibSize + 4 * h.paletteEntries) {
    fail(image::iekInvalid, "bmp: pixel offset overlaps header or palette");
  }
  if (!base::inBounds(bytes, h.pixelOffset, h.rowBytes * h.height)) {
    fail(image::iekTruncated, "bmp: pixel data truncated");
  }
  // Complete data bounds the image by the input size, so this limit only stops real files
  // whose pixels would not fit the image model.
  if (h.width * h.height > kMaxPixels) fail(image::iekInvalid, "bmp: dimensions too large");

  Image out = image::newImageForOverwrite(h.width, h.height,
                                          h.bitsPerPixel == 24 ? image::csRgb : image::csRgba);
  const int64_t stride = out.stride();
  for (int64_t y = 0; y < h.height; ++y) {
    const uint8_t* src = bytes.data() + h.pixelOffset + y * h.rowBytes;
    uint8_t* dst = out.pixels.data() + (h.bottomUp ? h.height - 1 - y : y) * stride;
    switch (h.bitsPerPixel) {
      case 24:
        image::swapRedBlue3(src, dst, h.width);
        break;
      case 32:
        image::swapRedBlue4Opaque(src, dst, h.width);
        break;
      case 8:
        indexed8Row(src, dst, h.width, palette, h.paletteEntries);
        break;
      default:
        indexedRow(src, dst, h.width, h.bitsPerPixel, palette, h.paletteEntries);
    }
  }
  return out;
}

std::vector<uint8_t> encodeBmp(const Image& image) {
  if (image.colorspace != image::csRgb && image.colorspace != image::csRgba) {
    fail(image::iekUnsupported, "bmp: encode needs csRgb or csRgba");
  }
  const int bpp = image.colorspace == image::csRgb ? 24 : 32;
  const int64_t rowBytes = (image.width * bpp / 8 + 3) / 4 * 4;
  const int64_t imageSize = rowBytes * image.height;
  if (kHeadersSize + imageSize > int64_t{UINT32_MAX}) {
    fail(image::iekInvalid, "bmp: encoded size exceeds the 32-bit BMP fields");
  }
  std::vector<uint8_t> out(static_cast<std::size_t>(kHeadersSize + imageSize));
  out[0] = 'B';
  out[1] = 'M';
  base::putU32le(out, 2, static_cast<uint32_t>(out.size()));
  base::putU32le(out, 10, kHeadersSize);
  base::putU32le(out, 14, kInfoHeaderSize);
  base::putU32le(out, 18, static_cast<uint32_t>(image.width));
  base::putU32le(out, 22, static_cast<uint32_t>(image.height));
  base::putU16le(out, 26, 1);
  base::putU16le(out, 28, static_cast<uint16_t>(bpp));
  base::putU32le(out, 34, static_cast<uint32_t>(imageSize));
  base::putU32le(out, 38, kPixelsPerMetre);
  base::putU32le(out, 42, kPixelsPerMetre);

  const int64_t stride = image.stride();
  for (int64_t y = 0; y < image.height; ++y) {
    const uint8_t* src = image.pixels.data() + (image.height - 1 - y) * stride;
    uint8_t* dst = out.data() + kHeadersSize + y * rowBytes;
    if (bpp == 24) {
      image::swapRedBlue3(src, dst, image.width);
    } else {
      image::swapRedBlue4(src, dst, image.width);
    }
  }
  return out;
}

}  // namespace orvel::codec::bmp
