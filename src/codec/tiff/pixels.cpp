#include "codec/tiff/pixels.h"

#include <cstring>

#include "image/image.h"
#include "image/row_prediction.h"

namespace orvel::codec::tiff {
namespace {

constexpr int kWhiteIsZero = 0;
constexpr int kPalette = 3;

inline uint32_t sample16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? uint32_t{p[0]} << 8 | p[1] : uint32_t{p[1]} << 8 | p[0];
}

// Sample `index` of a row, unscaled.
inline uint32_t sampleAt(const PixelFormat& f, const uint8_t* row, int64_t index) {
  switch (f.bits) {
    case 1: return row[index >> 3] >> (7 - (index & 7)) & 1;
    case 4: return row[index >> 1] >> ((index & 1) != 0 ? 0 : 4) & 15;
    case 8: return row[index];
    default: return sample16(row + 2 * index, f.bigEndian);
  }
}

// A sample scaled to 8 bits: 1-bit to 0 or 255, 4-bit times 17, 16-bit its high byte.
inline uint8_t scaled(const PixelFormat& f, uint32_t value) {
  switch (f.bits) {
    case 1: return static_cast<uint8_t>(value * 255);
    case 4: return static_cast<uint8_t>(value * 17);
    case 8: return static_cast<uint8_t>(value);
    default: return static_cast<uint8_t>(value >> 8);
  }
}

// Gray, mask, RGB, RGBA and CMYK: one output channel per sample.
void copySamples(const PixelFormat& f, const uint8_t* row, int64_t count, uint8_t* out, bool invert) {
  if (f.bits == 8 && !invert) {
    std::memcpy(out, row, static_cast<size_t>(count));
  } else if (f.bits == 16 && !invert) {
    const int high = f.bigEndian ? 0 : 1;
    for (int64_t i = 0; i < count; ++i) out[i] = row[2 * i + high];
  } else {
    const uint8_t flip = invert ? 255 : 0;
    for (int64_t i = 0; i < count; ++i) out[i] = scaled(f, sampleAt(f, row, i)) ^ flip;
  }
}

void grayAlpha(const PixelFormat& f, const uint8_t* row, int64_t width, uint8_t* out) {
  const uint8_t flip = f.photometric == kWhiteIsZero ? 255 : 0;
  for (int64_t x = 0; x < width; ++x) {
    const uint8_t gray = scaled(f, sampleAt(f, row, 2 * x)) ^ flip;
    out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = gray;
    out[4 * x + 3] = scaled(f, sampleAt(f, row, 2 * x + 1));
  }
}

void lookUp(const PixelFormat& f, const uint8_t* row, int64_t width, uint8_t* out) {
  for (int64_t x = 0; x < width; ++x) {
    std::memcpy(out + 3 * x, f.palette.data() + 3 * sampleAt(f, row, x), 3);
  }
}

}  // namespace

int64_t rowBytesFor(const PixelFormat& format, int64_t width) {
  return (width * format.samples * format.bits + 7) / 8;
}

bool rowsAreOutput(const PixelFormat& format) {
  return format.bits == 8 && format.photometric != kWhiteIsZero && format.photometric != kPalette &&
         format.samples == image::ChannelCount[format.colorspace];
}

void undoDifferencing(const PixelFormat& format, uint8_t* row, int64_t width) {
  const int64_t samples = width * format.samples;
  const int64_t step = format.samples;
  if (format.bits == 8) return image::addLeftNeighbours(row, row, samples, static_cast<int>(step));
  for (int64_t i = step; i < samples; ++i) {
    const uint32_t sum = sample16(row + 2 * i, format.bigEndian) + sample16(row + 2 * (i - step), format.bigEndian);
    const uint8_t high = static_cast<uint8_t>(sum >> 8);
    const uint8_t low = static_cast<uint8_t>(sum);
    row[2 * i] = format.bigEndian ? high : low;
    row[2 * i + 1] = format.bigEndian ? low : high;
  }
}

void convertRow(const PixelFormat& format, const uint8_t* row, int64_t width, uint8_t* out) {
  if (format.photometric == kPalette) return lookUp(format, row, width, out);
  if (format.colorspace == image::csRgba && format.samples == 2) return grayAlpha(format, row, width, out);
  copySamples(format, row, width * format.samples, out, format.photometric == kWhiteIsZero);
}

}  // namespace orvel::codec::tiff
