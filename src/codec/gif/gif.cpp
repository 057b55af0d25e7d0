// The blocks of a GIF file up to its first image, and that image's indices turned into RGBA.
#include "codec/gif/gif.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/text.h"
#include "image/error.h"

namespace orvel::codec::gif {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr int64_t kHeaderSize = 13;
constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImageDescriptor = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr int64_t kGraphicControlSize = 8;  // introducer, label, size, packed, delay, index, end
constexpr int64_t kDescriptorSize = 10;     // separator, left, top, width, height, packed
constexpr uint8_t kHasColorTable = 0x80;
constexpr uint8_t kInterlaced = 0x40;

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

int64_t colorTableBytes(uint8_t packed) { return int64_t{3} << ((packed & 7) + 1); }

// Where the sub-block chain at `position` ends (past its terminator), and its data's size.
struct Chain {
  int64_t end;
  int64_t dataSize;
};
Chain walkSubBlocks(ByteView bytes, int64_t position) {
  const auto size = static_cast<int64_t>(bytes.size());
  int64_t dataSize = 0;
  for (;;) {
    if (position >= size) fail(image::iekTruncated, "gif: sub-block truncated");
    const int64_t length = bytes[static_cast<size_t>(position)];
    if (length == 0) return {position + 1, dataSize};
    if (position + 1 + length > size) fail(image::iekTruncated, "gif: sub-block truncated");
    dataSize += length;
    position += 1 + length;
  }
}

// The chain's data joined.
std::vector<uint8_t> readSubBlocks(ByteView bytes, int64_t position) {
  const Chain chain = walkSubBlocks(bytes, position);
  std::vector<uint8_t> data;
  data.reserve(static_cast<size_t>(chain.dataSize));
  while (bytes[static_cast<size_t>(position)] != 0) {
    const auto block = bytes.subspan(static_cast<size_t>(position + 1), bytes[static_cast<size_t>(position)]);
    data.insert(data.end(), block.begin(), block.end());
    position += 1 + static_cast<int64_t>(block.size());
  }
  return data;
}

// Display row of each stored row: interlaced images store every 8th row from 0, every 8th from
// 4, every 4th from 2, then every 2nd from 1.
std::vector<int64_t> rowOrder(int64_t height, bool interlaced) {
  std::vector<int64_t> order;
  order.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int64_t y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  constexpr int64_t kStart[4] = {0, 4, 2, 1};
  constexpr int64_t kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int64_t y = kStart[pass]; y < height; y += kStep[pass]) order.push_back(y);
  }
  return order;
}

Image toRgba(const image::PixelBuffer& indices, int64_t width, int64_t height, bool interlaced,
             ByteView palette, int transparent) {
  const auto entries = static_cast<int64_t>(palette.size() / 3);
  if (*std::max_element(indices.begin(), indices.end()) >= entries) {
    fail(image::iekInvalid, "gif: palette index out of range");
  }
  std::array<uint32_t, 256> colors{};
  for (int64_t i = 0; i < entries; ++i) {
    const uint8_t rgba[4] = {palette[static_cast<size_t>(3 * i)], palette[static_cast<size_t>(3 * i + 1)],
                             palette[static_cast<size_t>(3 * i + 2)], static_cast<uint8_t>(i == transparent ? 0 : 255)};
    std::memcpy(&colors[static_cast<size_t>(i)], rgba, 4);
  }
  Image image = image::newImageForOverwrite(width, height, image::csRgba);
  const std::vector<int64_t> order = rowOrder(height, interlaced);
  for (int64_t stored = 0; stored < height; ++stored) {
    const uint8_t* in = indices.data() + stored * width;
    uint8_t* out = image.pixels.data() + order[static_cast<size_t>(stored)] * width * 4;
    for (int64_t x = 0; x < width; ++x) std::memcpy(out + 4 * x, &colors[in[x]], 4);
  }
  return image;
}

Image decodeFirstImage(ByteView bytes, int64_t position, ByteView palette, int transparent) {
  const auto size = static_cast<int64_t>(bytes.size());
  if (position + kDescriptorSize > size) fail(image::iekTruncated, "gif: image descriptor truncated");
  const int64_t width = base::readU16le(bytes, position + 5);
  const int64_t height = base::readU16le(bytes, position + 7);
  const uint8_t packed = bytes[static_cast<size_t>(position + 9)];
  if (width == 0 || height == 0) fail(image::iekInvalid, "gif: bad image dimensions");
  if (width * height > kMaxPixels) fail(image::iekInvalid, "gif: image has too many pixels");
  position += kDescriptorSize;
  if ((packed & kHasColorTable) != 0) {
    const int64_t tableBytes = colorTableBytes(packed);
    if (position + tableBytes > size) fail(image::iekTruncated, "gif: local color table truncated");
    palette = bytes.subspan(static_cast<size_t>(position), static_cast<size_t>(tableBytes));
    position += tableBytes;
  }
  if (position >= size) fail(image::iekInvalid, "gif: missing LZW min code size");
  const int minCodeSize = bytes[static_cast<size_t>(position)];
  const std::vector<uint8_t> data = readSubBlocks(bytes, position + 1);
  const image::PixelBuffer indices = lzwDecode(minCodeSize, data, width * height);
  return toRgba(indices, width, height, (packed & kInterlaced) != 0, palette, transparent);
}

}  // namespace

Image decodeGif(ByteView bytes) {
  const auto size = static_cast<int64_t>(bytes.size());
  image::requireLen(size, kHeaderSize, "gif: header truncated");
  if (!base::hasBytesAt(bytes, 0, "GIF")) fail(image::iekUnsupported, "gif: bad signature");
  if (!base::hasBytesAt(bytes, 3, "87a") && !base::hasBytesAt(bytes, 3, "89a")) {
    fail(image::iekUnsupported, "gif: unsupported version");
  }
  const int64_t screenWidth = base::readU16le(bytes, 6);
  const int64_t screenHeight = base::readU16le(bytes, 8);
  if (screenWidth == 0 || screenHeight == 0) fail(image::iekInvalid, "gif: bad dimensions");
  if (screenWidth * screenHeight > kMaxPixels) fail(image::iekInvalid, "gif: too many pixels");
  int64_t position = kHeaderSize;
  ByteView palette;
  if ((bytes[10] & kHasColorTable) != 0) {
    const int64_t tableBytes = colorTableBytes(bytes[10]);
    if (position + tableBytes > size) fail(image::iekTruncated, "gif: global color table truncated");
    palette = bytes.subspan(static_cast<size_t>(position), static_cast<size_t>(tableBytes));
    position += tableBytes;
  }
  int transparent = -1;  // the last graphic control extension that sets one decides
  for (;;) {
    if (position >= size) fail(image::iekInvalid, "gif: no image descriptor");
    switch (bytes[static_cast<size_t>(position)]) {
      case kExtension: {
        if (position + 2 > size) fail(image::iekTruncated, "gif: extension truncated");
        if (bytes[static_cast<size_t>(position + 1)] != kGraphicControl) {
          position = walkSubBlocks(bytes, position + 2).end;
          break;
        }
        if (position + kGraphicControlSize > size) fail(image::iekTruncated, "gif: GCE truncated");
        if ((bytes[static_cast<size_t>(position + 3)] & 1) != 0) transparent = bytes[static_cast<size_t>(position + 6)];
        position += kGraphicControlSize;
        break;
      }
      case kTrailer:
        fail(image::iekInvalid, "gif: no image data");
      case kImageDescriptor:
        return decodeFirstImage(bytes, position, palette, transparent);
      default:
        fail(image::iekInvalid, "gif: unknown block marker");
    }
  }
}

}  // namespace orvel::codec::gif
