#include "codec/pnm/pnm.h"

#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/text.h"
#include "image/error.h"

namespace orvel::codec::pnm {
namespace {

using base::ByteView;
using image::Image;
using image::OrvelException;

constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr int64_t kMaxMaxval = 65535;

[[noreturn]] void fail(image::ImageErrorKind kind, const std::string& message) {
  throw OrvelException(kind, message);
}

inline bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Skips white space and "#" comments, which run to the end of their line.
void pnmSkip(ByteView bytes, int64_t& pos) {
  const auto size = static_cast<int64_t>(bytes.size());
  while (pos < size) {
    const uint8_t c = bytes[static_cast<std::size_t>(pos)];
    if (c == '#') {
      while (pos < size && bytes[static_cast<std::size_t>(pos)] != '\n') ++pos;
    } else if (base::isSpace(static_cast<char>(c))) {
      ++pos;
    } else {
      return;
    }
  }
}

// Appends one decimal digit; false when the value would leave the signed 64-bit range.
inline bool addDigit(int64_t& value, uint8_t digit) {
  return !__builtin_mul_overflow(value, 10, &value) &&
         !__builtin_add_overflow(value, digit - '0', &value);
}

// An unsigned decimal integer after white space and comments.
int64_t pnmInt(ByteView bytes, int64_t& pos) {
  pnmSkip(bytes, pos);
  const auto size = static_cast<int64_t>(bytes.size());
  if (pos >= size || !isDigit(bytes[static_cast<std::size_t>(pos)])) {
    fail(image::iekInvalid, "pnm: expected an integer");
  }
  int64_t value = 0;
  for (; pos < size && isDigit(bytes[static_cast<std::size_t>(pos)]); ++pos) {
    if (!addDigit(value, bytes[static_cast<std::size_t>(pos)])) {
      fail(image::iekInvalid, "pnm: integer exceeds the platform range");
    }
  }
  return value;
}

// A sample clamped to 0..maxval and rescaled to 0..255, rounding to nearest.
uint8_t scale(int64_t value, int64_t maxval) {
  const int64_t v = value < 0 ? 0 : value > maxval ? maxval : value;
  return static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
}

// scale() of every value below `size` (255 above maxval), without a division per entry: the
// quotient of 255 v + maxval / 2 by maxval is carried along as v grows by one.
std::vector<uint8_t> scaleTable(int64_t maxval, int64_t size) {
  std::vector<uint8_t> table(static_cast<std::size_t>(size), 255);
  int64_t quotient = 0;
  int64_t remainder = maxval / 2;
  for (int64_t v = 0; v <= maxval && v < size; ++v, remainder += 255) {
    for (; remainder >= maxval; remainder -= maxval) ++quotient;
    table[static_cast<std::size_t>(v)] = static_cast<uint8_t>(quotient);
  }
  return table;
}

// Rescales ASCII samples, through a table when there are enough of them to pay for it.
class Scaler {
 public:
  Scaler(int64_t maxval, int64_t samples)
      : maxval_(maxval),
        table_(samples > 2 * (maxval + 1) ? scaleTable(maxval, maxval + 1)
                                          : std::vector<uint8_t>()) {}
  inline uint8_t operator()(int64_t value) const {
    if (table_.empty()) return scale(value, maxval_);
    return table_[static_cast<std::size_t>(value < 0 ? 0 : value > maxval_ ? maxval_ : value)];
  }

 private:
  int64_t maxval_;
  std::vector<uint8_t> table_;
};

// Two-byte samples of maxval 65535, for which scale(v) = ((v * 0xFF01 >> 16) + 128) >> 8
// exactly (65535 = 255 * 257), eight samples to a vector.
void decodeFullRange16(const uint8_t* src, uint8_t* dst, int64_t count) {
  int64_t i = 0;
#if defined(__SSE2__)
  const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(0xFF01));
  const __m128i half = _mm_set1_epi16(0x80);
  auto scaled = [&](const uint8_t* at) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));  // big-endian samples
    return _mm_srli_epi16(_mm_add_epi16(_mm_mulhi_epu16(v, factor), half), 8);
  };
  for (; i + 16 <= count; i += 16) {
    const __m128i bytes = _mm_packus_epi16(scaled(src + 2 * i), scaled(src + 2 * i + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), bytes);
  }
#endif
  for (; i < count; ++i) {
    const uint32_t v = src[2 * i] << 8 | src[2 * i + 1];
    dst[i] = static_cast<uint8_t>(((v * 0xFF01u >> 16) + 0x80u) >> 8);
  }
}

// Binary samples of one byte (maxval up to 255) or two big-endian bytes.
void decodeBinarySamples(const uint8_t* src, uint8_t* dst, int64_t count, int64_t maxval) {
  if (maxval == 255) {
    std::memcpy(dst, src, static_cast<std::size_t>(count));
    return;
  }
  if (maxval == 65535) {
    decodeFullRange16(src, dst, count);
    return;
  }
  const bool wide = maxval > 255;
  if (count < (wide ? 16384 : 64)) {
    for (int64_t i = 0; i < count; ++i)
      dst[i] = scale(wide ? src[2 * i] << 8 | src[2 * i + 1] : src[i], maxval);
    return;
  }
  // Every value a sample can hold has an entry, so none needs clamping.
  const std::vector<uint8_t> table = scaleTable(maxval, wide ? 65536 : 256);
  if (!wide) {
    for (int64_t i = 0; i < count; ++i) dst[i] = table[src[i]];
    return;
  }
  for (int64_t i = 0; i < count; ++i) dst[i] = table[src[2 * i] << 8 | src[2 * i + 1]];
}

// P1 samples are single characters "0" and "1", white space between them optional.
template <bool kStore>
void decodePlainBits(ByteView bytes, int64_t pos, uint8_t* dst, int64_t count) {
  const auto size = static_cast<int64_t>(bytes.size());
  for (int64_t i = 0; i < count; ++i) {
    pnmSkip(bytes, pos);
    if (pos >= size) fail(image::iekInvalid, "pnm: expected an integer");
    const uint8_t c = bytes[static_cast<std::size_t>(pos++)];
    if (c != '0' && c != '1') fail(image::iekInvalid, "pnm: P1 sample not 0/1");
    if constexpr (kStore) dst[i] = c == '1' ? 0 : 255;
  }
}

template <bool kStore>
void decodePlainSamples(ByteView bytes, int64_t pos, uint8_t* dst, int64_t count, int64_t maxval) {
  const Scaler scaler(maxval, kStore ? count : 0);
  for (int64_t i = 0; i < count; ++i) {
    const int64_t value = pnmInt(bytes, pos);
    if constexpr (kStore) dst[i] = scaler(value);
  }
}

template <bool kStore>
void decodePlain(int type, ByteView bytes, int64_t pos, uint8_t* dst, int64_t count,
                 int64_t maxval) {
  if (type == 1) {
    decodePlainBits<kStore>(bytes, pos, dst, count);
  } else {
    decodePlainSamples<kStore>(bytes, pos, dst, count, maxval);
  }
}

// Packed bits, most significant first, rows padded to whole bytes; a set bit is black.
void decodePackedBits(const uint8_t* src, Image& out) {
  const int64_t rowBytes = (out.width + 7) / 8;
  for (int64_t y = 0; y < out.height; ++y) {
    const uint8_t* row = src + y * rowBytes;
    uint8_t* dst = out.pixels.data() + y * out.width;
    for (int64_t x = 0; x < out.width; ++x) {
      dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 255;
    }
  }
}

// A PAM header value: digits only, within the signed 64-bit range.
int64_t pamFieldInt(std::string_view value, std::string_view name) {
  int64_t result = 0;
  bool ok = !value.empty();
  for (char c : value) ok = ok && isDigit(static_cast<uint8_t>(c)) && addDigit(result, c);
  if (!ok) fail(image::iekInvalid, "pnm: PAM bad " + std::string(name) + " value");
  return result;
}

struct PamHeader {
  int64_t width = 0;
  int64_t height = 0;
  int64_t depth = 0;
  int64_t maxval = 0;
  int64_t dataStart = 0;
};

// Header lines after the magic up to "ENDHDR"; comment and blank lines and unknown keywords
// are skipped.
PamHeader readPamHeader(ByteView bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  PamHeader h;
  std::size_t pos = 2;
  while (true) {
    const std::size_t newline = text.find('\n', pos);
    if (newline == std::string_view::npos) fail(image::iekTruncated, "pnm: PAM header truncated");
    const std::string_view line = base::stripSpace(text.substr(pos, newline - pos));
    pos = newline + 1;
    if (line.empty() || line[0] == '#') continue;
    std::size_t keyEnd = 0;
    while (keyEnd < line.size() && !base::isSpace(line[keyEnd])) ++keyEnd;
    const std::string_view keyword = line.substr(0, keyEnd);
    const std::string_view value = base::stripSpace(line.substr(keyEnd));
    if (keyword == "ENDHDR") break;
    if (value.empty()) fail(image::iekInvalid, "pnm: bad PAM header line");
    if (keyword == "WIDTH") h.width = pamFieldInt(value, keyword);
    if (keyword == "HEIGHT") h.height = pamFieldInt(value, keyword);
    if (keyword == "DEPTH") h.depth = pamFieldInt(value, keyword);
    if (keyword == "MAXVAL") h.maxval = pamFieldInt(value, keyword);
  }
  h.dataStart = static_cast<int64_t>(pos);
  return h;
}

// Width times height against the pixel limit, both already at least 1.
void checkPixelCount(int64_t width, int64_t height) {
  if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels) {
    fail(image::iekInvalid, "pnm: too many pixels");
  }
}

}  // namespace

Image decodePnm(ByteView bytes) {
  if (bytes.size() < 2 || bytes[0] != 'P' || !isDigit(bytes[1])) {
    fail(image::iekUnsupported, "pnm: not a PNM container");
  }
  const int type = bytes[1] - '0';
  if (type < 1 || type > 7) fail(image::iekUnsupported, "pnm: unsupported type");
  if (type == 7) return decodePam(bytes);

  const bool bits = type == 1 || type == 4;
  int64_t pos = 2;
  const int64_t width = pnmInt(bytes, pos);
  const int64_t height = pnmInt(bytes, pos);
  const int64_t maxval = bits ? 1 : pnmInt(bytes, pos);
  if (width < 1 || height < 1) fail(image::iekInvalid, "pnm: bad dimensions");
  if (maxval < 1 || maxval > kMaxMaxval) fail(image::iekInvalid, "pnm: bad maxval");
  checkPixelCount(width, height);

  const bool color = type == 3 || type == 6;
  const uint8_t colorspace = color ? image::csRgb : image::csGray;
  const int64_t samples = width * height * (color ? 3 : 1);
  const auto size = static_cast<int64_t>(bytes.size());
  if (type <= 3) {
    // Every plain sample takes at least one byte: a shorter input is only checked, so it fails
    // without the image being allocated.
    if (size - pos < samples) decodePlain<false>(type, bytes, pos, nullptr, samples, maxval);
    Image out = image::newImageForOverwrite(width, height, colorspace);
    decodePlain<true>(type, bytes, pos, out.pixels.data(), samples, maxval);
    return out;
  }

  if (pos >= size || !base::isSpace(static_cast<char>(bytes[static_cast<std::size_t>(pos)]))) {
    fail(image::iekInvalid, "pnm: missing whitespace after header");
  }
  ++pos;
  if (type == 4) {
    if (!base::inBounds(bytes, pos, (width + 7) / 8 * height)) {
      fail(image::iekTruncated, "pnm: P4 data truncated");
    }
    Image out = image::newImageForOverwrite(width, height, image::csGray);
    decodePackedBits(bytes.data() + pos, out);
    return out;
  }
  if (!base::inBounds(bytes, pos, samples * (maxval > 255 ? 2 : 1))) {
    fail(image::iekTruncated, type == 5 ? "pnm: P5 data truncated" : "pnm: P6 data truncated");
  }
  Image out = image::newImageForOverwrite(width, height, colorspace);
  decodeBinarySamples(bytes.data() + pos, out.pixels.data(), samples, maxval);
  return out;
}

Image decodePam(ByteView bytes) {
  if (!base::hasBytesAt(bytes, 0, "P7")) fail(image::iekUnsupported, "pnm: not a PNM container");
  const PamHeader h = readPamHeader(bytes);
  if (h.width < 1 || h.height < 1) fail(image::iekInvalid, "pnm: PAM bad dimensions");
  if (h.depth != 1 && h.depth != 3 && h.depth != 4) {
    fail(image::iekUnsupported, "pnm: PAM depth must be 1, 3, or 4");
  }
  if (h.maxval < 1 || h.maxval > kMaxMaxval) fail(image::iekInvalid, "pnm: PAM bad maxval");
  checkPixelCount(h.width, h.height);
  const int64_t samples = h.width * h.height * h.depth;
  if (!base::inBounds(bytes, h.dataStart, samples * (h.maxval > 255 ? 2 : 1))) {
    fail(image::iekTruncated, "pnm: PAM data truncated");
  }
  const uint8_t colorspace = h.depth == 1   ? image::csGray
                             : h.depth == 3 ? image::csRgb
                                            : image::csRgba;
  Image out = image::newImageForOverwrite(h.width, h.height, colorspace);
  decodeBinarySamples(bytes.data() + h.dataStart, out.pixels.data(), samples, h.maxval);
  return out;
}

std::vector<uint8_t> encodePnm(const Image& image) {
  std::string header;
  const std::string size = std::to_string(image.width) + " " + std::to_string(image.height);
  switch (image.colorspace) {
    case image::csGray:
      header = "P5\n" + size + "\n255\n";
      break;
    case image::csRgb:
      header = "P6\n" + size + "\n255\n";
      break;
    case image::csRgba:
      header = "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " +
               std::to_string(image.height) + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
      break;
    default:
      fail(image::iekUnsupported, "pnm: encode needs csRgb, csGray, or csRgba");
  }
  std::vector<uint8_t> out(header.size() + image.pixels.size());
  std::memcpy(out.data(), header.data(), header.size());
  if (!image.pixels.empty()) {
    std::memcpy(out.data() + header.size(), image.pixels.data(), image.pixels.size());
  }
  return out;
}

}  // namespace orvel::codec::pnm
