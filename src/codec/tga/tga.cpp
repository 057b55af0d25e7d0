#include "codec/tga/tga.h"

#include <cstring>

#include "image/channel_order.h"
#include "image/error.h"

namespace orvel::codec::tga {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr int64_t kHeaderSize = 18;
constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr int64_t kMaxRun = 128;
constexpr uint8_t kTopLeftOrigin = 0x20;

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

// How the elements of the pixel stream become output pixels.
struct Source {
  bool mapped = false;
  int elementBytes = 0;  // bytes per stream element: an index, a gray sample or a B, G, R (, A)
  int outChannels = 0;
  int64_t mapFirst = 0;
  int64_t mapLength = 0;
  std::vector<uint8_t> map;  // mapLength entries of outChannels bytes, R, G, B (, A)
};

[[noreturn]] void indexOutOfRange() { fail(image::iekInvalid, "tga: palette index out of range"); }

// One pixel of the stream at `p` (elementBytes bytes available) as output bytes at `dst`.
inline void tgaPixel(const uint8_t* p, uint8_t* dst, const Source& s) {
  if (s.mapped) {
    const int64_t entry = int64_t{p[0]} - s.mapFirst;
    if (entry < 0 || entry >= s.mapLength) indexOutOfRange();
    std::memcpy(dst, s.map.data() + entry * s.outChannels, static_cast<std::size_t>(s.outChannels));
  } else if (s.elementBytes == 1) {
    dst[0] = p[0];
  } else {
    dst[0] = p[2];
    dst[1] = p[1];
    dst[2] = p[0];
    if (s.elementBytes == 4) dst[3] = p[3];
  }
}

// Walks the output in stream order: rows bottom-up unless the origin is top-left.
class RowCursor {
 public:
  RowCursor(Image& image, bool topDown)
      : image_(image), topDown_(topDown), stride_(image.stride()), channels_(image.channels) {
    startRow();
  }
  uint8_t* here() const { return row_ + x_ * channels_; }
  void advance() {
    if (++x_ == image_.width) {
      x_ = 0;
      ++y_;
      if (y_ < image_.height) startRow();
    }
  }

 private:
  void startRow() {
    row_ = image_.pixels.data() + (topDown_ ? y_ : image_.height - 1 - y_) * stride_;
  }
  Image& image_;
  bool topDown_;
  int64_t stride_;
  int64_t channels_;
  int64_t x_ = 0;
  int64_t y_ = 0;
  uint8_t* row_ = nullptr;
};

void mapRow(const uint8_t* src, uint8_t* dst, int64_t width, const Source& s) {
  for (int64_t x = 0; x < width; ++x) tgaPixel(src + x, dst + x * s.outChannels, s);
}

void decodeRaw(ByteView bytes, int64_t pos, const Source& s, Image& out, bool topDown) {
  const int64_t rowBytes = out.width * s.elementBytes;
  for (int64_t y = 0; y < out.height; ++y) {
    const uint8_t* src = bytes.data() + pos + y * rowBytes;
    uint8_t* dst = out.pixels.data() + (topDown ? y : out.height - 1 - y) * out.stride();
    if (s.mapped) {
      mapRow(src, dst, out.width, s);
    } else if (s.elementBytes == 1) {
      std::memcpy(dst, src, static_cast<std::size_t>(out.width));
    } else if (s.elementBytes == 3) {
      image::swapRedBlue3(src, dst, out.width);
    } else {
      image::swapRedBlue4(src, dst, out.width);
    }
  }
}

// Raw data that ends early: an index met before the end may still be out of range.
[[noreturn]] void failShortRaw(ByteView bytes, int64_t pos, const Source& s) {
  if (!s.mapped) fail(image::iekTruncated, "tga: pixel truncated");
  uint8_t scratch[4];
  for (int64_t at = pos; at < static_cast<int64_t>(bytes.size()); ++at) {
    tgaPixel(bytes.data() + at, scratch, s);
  }
  fail(image::iekTruncated, "tga: index truncated");
}

[[noreturn]] void rleTruncated() { fail(image::iekTruncated, "tga: RLE stream truncated"); }

// Run-length packets; without kStore the stream is only checked (for inputs too short to
// fill the image, which must fail without the image being allocated).
template <bool kStore>
void decodeRle(ByteView bytes, int64_t pos, const Source& s, int64_t pixels, RowCursor* cursor) {
  const auto size = static_cast<int64_t>(bytes.size());
  const int eb = s.elementBytes;
  uint8_t pixel[4];
  for (int64_t done = 0; done < pixels;) {
    if (pos >= size) rleTruncated();
    const uint8_t header = bytes[static_cast<std::size_t>(pos++)];
    const int64_t count = (header & 0x7F) + 1;
    if (done + count > pixels) fail(image::iekInvalid, "tga: RLE exceeds image");
    if (header & 0x80) {
      if (size - pos < eb) rleTruncated();
      tgaPixel(bytes.data() + pos, pixel, s);
      pos += eb;
      if constexpr (kStore) {
        for (int64_t k = 0; k < count; ++k) {
          std::memcpy(cursor->here(), pixel, static_cast<std::size_t>(s.outChannels));
          cursor->advance();
        }
      }
    } else {
      for (int64_t k = 0; k < count; ++k) {
        if (size - pos < eb) rleTruncated();
        if constexpr (kStore) {
          tgaPixel(bytes.data() + pos, cursor->here(), s);
          cursor->advance();
        } else {
          tgaPixel(bytes.data() + pos, pixel, s);
        }
        pos += eb;
      }
    }
    done += count;
  }
}

// Reads the colour map (B, G, R (, A) entries) into output order.
void readMap(ByteView bytes, int64_t pos, int entryBits, Source& s) {
  const int entryBytes = entryBits / 8;
  if (!base::inBounds(bytes, pos, s.mapLength * entryBytes)) {
    fail(image::iekTruncated, "tga: color map truncated");
  }
  s.map.resize(static_cast<std::size_t>(s.mapLength * s.outChannels));
  const uint8_t* src = bytes.data() + pos;
  for (int64_t i = 0; i < s.mapLength; ++i, src += entryBytes) {
    uint8_t* dst = s.map.data() + i * s.outChannels;
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    if (entryBytes == 4) dst[3] = src[3];
  }
}

}  // namespace

Image decodeTga(ByteView bytes) {
  image::requireLen(static_cast<int64_t>(bytes.size()), kHeaderSize, "tga: header truncated");
  const uint8_t type = bytes[2];
  if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) {
    fail(image::iekUnsupported, "tga: unsupported image type");
  }
  const int64_t width = base::readU16le(bytes, 12);
  const int64_t height = base::readU16le(bytes, 14);
  if (width == 0 || height == 0) fail(image::iekInvalid, "tga: bad dimensions");
  if (width * height > kMaxPixels) fail(image::iekInvalid, "tga: too many pixels");

  const uint8_t mapType = bytes[1];
  const int mapBits = bytes[7];
  const int depth = bytes[16];
  const bool gray = type == 3 || type == 11;
  int64_t pos = kHeaderSize + bytes[0];
  Source s;
  s.mapped = type == 1 || type == 9;
  uint8_t colorspace = image::csRgb;
  if (s.mapped) {
    if (mapType != 1) fail(image::iekInvalid, "tga: color-mapped image has no color map");
    if (mapBits != 24 && mapBits != 32) fail(image::iekInvalid, "tga: palette must be 24/32-bit");
    colorspace = mapBits == 32 ? image::csRgba : image::csRgb;
    s.outChannels = static_cast<int>(image::ChannelCount[colorspace]);
    s.mapFirst = base::readU16le(bytes, 3);
    s.mapLength = base::readU16le(bytes, 5);
    readMap(bytes, pos, mapBits, s);
    if (depth != 8) fail(image::iekInvalid, "tga: index depth must be 8");
    pos += s.mapLength * (mapBits / 8);
    s.elementBytes = 1;
  } else {
    if (mapType != 0) {
      fail(image::iekInvalid, "tga: color map present but image is not color-mapped");
    }
    if (gray && depth != 8) fail(image::iekInvalid, "tga: grayscale depth must be 8");
    if (!gray && (depth == 15 || depth == 16)) {
      fail(image::iekUnsupported, "tga: 16-bit truecolor unsupported");
    }
    if (!gray && depth != 24 && depth != 32) {
      fail(image::iekInvalid, "tga: truecolor depth must be 24 or 32");
    }
    colorspace = gray ? image::csGray : depth == 32 ? image::csRgba : image::csRgb;
    s.outChannels = static_cast<int>(image::ChannelCount[colorspace]);
    s.elementBytes = depth / 8;
  }

  const bool topDown = (bytes[17] & kTopLeftOrigin) != 0;
  const int64_t pixels = width * height;
  const int64_t remaining = static_cast<int64_t>(bytes.size()) - pos;
  if (type < 9) {
    if (remaining < pixels * s.elementBytes) failShortRaw(bytes, pos, s);
    Image out = image::newImageForOverwrite(width, height, colorspace);
    decodeRaw(bytes, pos, s, out, topDown);
    return out;
  }
  // A packet of 1 + elementBytes bytes yields at most 128 pixels: a stream shorter than that
  // bound cannot fill the image and is only checked, so it never allocates the image.
  const int64_t packets = remaining > 0 ? (remaining + s.elementBytes) / (1 + s.elementBytes) : 0;
  if (packets * kMaxRun < pixels) {
    decodeRle<false>(bytes, pos, s, pixels, nullptr);
  }
  Image out = image::newImageForOverwrite(width, height, colorspace);
  RowCursor cursor(out, topDown);
  decodeRle<true>(bytes, pos, s, pixels, &cursor);
  return out;
}

std::vector<uint8_t> encodeTga(const Image& image) {
  const uint8_t cs = image.colorspace;
  if (cs != image::csGray && cs != image::csRgb && cs != image::csRgba) {
    fail(image::iekUnsupported, "tga: encode needs csRgb, csRgba, or csGray");
  }
  if (image.width >= 65536 || image.height >= 65536) {
    fail(image::iekInvalid, "tga: dimensions exceed the 16-bit header fields");
  }
  const int64_t stride = image.stride();
  std::vector<uint8_t> out(static_cast<std::size_t>(kHeaderSize + stride * image.height));
  out[2] = cs == image::csGray ? 3 : 2;
  base::putU16le(out, 12, static_cast<uint16_t>(image.width));
  base::putU16le(out, 14, static_cast<uint16_t>(image.height));
  out[16] = static_cast<uint8_t>(image.channels * 8);
  for (int64_t y = 0; y < image.height; ++y) {
    const uint8_t* src = image.pixels.data() + (image.height - 1 - y) * stride;
    uint8_t* dst = out.data() + kHeaderSize + y * stride;
    if (cs == image::csGray) {
      std::memcpy(dst, src, static_cast<std::size_t>(stride));
    } else if (cs == image::csRgb) {
      image::swapRedBlue3(src, dst, image.width);
    } else {
      image::swapRedBlue4(src, dst, image.width);
    }
  }
  return out;
}

}  // namespace orvel::codec::tga
