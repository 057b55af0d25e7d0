// The baseline JFIF encoder: every component sampled 1 x 1, one interleaved scan, the example
// tables of ITU T.81 Annex K with IJG quality scaling. Eight rows at a time are converted to
// Y, Cb, Cr planes (edges repeated), then each block is transformed, quantised and coded.
#include <algorithm>
#include <array>
#include <cstring>

#include "codec/jpeg/errors.h"
#include "codec/jpeg/huffman.h"
#include "codec/jpeg/jpeg.h"
#include "codec/jpeg/kernels.h"
#include "codec/jpeg/tables.h"

namespace orvel::codec::jpeg {
namespace {

using image::Image;

constexpr int64_t kMaxSide = 65535;

// The IJG rule: quality q gives scale 5000 / q below 50, 200 - 2q from 50 on; each entry is
// (base x scale + 50) / 100, kept within 1 to 255.
std::array<uint8_t, 64> scaleQt(const std::array<uint8_t, 64>& base, int quality) {
  const int q = std::clamp(quality, 1, 100);
  const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
  std::array<uint8_t, 64> scaled{};
  for (int i = 0; i < 64; ++i)
    scaled[i] = static_cast<uint8_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
  return scaled;
}

void segU16(std::vector<uint8_t>& out, int64_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void marker(std::vector<uint8_t>& out, uint8_t code, int64_t length) {
  out.push_back(0xFF);
  out.push_back(code);
  segU16(out, length);
}

void emitDht(std::vector<uint8_t>& out, int tableClass, int id, const HuffmanCounts& table) {
  out.push_back(static_cast<uint8_t>(tableClass << 4 | id));
  out.insert(out.end(), table.counts.begin(), table.counts.end());
  out.insert(out.end(), table.symbols, table.symbols + table.symbolCount);
}

void writeHeaders(std::vector<uint8_t>& out, const Image& image,
                  const std::array<std::array<uint8_t, 64>, 2>& quant, int components) {
  const bool colour = components == 3;
  out.reserve(1024);  // the headers take at most 631 bytes
  out.insert(out.end(), {0xFF, 0xD8});
  marker(out, 0xE0, 16);
  out.insert(out.end(), {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  marker(out, 0xDB, colour ? 132 : 67);
  for (int id = 0; id < (colour ? 2 : 1); ++id) {
    out.push_back(static_cast<uint8_t>(id));
    for (int k = 0; k < 64; ++k) out.push_back(quant[id][kZigzag[k]]);
  }
  marker(out, 0xC0, 8 + 3 * components);
  out.push_back(8);
  segU16(out, image.height);
  segU16(out, image.width);
  out.push_back(static_cast<uint8_t>(components));
  for (int c = 0; c < components; ++c)
    out.insert(out.end(), {static_cast<uint8_t>(c + 1), 0x11, c == 0 ? uint8_t{0} : uint8_t{1}});
  marker(out, 0xC4, colour ? 418 : 210);
  emitDht(out, 0, 0, kLuminanceDc);
  if (colour) emitDht(out, 0, 1, kChrominanceDc);
  emitDht(out, 1, 0, kLuminanceAc);
  if (colour) emitDht(out, 1, 1, kChrominanceAc);
  marker(out, 0xDA, 6 + 2 * components);
  out.push_back(static_cast<uint8_t>(components));
  for (int c = 0; c < components; ++c)
    out.insert(out.end(), {static_cast<uint8_t>(c + 1), c == 0 ? uint8_t{0x00} : uint8_t{0x11}});
  out.insert(out.end(), {0, 63, 0});
}

// Bits most significant first into the output, each completed 0xFF byte followed by 0x00.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  // Room for one block's worst case (every code and value at its longest, every byte stuffed).
  void reserveBlock() {
    if (out_.size() - used_ < kBlockWorstCase)
      out_.resize(std::max(out_.size() * 2, used_ + kBlockWorstCase));
  }
  // Up to 32 bits.
  void put(uint32_t bits, int count) {
    buffer_ = buffer_ << count | bits;
    count_ += count;
    if (count_ >= 32) {
      count_ -= 32;
      word(static_cast<uint32_t>(buffer_ >> count_));
    }
  }
  // Pads the last byte with 1 bits and trims the output to what was written.
  void flush() {
    while (count_ >= 8) {
      count_ -= 8;
      byte(static_cast<uint8_t>(buffer_ >> count_));
    }
    if (count_ > 0) byte(static_cast<uint8_t>((buffer_ << (8 - count_)) | (0xFF >> count_)));
    count_ = 0;
    out_.resize(used_);
  }

 private:
  static constexpr std::size_t kBlockWorstCase = 2 * (2 + 64 * 4) + 16;

  void byte(uint8_t value) {
    out_[used_++] = value;
    if (value == 0xFF) out_[used_++] = 0;
  }
  void word(uint32_t value) {
    // No byte of the word is 0xFF: store all four at once.
    const uint32_t inverted = ~value;
    if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
      const uint32_t bigEndian = __builtin_bswap32(value);
      std::memcpy(out_.data() + used_, &bigEndian, 4);
      used_ += 4;
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) byte(static_cast<uint8_t>(value >> shift));
  }

  std::vector<uint8_t>& out_;
  std::size_t used_ = out_.size();
  uint64_t buffer_ = 0;
  int count_ = 0;
};

struct EntropyTables {
  HuffmanEncoder dc;
  HuffmanEncoder ac;
};

int category(int32_t value) {
  return value == 0 ? 0 : 32 - __builtin_clz(static_cast<uint32_t>(std::abs(value)));
}

// The low `size` bits of a value, negative values as value - 1.
uint32_t valueBits(int32_t value, int size) {
  return static_cast<uint32_t>(value < 0 ? value - 1 : value) & ((1u << size) - 1);
}

void encBlock(BitWriter& writer, const int32_t* natural, const EntropyTables& tables,
              int32_t& predictor) {
  std::array<int32_t, 64> zz;
  uint64_t nonzero = 0;
  for (int k = 0; k < 64; ++k) {
    zz[k] = natural[kZigzag[k]];
    nonzero |= uint64_t{zz[k] != 0} << k;
  }
  writer.reserveBlock();
  const int32_t difference = zz[0] - predictor;
  predictor = zz[0];
  const int dcSize = category(difference);
  const HuffmanCode dcCode = tables.dc[dcSize];
  writer.put(uint32_t{dcCode.code} << dcSize | valueBits(difference, dcSize),
             dcCode.length + dcSize);
  nonzero &= ~uint64_t{1};
  int last = 0;
  while (nonzero != 0) {
    const int k = __builtin_ctzll(nonzero);
    nonzero &= nonzero - 1;
    int run = k - last - 1;
    for (; run >= 16; run -= 16) writer.put(tables.ac[0xF0].code, tables.ac[0xF0].length);
    const int size = category(zz[k]);
    const HuffmanCode code = tables.ac[run << 4 | size];
    writer.put(uint32_t{code.code} << size | valueBits(zz[k], size), code.length + size);
    last = k;
  }
  if (last != 63) writer.put(tables.ac[0x00].code, tables.ac[0x00].length);
}

// Eight rows of the image as samples centred on 0, one plane per component, each row
// `stride` samples long with the last column repeated to the end.
class Band {
 public:
  Band(const Image& image, int components)
      : image_(image), components_(components), stride_((image.width + 7) / 8 * 8) {
    planes_.resize(static_cast<std::size_t>(stride_ * 8 * components));
  }
  int64_t stride() const { return stride_; }
  const float* plane(int c) const { return planes_.data() + c * stride_ * 8; }

  void fill(int64_t firstRow, const JpegKernels& kernels) {
    for (int r = 0; r < 8; ++r) {
      const int64_t y = std::min(firstRow + r, image_.height - 1);
      const uint8_t* src = image_.pixels.data() + y * image_.stride();
      float* rows[3];
      for (int c = 0; c < components_; ++c) rows[c] = planes_.data() + (c * 8 + r) * stride_;
      if (components_ == 3) {
        kernels.rgbToYcc(src, image_.width, rows[0], rows[1], rows[2]);
      } else {
        for (int64_t x = 0; x < image_.width; ++x) rows[0][x] = static_cast<float>(src[x]) - 128.0f;
      }
      for (int c = 0; c < components_; ++c)
        std::fill(rows[c] + image_.width, rows[c] + stride_, rows[c][image_.width - 1]);
    }
  }

 private:
  const Image& image_;
  int components_;
  int64_t stride_;
  std::vector<float> planes_;
};

}  // namespace

std::vector<uint8_t> encodeJpeg(const Image& image, int quality) {
  if (image.colorspace != image::csGray && image.colorspace != image::csRgb) {
    failUnsupported("jpeg: encode needs csGray or csRgb");
  }
  if (image.width < 1 || image.width > kMaxSide || image.height < 1 || image.height > kMaxSide) {
    failInvalid("jpeg: bad dimensions");
  }
  const int components = image.colorspace == image::csRgb ? 3 : 1;
  const std::array<std::array<uint8_t, 64>, 2> quant = {scaleQt(kLuminanceQuant, quality),
                                                        scaleQt(kChrominanceQuant, quality)};
  std::vector<uint8_t> out;
  writeHeaders(out, image, quant, components);

  std::array<std::array<float, 64>, 2> divisors;
  for (int t = 0; t < 2; ++t) std::copy(quant[t].begin(), quant[t].end(), divisors[t].begin());
  const EntropyTables tables[2] = {{buildHuffEnc(kLuminanceDc), buildHuffEnc(kLuminanceAc)},
                                   {buildHuffEnc(kChrominanceDc), buildHuffEnc(kChrominanceAc)}};
  const JpegKernels& kernels = jpegKernels();
  const CosineTable& cosine = cosineTable();
  Band band(image, components);
  BitWriter writer(out);
  int32_t predictors[3] = {0, 0, 0};
  alignas(32) int32_t coefficients[64];
  for (int64_t y = 0; y < image.height; y += 8) {
    band.fill(y, kernels);
    for (int64_t x = 0; x < image.width; x += 8) {
      for (int c = 0; c < components; ++c) {
        const int table = c == 0 ? 0 : 1;
        kernels.forwardTransform(band.plane(c) + x, band.stride(), divisors[table].data(),
                                 coefficients, cosine);
        encBlock(writer, coefficients, tables[table], predictors[c]);
      }
    }
  }
  writer.flush();
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace orvel::codec::jpeg
