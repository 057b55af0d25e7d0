#include "codec/qoi/qoi.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "base/text.h"
#include "image/error.h"

namespace orvel::codec::qoi {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr int64_t kHeaderSize = 14;
constexpr uint64_t kMaxPixels = uint64_t{1} << 30;
constexpr int64_t kMaxRun = 62;
constexpr uint8_t kEndMarker[8] = {0, 0, 0, 0, 0, 0, 0, 1};

// Opcodes: two tag bits, or a whole byte for the two full-colour chunks.
constexpr uint8_t kOpIndex = 0x00;
constexpr uint8_t kOpDiff = 0x40;
constexpr uint8_t kOpLuma = 0x80;
constexpr uint8_t kOpRun = 0xC0;
constexpr uint8_t kOpRgb = 0xFE;
constexpr uint8_t kOpRgba = 0xFF;

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

static_assert(std::endian::native == std::endian::little, "pixels are packed in memory order");

// A pixel as one word: R in the low byte, then G, B and A, their order in memory.
constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return r | g << 8 | b << 16 | a << 24;
}
constexpr uint32_t kAlpha = 0xFF000000u;
constexpr uint32_t kStartPixel = rgba(0, 0, 0, 255);

// (3r + 5g + 7b + 11a) mod 64. The bytes are spread 16 bits apart so that one multiplication
// gathers their weighted sum in the top 16 bits, with no carries from the other products.
inline unsigned hashOf(uint32_t px) {
  const uint64_t spread = (px & 0x00FF00FFull) | (uint64_t{px & 0xFF00FF00u} << 24);
  return static_cast<unsigned>((spread * 0x000300070005000Bull) >> 48) & 63u;
}

// Byte-wise sum and difference modulo 256, without carries or borrows between bytes.
inline uint32_t addBytes(uint32_t x, uint32_t y) {
  return ((x & 0x7F7F7F7Fu) + (y & 0x7F7F7F7Fu)) ^ ((x ^ y) & 0x80808080u);
}
inline uint32_t subBytes(uint32_t x, uint32_t y) {
  return ((x | 0x80808080u) - (y & 0x7F7F7F7Fu)) ^ ((x ^ ~y) & 0x80808080u);
}

constexpr uint32_t delta(int dr, int dg, int db) {
  return rgba(static_cast<uint8_t>(dr), static_cast<uint8_t>(dg), static_cast<uint8_t>(db), 0);
}

// The deltas a DIFF opcode adds, by its low six bits.
constexpr std::array<uint32_t, 64> kDiffDelta = [] {
  std::array<uint32_t, 64> table{};
  for (int op = 0; op < 64; ++op) {
    table[op] = delta(((op >> 4) & 3) - 2, ((op >> 2) & 3) - 2, (op & 3) - 2);
  }
  return table;
}();

// A LUMA chunk adds dg to green and dg - 8 plus a nibble of its second byte to red and blue:
// the dg part by the opcode's six bits, the nibbles by the second byte.
constexpr std::array<uint32_t, 64> kLumaGreen = [] {
  std::array<uint32_t, 64> table{};
  for (int v = 0; v < 64; ++v) table[v] = delta(v - 40, v - 32, v - 40);
  return table;
}();
constexpr std::array<uint32_t, 256> kLumaRedBlue = [] {
  std::array<uint32_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = delta(b >> 4, 0, b & 15);
  return table;
}();

// Writes pixels of kChannels bytes; a 3-byte pixel is stored with a 4-byte write while a byte
// of room follows it.
template <int kChannels>
class PixelWriter {
 public:
  PixelWriter(uint8_t* out, int64_t pixels)
      : at_(out), safeEnd_(out == nullptr ? nullptr : out + (pixels - 1) * kChannels) {}
  inline void put(uint32_t px) {
    if (kChannels == 4 || at_ < safeEnd_) {
      std::memcpy(at_, &px, 4);
    } else {
      std::memcpy(at_, &px, 3);
    }
    at_ += kChannels;
  }
  inline void fill(uint32_t px, int64_t count) {
    for (int64_t i = 0; i < count; ++i) put(px);
  }

 private:
  uint8_t* at_;
  uint8_t* safeEnd_;
};

// Raises the failure of a chunk at `p` that the input's end cuts short, if it is one.
void checkLastChunk(const uint8_t* p, const uint8_t* end) {
  if (p >= end) fail(image::iekTruncated, "qoi: pixel stream truncated");
  const int64_t left = end - p - 1;
  if (*p == kOpRgb && left < 3) fail(image::iekTruncated, "qoi: RGB chunk truncated");
  if (*p == kOpRgba && left < 4) fail(image::iekTruncated, "qoi: RGBA chunk truncated");
  if ((*p & 0xC0) == kOpLuma && left < 1) fail(image::iekTruncated, "qoi: LUMA chunk truncated");
}

// Without kStore the stream is only checked: an input too short to fill the image must fail,
// and it does so without the image being allocated.
template <int kChannels, bool kStore>
void decodeOps(ByteView bytes, uint8_t* out, int64_t pixels) {
  std::array<uint32_t, 64> index{};
  uint32_t px = kStartPixel;
  const uint8_t* p = bytes.data() + kHeaderSize;
  const uint8_t* const end = bytes.data() + bytes.size();
  PixelWriter<kChannels> writer(kStore ? out : nullptr, pixels);
  for (int64_t done = 0; done < pixels;) {
    // With five bytes left no chunk can be cut short; closer to the end each one is checked.
    if (end - p < 5) [[unlikely]]
      checkLastChunk(p, end);
    const uint8_t op = *p++;
    switch (op >> 6) {
      case kOpIndex >> 6:
        px = index[op];
        break;
      case kOpDiff >> 6:
        px = addBytes(px, kDiffDelta[op & 0x3F]);
        break;
      case kOpLuma >> 6:
        px = addBytes(px, addBytes(kLumaGreen[op & 0x3F], kLumaRedBlue[*p++]));
        break;
      default:
        if (op == kOpRgb) {
          px = rgba(p[0], p[1], p[2], 0) | (px & kAlpha);
          p += 3;
        } else if (op == kOpRgba) {
          px = rgba(p[0], p[1], p[2], p[3]);
          p += 4;
        } else {
          const int64_t count = (op & 0x3F) + 1;
          if (count > pixels - done) fail(image::iekInvalid, "qoi: run exceeds image bounds");
          index[hashOf(px)] = px;
          if constexpr (kStore) writer.fill(px, count);
          done += count;
          continue;
        }
    }
    index[hashOf(px)] = px;
    if constexpr (kStore) writer.put(px);
    ++done;
  }
}

template <bool kStore>
void decodeStream(ByteView bytes, uint8_t* out, int64_t pixels, int channels) {
  if (channels == 3) {
    decodeOps<3, kStore>(bytes, out, pixels);
  } else {
    decodeOps<4, kStore>(bytes, out, pixels);
  }
}

// Appends the pending run as opcodes of at most 62 pixels each.
inline uint8_t* qoiFlushRun(uint8_t* out, int64_t& run) {
  for (; run > 0; run -= std::min(run, kMaxRun)) {
    *out++ = static_cast<uint8_t>(kOpRun | (std::min(run, kMaxRun) - 1));
  }
  return out;
}

inline uint32_t loadPixel(const uint8_t* src, int channels) {
  if (channels == 4) return rgba(src[0], src[1], src[2], src[3]);
  return rgba(src[0], src[1], src[2], 255);
}

// Encodes one pixel that differs from the previous one, preferring the shortest chunk in the
// format's order: index, diff, luma, then the full colour.
inline uint8_t* encodeChange(uint8_t* out, uint32_t px, uint32_t prev,
                             std::array<uint32_t, 64>& index) {
  const unsigned slot = hashOf(px);
  if (index[slot] == px) {
    *out++ = static_cast<uint8_t>(kOpIndex | slot);
    return out;
  }
  index[slot] = px;
  const uint32_t d = subBytes(px, prev);
  if (d >> 24 != 0) {
    *out++ = kOpRgba;
    std::memcpy(out, &px, 4);
    return out + 4;
  }
  const uint32_t biased = addBytes(d, 0x00020202u);  // each delta + 2, DIFF wants 0 to 3
  if ((biased & 0x00FCFCFCu) == 0) {
    *out++ = static_cast<uint8_t>(kOpDiff | (biased & 3) << 4 | ((biased >> 8) & 3) << 2 |
                                  ((biased >> 16) & 3));
    return out;
  }
  const int dg = static_cast<int8_t>(d >> 8);
  const int drg = static_cast<int8_t>(d) - dg;
  const int dbg = static_cast<int8_t>(d >> 16) - dg;
  if (static_cast<unsigned>(dg + 32) < 64 && static_cast<unsigned>(drg + 8) < 16 &&
      static_cast<unsigned>(dbg + 8) < 16) {
    *out++ = static_cast<uint8_t>(kOpLuma | (dg + 32));
    *out++ = static_cast<uint8_t>((drg + 8) << 4 | (dbg + 8));
    return out;
  }
  *out++ = kOpRgb;
  std::memcpy(out, &px, 4);  // the fourth byte is overwritten next or lies in the slack
  return out + 3;
}

}  // namespace

Image decodeQoi(ByteView bytes) {
  image::requireLen(static_cast<int64_t>(bytes.size()), kHeaderSize, "qoi: header truncated");
  if (!base::hasBytesAt(bytes, 0, "qoif")) fail(image::iekUnsupported, "qoi: not a qoif container");
  const uint64_t width = base::readU32be(bytes, 4);
  const uint64_t height = base::readU32be(bytes, 8);
  const int channels = bytes[12];
  if (width == 0 || height == 0) fail(image::iekInvalid, "qoi: bad dimensions");
  if (channels != 3 && channels != 4) fail(image::iekUnsupported, "qoi: channels must be 3 or 4");
  if (width * height > kMaxPixels) fail(image::iekInvalid, "qoi: too many pixels");

  const auto pixels = static_cast<int64_t>(width * height);
  // One opcode byte yields at most 62 pixels.
  if ((static_cast<int64_t>(bytes.size()) - kHeaderSize) * kMaxRun < pixels) {
    decodeStream<false>(bytes, nullptr, pixels, channels);
  }
  Image out = image::newImageForOverwrite(static_cast<int64_t>(width), static_cast<int64_t>(height),
                                          channels == 3 ? image::csRgb : image::csRgba);
  decodeStream<true>(bytes, out.pixels.data(), pixels, channels);
  return out;
}

std::vector<uint8_t> encodeQoi(const Image& image) {
  if (image.colorspace != image::csRgb && image.colorspace != image::csRgba) {
    fail(image::iekUnsupported, "qoi: encode needs csRgb or csRgba");
  }
  const int channels = static_cast<int>(image.channels);
  const int64_t stride = image.stride();
  std::vector<uint8_t> out;
  // Room for the raw size, which a picture rarely exceeds; the capacity is committed only as
  // rows are appended.
  out.reserve(static_cast<std::size_t>(kHeaderSize + stride * image.height + 1 + 8));
  const uint8_t header[kHeaderSize] = {'q',
                                       'o',
                                       'i',
                                       'f',
                                       static_cast<uint8_t>(image.width >> 24),
                                       static_cast<uint8_t>(image.width >> 16),
                                       static_cast<uint8_t>(image.width >> 8),
                                       static_cast<uint8_t>(image.width),
                                       static_cast<uint8_t>(image.height >> 24),
                                       static_cast<uint8_t>(image.height >> 16),
                                       static_cast<uint8_t>(image.height >> 8),
                                       static_cast<uint8_t>(image.height),
                                       static_cast<uint8_t>(channels),
                                       0};  // colour space 0: sRGB with linear alpha

  // Each row is encoded into a small buffer that stays in cache, then appended. Worst case per
  // pixel: a tag and four bytes; a pending run needs one opcode more, the end marker eight.
  std::vector<uint8_t> row(static_cast<std::size_t>(image.width * (channels + 1) + 2 + 8));
  std::memcpy(row.data(), header, kHeaderSize);
  out.insert(out.end(), row.data(), row.data() + kHeaderSize);
  std::array<uint32_t, 64> index{};
  uint32_t prev = kStartPixel;
  int64_t run = 0;
  for (int64_t y = 0; y < image.height; ++y) {
    uint8_t* o = row.data();
    const uint8_t* src = image.pixels.data() + y * stride;
    for (int64_t x = 0; x < image.width; ++x, src += channels) {
      const uint32_t px = loadPixel(src, channels);
      if (px == prev) {
        ++run;
        continue;
      }
      o = qoiFlushRun(o, run);
      o = encodeChange(o, px, prev, index);
      prev = px;
    }
    // Full runs go out at once, so the pending run never needs more than one opcode.
    for (; run >= kMaxRun; run -= kMaxRun) *o++ = kOpRun | (kMaxRun - 1);
    out.insert(out.end(), row.data(), o);
  }
  uint8_t* o = qoiFlushRun(row.data(), run);
  std::memcpy(o, kEndMarker, sizeof kEndMarker);
  out.insert(out.end(), row.data(), o + sizeof kEndMarker);
  return out;
}

}  // namespace orvel::codec::qoi
