#include "codec/pcx/pcx.h"

#include <cstring>
#include <vector>

#include "image/error.h"

namespace orvel::codec::pcx {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr int64_t kHeaderSize = 128;
constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr int64_t kPaletteSize = 769;  // the 0x0C marker and 256 R, G, B entries
constexpr uint8_t kPaletteMarker = 0x0C;
constexpr uint16_t kGrayscalePaletteInfo = 2;
constexpr int64_t kMaxRunBytesPerInputByte = 32;  // a two-byte run yields at most 63 bytes

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

enum class Layout { kMono, kGray, kPalette, kRgb };

struct Header {
  bool rle;
  int64_t width;
  int64_t height;
  int planes;
  int64_t bytesPerLine;
  Layout layout;
};

Header readHeader(ByteView bytes) {
  image::requireLen(static_cast<int64_t>(bytes.size()), kHeaderSize, "pcx: header truncated");
  if (bytes[0] != 0x0A) fail(image::iekUnsupported, "pcx: not a ZSoft PCX");
  if (bytes[1] > 5) fail(image::iekUnsupported, "pcx: unsupported version");
  if (bytes[2] > 1) fail(image::iekUnsupported, "pcx: unsupported encoding");
  Header h{};
  h.rle = bytes[2] == 1;
  h.width = int64_t{base::readU16le(bytes, 8)} - base::readU16le(bytes, 4) + 1;
  h.height = int64_t{base::readU16le(bytes, 10)} - base::readU16le(bytes, 6) + 1;
  if (h.width < 1 || h.height < 1) fail(image::iekInvalid, "pcx: bad dimensions");
  if (h.width * h.height > kMaxPixels) fail(image::iekInvalid, "pcx: too many pixels");

  const int bitsPerPixel = bytes[3];
  h.planes = bytes[65];
  h.bytesPerLine = base::readU16le(bytes, 66);
  const bool eightBit = bitsPerPixel == 8 && (h.planes == 1 || h.planes == 3);
  if (!eightBit && !(bitsPerPixel == 1 && h.planes == 1)) {
    fail(image::iekUnsupported, "pcx: unsupported pixel layout");
  }
  const int64_t minimum = eightBit ? h.width : (h.width + 7) / 8;
  if (h.bytesPerLine < minimum) {
    fail(image::iekInvalid,
         eightBit ? "pcx: bpl smaller than width" : "pcx: bpl too small for mono");
  }
  if (h.bytesPerLine > minimum + 1) fail(image::iekInvalid, "pcx: bpl too large for width");

  if (!eightBit) {
    h.layout = Layout::kMono;
  } else if (h.planes == 3) {
    h.layout = Layout::kRgb;
  } else {
    h.layout =
        base::readU16le(bytes, 68) == kGrayscalePaletteInfo ? Layout::kGray : Layout::kPalette;
  }
  return h;
}

// The 256-colour palette at the end of the file, as R, G, B, 255 entries.
std::vector<uint8_t> readPalette(ByteView bytes) {
  const int64_t start = static_cast<int64_t>(bytes.size()) - kPaletteSize;
  if (start < kHeaderSize || bytes[static_cast<std::size_t>(start)] != kPaletteMarker) {
    fail(image::iekInvalid, "pcx: missing 256-color palette");
  }
  std::vector<uint8_t> palette(256 * 4);
  for (std::size_t i = 0; i < 256; ++i) {
    std::memcpy(&palette[4 * i], bytes.data() + start + 1 + 3 * i, 3);
    palette[4 * i + 3] = 255;
  }
  return palette;
}

[[noreturn]] void dataTruncated() { fail(image::iekTruncated, "pcx: pixel data truncated"); }

// Fills one plane's scanline from the run-length stream; runs stop at the scanline's end.
void unpackPlane(ByteView bytes, int64_t& pos, uint8_t* line, int64_t length) {
  const auto size = static_cast<int64_t>(bytes.size());
  for (int64_t n = 0; n < length;) {
    if (pos >= size) dataTruncated();
    const uint8_t b = bytes[static_cast<std::size_t>(pos++)];
    if ((b & 0xC0) != 0xC0) {
      line[n++] = b;
      continue;
    }
    const int64_t count = b & 0x3F;
    if (pos >= size) fail(image::iekTruncated, "pcx: RLE value truncated");
    const uint8_t value = bytes[static_cast<std::size_t>(pos++)];
    if (count > length - n) fail(image::iekInvalid, "pcx: RLE overruns scanline");
    std::memset(line + n, value, static_cast<std::size_t>(count));
    n += count;
  }
}

// One decoded scanline (all planes) into one output row.
void convertRow(const Header& h, const uint8_t* line, const std::vector<uint8_t>& palette,
                uint8_t* dst) {
  switch (h.layout) {
    case Layout::kMono:
      for (int64_t x = 0; x < h.width; ++x) dst[x] = (line[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
      break;
    case Layout::kGray:
      std::memcpy(dst, line, static_cast<std::size_t>(h.width));
      break;
    case Layout::kPalette:
      for (int64_t x = 0; x < h.width; ++x) std::memcpy(dst + 4 * x, &palette[4 * line[x]], 4);
      break;
    case Layout::kRgb: {
      const uint8_t* red = line;
      const uint8_t* green = line + h.bytesPerLine;
      const uint8_t* blue = line + 2 * h.bytesPerLine;
      for (int64_t x = 0; x < h.width; ++x) {
        dst[3 * x] = red[x];
        dst[3 * x + 1] = green[x];
        dst[3 * x + 2] = blue[x];
      }
      break;
    }
  }
}

// Unpacks every scanline; with a null output the stream is only checked.
void decodeScanlines(ByteView bytes, const Header& h, const std::vector<uint8_t>& palette,
                     Image* out) {
  const int64_t scanline = h.planes * h.bytesPerLine;
  std::vector<uint8_t> line(static_cast<std::size_t>(scanline));
  int64_t pos = kHeaderSize;
  for (int64_t y = 0; y < h.height; ++y) {
    const uint8_t* source = line.data();
    if (h.rle) {
      for (int plane = 0; plane < h.planes; ++plane) {
        unpackPlane(bytes, pos, line.data() + plane * h.bytesPerLine, h.bytesPerLine);
      }
    } else {
      source = bytes.data() + pos;
      pos += scanline;
    }
    if (out != nullptr) convertRow(h, source, palette, out->pixels.data() + y * out->stride());
  }
}

}  // namespace

Image decodePcx(ByteView bytes) {
  const Header h = readHeader(bytes);
  std::vector<uint8_t> palette;
  if (h.layout == Layout::kPalette) palette = readPalette(bytes);

  const int64_t total = h.planes * h.bytesPerLine * h.height;
  const int64_t remaining = static_cast<int64_t>(bytes.size()) - kHeaderSize;
  if (!h.rle && remaining < total) dataTruncated();
  // A stream too short to fill the image is only checked, so it fails without the image
  // being allocated.
  if (h.rle && remaining * kMaxRunBytesPerInputByte < total) {
    decodeScanlines(bytes, h, palette, nullptr);
  }
  const uint8_t colorspace = h.layout == Layout::kRgb       ? image::csRgb
                             : h.layout == Layout::kPalette ? image::csRgba
                                                            : image::csGray;
  Image out = image::newImageForOverwrite(h.width, h.height, colorspace);
  decodeScanlines(bytes, h, palette, &out);
  return out;
}

}  // namespace orvel::codec::pcx
