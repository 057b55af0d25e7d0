#include "codec/webp/vp8l.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "codec/webp/bit_reader.h"
#include "codec/webp/prefix_code.h"
#include "codec/webp/transforms.h"
#include "codec/webp/webp.h"
#include "image/error.h"

namespace orvel::codec::webp {
namespace {

using image::ImageErrorKind;
using image::OrvelException;

constexpr int kLiteralCodes = 256;
constexpr int kLengthCodes = 24;
constexpr int kDistanceCodes = 40;
constexpr int kMaxCacheBits = 11;
constexpr int kCodeLengthCodes = 19;
constexpr std::array<uint8_t, kCodeLengthCodes> kCodeLengthOrder = {17, 18, 0, 1, 2,  3,  4,  5,  16, 6,
                                                                    7,  8,  9, 10, 11, 12, 13, 14, 15};
constexpr uint8_t kRepeatPrevious = 16;
constexpr uint8_t kFirstLengthOfRepeats = 8;
constexpr uint32_t kCacheMultiplier = 0x1E35A7BDu;

// The 120 nearest earlier positions as (dx, dy): distance code n + 1 means dy rows up and dx
// pixels to the left (negative: to the right).
constexpr int8_t kNeighbourhood[120][2] = {
    {0, 1},  {1, 0},  {1, 1},  {-1, 1}, {0, 2},  {2, 0},  {1, 2},  {-1, 2}, {2, 1},  {-2, 1},
    {2, 2},  {-2, 2}, {0, 3},  {3, 0},  {1, 3},  {-1, 3}, {3, 1},  {-3, 1}, {2, 3},  {-2, 3},
    {3, 2},  {-3, 2}, {0, 4},  {4, 0},  {1, 4},  {-1, 4}, {4, 1},  {-4, 1}, {3, 3},  {-3, 3},
    {2, 4},  {-2, 4}, {4, 2},  {-4, 2}, {0, 5},  {3, 4},  {-3, 4}, {4, 3},  {-4, 3}, {5, 0},
    {1, 5},  {-1, 5}, {5, 1},  {-5, 1}, {2, 5},  {-2, 5}, {5, 2},  {-5, 2}, {4, 4},  {-4, 4},
    {3, 5},  {-3, 5}, {5, 3},  {-5, 3}, {0, 6},  {6, 0},  {1, 6},  {-1, 6}, {6, 1},  {-6, 1},
    {2, 6},  {-2, 6}, {6, 2},  {-6, 2}, {4, 5},  {-4, 5}, {5, 4},  {-5, 4}, {3, 6},  {-3, 6},
    {6, 3},  {-6, 3}, {0, 7},  {7, 0},  {1, 7},  {-1, 7}, {5, 5},  {-5, 5}, {7, 1},  {-7, 1},
    {4, 6},  {-4, 6}, {6, 4},  {-6, 4}, {2, 7},  {-2, 7}, {7, 2},  {-7, 2}, {3, 7},  {-3, 7},
    {7, 3},  {-7, 3}, {5, 6},  {-5, 6}, {6, 5},  {-6, 5}, {8, 0},  {4, 7},  {-4, 7}, {7, 4},
    {-7, 4}, {8, 1},  {8, 2},  {6, 6},  {-6, 6}, {8, 3},  {5, 7},  {-5, 7}, {7, 5},  {-7, 5},
    {8, 4},  {6, 7},  {-6, 7}, {7, 6},  {-7, 6}, {8, 5},  {7, 7},  {-7, 7}, {8, 6},  {8, 7}};

enum TransformType : uint8_t { kPredictor = 0, kColor = 1, kSubtractGreen = 2, kColorIndexing = 3 };

struct Transform {
  TransformType type = kSubtractGreen;
  int64_t width = 0;  // pixels per row where it applies (the wider width for colour indexing)
  int bits = 0;   // block size bits; index packing bits for colour indexing
  ArgbImage blocks;
  std::array<uint32_t, 256> palette{};
};

// The five codes of one group, and whether its literals need the green code only.
struct Group {
  PrefixCode green, red, blue, alpha, distance;
  bool greenOnly = false;
  uint32_t fixedLiteral = 0;  // alpha, red and blue when greenOnly
};

int64_t blocksFor(int64_t size, int bits) { return (size + (int64_t{1} << bits) - 1) >> bits; }

// The pixel distance of a distance code for rows of `width` pixels.
int64_t distanceCodeToLinear(int64_t code, int64_t width) {
  if (code > 120) return code - 120;
  const int8_t* d = kNeighbourhood[code - 1];
  return std::max<int64_t>(1, d[0] + int64_t{d[1]} * width);
}

void copyPixels(uint32_t* to, int64_t distance, int64_t count) {
  const uint32_t* from = to - distance;
  if (distance >= count) {
    std::memcpy(to, from, static_cast<size_t>(count) * 4);
  } else if (distance == 1) {
    std::fill(to, to + count, from[0]);
  } else {
    for (int64_t i = 0; i < count; ++i) to[i] = from[i];
  }
}

class StreamDecoder {
 public:
  explicit StreamDecoder(base::ByteView stream) : bits_(stream) {}

  ArgbImage decodeImage(int64_t width, int64_t height);

 private:
  [[noreturn]] void fail(ImageErrorKind kind, const char* message) const {
    if (bits_.overrun()) truncated();
    throw OrvelException(kind, message);
  }
  [[noreturn]] static void truncated() {
    throw OrvelException(image::iekTruncated, "webp: bitstream truncated");
  }
  void failUnlessCoded() const {
    // A reader taking one bit at a time ran out of bits before it saw 15 of them.
    if (bits_.bitsLeft() < kMaxCodeLength) truncated();
    throw OrvelException(image::iekInvalid, "webp: huffman code longer than 15 bits");
  }

  uint32_t readBits(int count) {
    if (count > 32) fail(image::iekInvalid, "webp: readBits > 32");
    return bits_.read(count);
  }
  uint32_t decodeSymbol(const PrefixCode& code) {
    bits_.fill();
    const PrefixEntry entry = code.lookup(bits_);
    if (entry.bits == kNoCode) failUnlessCoded();
    bits_.skip(entry.bits);
    return entry.value;
  }
  // Lengths and distances: a prefix symbol and its extra bits.
  int64_t prefixValue(uint32_t symbol) {
    if (symbol < 4) return symbol + 1;
    const int extraBits = static_cast<int>(symbol - 2) >> 1;
    const int64_t offset = int64_t{2 + (symbol & 1)} << extraBits;
    return offset + bits_.read(extraBits) + 1;
  }

  Transform readTransform(TransformType type, int64_t& width, int64_t height);
  int readColorCacheBits();
  void readCodeLengths(const PrefixCode& lengthCode, std::vector<uint8_t>& lengths);
  PrefixCodeRef readHuffCode(int alphabetSize, std::vector<PrefixEntry>& arena);
  std::vector<Group> readHtreeGroups(int64_t count, int cacheBits, std::vector<PrefixEntry>& arena);
  ArgbImage decodeEntropyImage(int64_t width, int64_t height);
  void decodeImageData(uint32_t* out, int64_t width, int64_t height, const std::vector<Group>& groups,
                       const BlockImage& meta, int cacheBits);

  BitReader bits_;
};

Transform StreamDecoder::readTransform(TransformType type, int64_t& width, int64_t height) {
  Transform transform;
  transform.type = type;
  transform.width = width;
  switch (type) {
    case kPredictor:
    case kColor:
      transform.bits = static_cast<int>(readBits(3)) + 2;
      transform.blocks =
          decodeEntropyImage(blocksFor(width, transform.bits), blocksFor(height, transform.bits));
      break;
    case kSubtractGreen:
      break;
    case kColorIndexing: {
      const int64_t size = readBits(8) + 1;
      const ArgbImage colors = decodeEntropyImage(size, 1);
      const uint32_t* c = colors.data();
      transform.palette[0] = c[0];
      for (int64_t i = 1; i < size; ++i) {  // each colour is stored as the difference to the last
        const uint32_t a = c[i];
        const uint32_t b = transform.palette[static_cast<size_t>(i - 1)];
        transform.palette[static_cast<size_t>(i)] =
            (((a & 0xFF00FF00u) + (b & 0xFF00FF00u)) & 0xFF00FF00u) |
            (((a & 0x00FF00FFu) + (b & 0x00FF00FFu)) & 0x00FF00FFu);
      }
      transform.bits = size <= 2 ? 3 : size <= 4 ? 2 : size <= 16 ? 1 : 0;
      width = blocksFor(width, transform.bits);
      break;
    }
  }
  return transform;
}

int StreamDecoder::readColorCacheBits() {
  if (readBits(1) == 0) return 0;
  const int cacheBits = static_cast<int>(readBits(4));
  if (cacheBits < 1 || cacheBits > kMaxCacheBits) fail(image::iekInvalid, "webp: bad color cache bits");
  return cacheBits;
}

void StreamDecoder::readCodeLengths(const PrefixCode& lengthCode, std::vector<uint8_t>& lengths) {
  const auto alphabetSize = static_cast<int64_t>(lengths.size());
  int64_t maxSymbol = alphabetSize;
  if (readBits(1) != 0) {
    const int lengthBits = 2 + 2 * static_cast<int>(readBits(3));
    maxSymbol = 2 + readBits(lengthBits);
    if (maxSymbol > alphabetSize) fail(image::iekInvalid, "webp: max_symbol exceeds alphabet");
  }
  uint8_t previous = kFirstLengthOfRepeats;
  for (int64_t symbol = 0; symbol < alphabetSize && maxSymbol-- > 0;) {
    const uint32_t length = decodeSymbol(lengthCode);
    if (length < kRepeatPrevious) {
      lengths[static_cast<size_t>(symbol++)] = static_cast<uint8_t>(length);
      if (length != 0) previous = static_cast<uint8_t>(length);
      continue;
    }
    const int64_t repeat = length == 16 ? 3 + readBits(2) : length == 17 ? 3 + readBits(3) : 11 + readBits(7);
    if (symbol + repeat > alphabetSize) fail(image::iekInvalid, "webp: code lengths overrun the alphabet");
    std::fill_n(lengths.begin() + symbol, repeat, length == 16 ? previous : uint8_t{0});
    symbol += repeat;
  }
}

PrefixCodeRef StreamDecoder::readHuffCode(int alphabetSize, std::vector<PrefixEntry>& arena) {
  std::vector<uint8_t> lengths(static_cast<size_t>(alphabetSize), 0);
  if (readBits(1) != 0) {  // a simple code of one or two symbols
    const bool twoSymbols = readBits(1) != 0;
    const uint32_t first = readBits(readBits(1) != 0 ? 8 : 1);
    if (first >= static_cast<uint32_t>(alphabetSize)) fail(image::iekInvalid, "webp: simple code symbol out of range");
    lengths[first] = 1;
    if (twoSymbols) {
      const uint32_t second = readBits(8);
      if (second >= static_cast<uint32_t>(alphabetSize)) {
        fail(image::iekInvalid, "webp: simple code symbol out of range");
      }
      lengths[second] = 1;
    }
    return buildPrefixCode(lengths, arena);
  }
  std::array<uint8_t, kCodeLengthCodes> lengthCodeLengths{};
  const int declared = 4 + static_cast<int>(readBits(4));
  for (int i = 0; i < declared; ++i) lengthCodeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(readBits(3));
  std::vector<PrefixEntry> lengthArena;
  const PrefixCodeRef lengthRef = buildPrefixCode(lengthCodeLengths, lengthArena);
  readCodeLengths({lengthArena.data() + lengthRef.offset, lengthRef.rootMask}, lengths);
  return buildPrefixCode(lengths, arena);
}

std::vector<Group> StreamDecoder::readHtreeGroups(int64_t count, int cacheBits,
                                                   std::vector<PrefixEntry>& arena) {
  const int greenSize = kLiteralCodes + kLengthCodes + (cacheBits > 0 ? 1 << cacheBits : 0);
  const int alphabet[5] = {greenSize, kLiteralCodes, kLiteralCodes, kLiteralCodes, kDistanceCodes};
  std::vector<std::array<PrefixCodeRef, 5>> refs(static_cast<size_t>(count));
  for (auto& group : refs) {
    for (int i = 0; i < 5; ++i) group[static_cast<size_t>(i)] = readHuffCode(alphabet[i], arena);
  }
  // The arena has stopped growing: the tables can be addressed.
  std::vector<Group> groups(refs.size());
  for (size_t g = 0; g < refs.size(); ++g) {
    PrefixCode* codes[5] = {&groups[g].green, &groups[g].red, &groups[g].blue, &groups[g].alpha,
                            &groups[g].distance};
    for (size_t i = 0; i < 5; ++i) *codes[i] = {arena.data() + refs[g][i].offset, refs[g][i].rootMask};
    const auto& [green, red, blue, alpha, distance] = refs[g];
    groups[g].greenOnly = red.usedSymbols == 1 && blue.usedSymbols == 1 && alpha.usedSymbols == 1;
    groups[g].fixedLiteral = uint32_t{alpha.onlySymbol} << 24 | uint32_t{red.onlySymbol} << 16 | blue.onlySymbol;
  }
  return groups;
}

// A sub-image (block data, palette, entropy image): its own colour cache and one group of codes.
ArgbImage StreamDecoder::decodeEntropyImage(int64_t width, int64_t height) {
  const int cacheBits = readColorCacheBits();
  std::vector<PrefixEntry> arena;
  const std::vector<Group> groups = readHtreeGroups(1, cacheBits, arena);
  ArgbImage image{width, height, image::PixelBuffer::forOverwrite(static_cast<size_t>(width * height * 4))};
  decodeImageData(image.data(), width, height, groups, {}, cacheBits);
  return image;
}

void StreamDecoder::decodeImageData(uint32_t* out, int64_t width, int64_t height,
                                    const std::vector<Group>& groups, const BlockImage& meta,
                                    int cacheBits) {
  const int64_t total = width * height;
  std::vector<uint32_t> cache(cacheBits > 0 ? size_t{1} << cacheBits : 0, 0);
  const int cacheShift = 32 - cacheBits;
  // Without an entropy image one group serves all, looked up once a row.
  const int64_t groupMask = meta.pixels != nullptr ? (int64_t{1} << meta.bits) - 1 : -1;
  auto groupAt = [&](int64_t x, int64_t y) -> const Group& {
    if (meta.pixels == nullptr) return groups[0];
    return groups[meta.pixels[(y >> meta.bits) * meta.width + (x >> meta.bits)] >> 8 & 0xFFFF];
  };
  int64_t pos = 0;
  int64_t x = 0;
  int64_t y = 0;
  int64_t cached = 0;  // pixels before this one are in the colour cache
  const Group* group = &groupAt(0, 0);
  while (pos < total) {
    if ((x & groupMask) == 0) group = &groupAt(x, y);
    const uint32_t code = decodeSymbol(group->green);
    if (code < kLiteralCodes) {
      if (group->greenOnly) {
        out[pos] = group->fixedLiteral | code << 8;
      } else {
        const uint32_t red = decodeSymbol(group->red);
        const uint32_t blue = decodeSymbol(group->blue);
        const uint32_t alpha = decodeSymbol(group->alpha);
        out[pos] = alpha << 24 | red << 16 | code << 8 | blue;
      }
      ++pos;
    } else if (code < kLiteralCodes + kLengthCodes) {
      const int64_t length = prefixValue(code - kLiteralCodes);
      const uint32_t distanceSymbol = decodeSymbol(group->distance);
      bits_.fill();
      const int64_t distance = distanceCodeToLinear(prefixValue(distanceSymbol), width);
      if (distance > pos) fail(image::iekInvalid, "webp: bad back-reference distance");
      if (length > total - pos) fail(image::iekInvalid, "webp: copy runs past image end");
      copyPixels(out + pos, distance, length);
      pos += length;
      x += length;
      if (x >= width) {
        y += x / width;
        x %= width;
        if (bits_.overrun()) truncated();
      }
      if ((x & groupMask) != 0) group = &groupAt(x, y);
      continue;
    } else {
      if (cache.empty()) fail(image::iekInvalid, "webp: color cache code without a cache");
      for (; cached < pos; ++cached) cache[(out[cached] * kCacheMultiplier) >> cacheShift] = out[cached];
      out[pos++] = cache[code - kLiteralCodes - kLengthCodes];
    }
    if (++x == width) {
      x = 0;
      ++y;
      if (bits_.overrun()) truncated();  // stop early on a short stream
    }
  }
  if (bits_.overrun()) truncated();
}

ArgbImage StreamDecoder::decodeImage(int64_t width, int64_t height) {
  std::vector<Transform> transforms;
  int64_t codedWidth = width;
  bool seen[4] = {};
  while (readBits(1) != 0) {
    const auto type = static_cast<TransformType>(readBits(2));
    if (seen[type]) fail(image::iekInvalid, "webp: duplicate transform");
    seen[type] = true;
    transforms.push_back(readTransform(type, codedWidth, height));
  }
  const int cacheBits = readColorCacheBits();
  ArgbImage meta;
  BlockImage metaBlocks;
  int64_t groupCount = 1;
  if (readBits(1) != 0) {
    metaBlocks.bits = static_cast<int>(readBits(3)) + 2;
    metaBlocks.width = blocksFor(codedWidth, metaBlocks.bits);
    meta = decodeEntropyImage(metaBlocks.width, blocksFor(height, metaBlocks.bits));
    metaBlocks.pixels = meta.data();
    for (int64_t i = 0; i < meta.width * meta.height; ++i) {
      groupCount = std::max<int64_t>(groupCount, (meta.data()[i] >> 8 & 0xFFFF) + 1);
    }
  }
  std::vector<PrefixEntry> arena;
  const std::vector<Group> groups = readHtreeGroups(groupCount, cacheBits, arena);
  ArgbImage image{width, height, image::PixelBuffer::forOverwrite(static_cast<size_t>(width * height * 4))};
  decodeImageData(image.data(), codedWidth, height, groups, metaBlocks, cacheBits);
  for (auto t = transforms.rbegin(); t != transforms.rend(); ++t) {
    const BlockImage blocks{t->blocks.data(), t->blocks.width, t->bits};
    switch (t->type) {
      case kPredictor: undoPredictor(image.data(), t->width, height, blocks); break;
      case kColor: undoColorTransform(image.data(), t->width, height, blocks); break;
      case kSubtractGreen: addGreen(image.data(), t->width * height); break;
      case kColorIndexing: expandColorMap(image.data(), t->width, height, t->bits, t->palette); break;
    }
  }
  return image;
}

}  // namespace

ArgbImage decodeVp8lBody(base::ByteView bytes, int64_t start, int64_t width, int64_t height) {
  StreamDecoder decoder(bytes.subspan(static_cast<size_t>(std::min<int64_t>(start, std::ssize(bytes)))));
  return decoder.decodeImage(width, height);
}

image::Image argbToImage(ArgbImage argb, bool withAlpha) {
  const int64_t count = argb.width * argb.height;
  uint32_t* words = argb.data();
  uint8_t* bytes = argb.pixels.data();
  if (withAlpha) {
    for (int64_t i = 0; i < count; ++i) {  // A R G B words to R, G, B, A bytes
      const uint32_t v = words[i];
      words[i] = (v & 0xFF00FF00u) | (v >> 16 & 0xFF) | (v & 0xFF) << 16;
    }
  } else {
    for (int64_t i = 0; i < count; ++i) {  // forwards: each write lands at or before its read
      const uint32_t v = words[i];
      bytes[3 * i] = static_cast<uint8_t>(v >> 16);
      bytes[3 * i + 1] = static_cast<uint8_t>(v >> 8);
      bytes[3 * i + 2] = static_cast<uint8_t>(v);
    }
  }
  image::Image out = image::newImageForOverwrite(0, 0, withAlpha ? image::csRgba : image::csRgb);
  out.width = argb.width;
  out.height = argb.height;
  argb.pixels.shrink(static_cast<size_t>(count * out.channels));
  out.pixels = std::move(argb.pixels);
  return out;
}

image::Image decodeVp8lStream(base::ByteView payload) {
  if (payload.size() < 5 || payload[0] != 0x2F) {
    throw OrvelException(image::iekUnsupported, "webp: missing VP8L sig");
  }
  const uint32_t header = base::readU32le(payload, 1);
  const int64_t width = (header & 0x3FFF) + 1;
  const int64_t height = (header >> 14 & 0x3FFF) + 1;
  const bool alpha = (header >> 28 & 1) != 0;
  const uint32_t version = header >> 29;
  if (version != 0) {
    throw OrvelException(image::iekUnsupported, "webp: unsupported VP8L version " + std::to_string(version));
  }
  return argbToImage(decodeVp8lBody(payload, 5, width, height), alpha);
}

}  // namespace orvel::codec::webp
