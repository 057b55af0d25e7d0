// The baseline decoder: header, entropy segment, then one MCU row at a time through Huffman
// decoding, dequantisation and the inverse transform into planes that hold just that row, whose
// samples are converted into the output rows as soon as the row is complete.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>

#include "codec/jpeg/entropy.h"
#include "codec/jpeg/errors.h"
#include "codec/jpeg/header.h"
#include "codec/jpeg/huffman.h"
#include "codec/jpeg/jpeg.h"
#include "codec/jpeg/kernels.h"

namespace orvel::codec::jpeg {
namespace {

using image::Image;

// As the other decoders: larger images do not fit the image model's limits.
constexpr int64_t kMaxPixels = int64_t{1} << 30;
constexpr int kMaxDcCategory = 16;

// For each zigzag position: the natural index, and the row bits it sets.
struct ZigzagBits {
  std::array<uint8_t, 64> row{};    // 1 << row
  std::array<uint8_t, 64> acRow{};  // the same where the column is not 0
};
constexpr ZigzagBits kZigzagBits = [] {
  ZigzagBits bits;
  for (int k = 0; k < 64; ++k) {
    bits.row[k] = static_cast<uint8_t>(1 << (kZigzag[k] >> 3));
    bits.acRow[k] = (kZigzag[k] & 7) != 0 ? bits.row[k] : 0;
  }
  return bits;
}();

struct ScanComponent {
  int h = 1;  // blocks per MCU across and down
  int v = 1;
  const HuffmanDecoder* dc = nullptr;
  const HuffmanDecoder* ac = nullptr;
  std::array<float, 64> quant{};  // zigzag order
  int64_t predictor = 0;
  int64_t planeWidth = 0;
  std::vector<float> plane;      // one MCU row: 8 v rows of planeWidth samples
  std::vector<int64_t> columns;  // plane column of each output column, unless one to one
  std::vector<float> sampled;    // one output row of those columns
};

class ScanDecoder {
 public:
  ScanDecoder(const JpegHeader& header, const EntropySegment& segment);
  Image decode();

 private:
  struct Resume {
    BitReader reader;
    std::array<int64_t, 3> predictors;
  };
  Resume resumePoint() const;
  void resumeFrom(const Resume& point);

  template <bool kChecked>
  bool decodeMcu(int64_t mcuX);
  template <bool kChecked>
  bool decodeBlock(ScanComponent& c, unsigned& rows, unsigned& acRows);
  template <bool kChecked>
  bool symbol(const HuffmanDecoder& table, int& out);
  template <bool kChecked>
  bool receive(int bits, int32_t& out);
  void restartIfDue(int64_t decoded);
  void emitRows(int64_t mcuRow, Image& out);
  const float* sampledRow(ScanComponent& c, int64_t y, int64_t mcuRow);

  const Frame& frame_;
  const EntropySegment& segment_;
  const JpegKernels& kernels_ = jpegKernels();
  const CosineTable& cosine_ = cosineTable();
  std::array<std::optional<HuffmanDecoder>, 8> tables_;  // DC 0 to 3, AC 0 to 3
  std::vector<ScanComponent> components_;
  int hmax_ = 1;
  int vmax_ = 1;
  int64_t mcusPerLine_ = 0;
  int64_t mcuRows_ = 0;
  int restartInterval_ = 0;
  std::size_t nextRestart_ = 0;
  BitReader reader_;
  alignas(32) std::array<float, 64> coefficients_{};
};

ScanDecoder::ScanDecoder(const JpegHeader& header, const EntropySegment& segment)
    : frame_(header.frame),
      segment_(segment),
      restartInterval_(header.restartInterval),
      reader_(segment) {
  // A scan of one component is not interleaved: one block per MCU, whatever the sampling
  // factors say.
  const bool single = frame_.components.size() == 1;
  hmax_ = single ? 1 : frame_.hmax;
  vmax_ = single ? 1 : frame_.vmax;
  mcusPerLine_ = (frame_.width + 8 * hmax_ - 1) / (8 * hmax_);
  mcuRows_ = (frame_.height + 8 * vmax_ - 1) / (8 * vmax_);
  auto table = [&](int slot, const HuffmanSpec& spec) -> const HuffmanDecoder* {
    if (!tables_[slot]) tables_[slot] = buildHuff(spec);
    return &*tables_[slot];
  };
  for (const FrameComponent& f : frame_.components) {
    ScanComponent c;
    c.h = single ? 1 : f.h;
    c.v = single ? 1 : f.v;
    c.dc = table(f.dcTable, header.dc[f.dcTable]);
    c.ac = table(4 + f.acTable, header.ac[f.acTable]);
    for (int k = 0; k < 64; ++k) c.quant[k] = header.quant[f.quant][k];
    c.planeWidth = mcusPerLine_ * 8 * c.h;
    c.plane.resize(static_cast<std::size_t>(c.planeWidth * 8 * c.v));
    if (c.h != hmax_) {
      c.columns.resize(static_cast<std::size_t>(frame_.width));
      for (int64_t x = 0; x < frame_.width; ++x) c.columns[x] = x * c.h / hmax_;
      c.sampled.resize(static_cast<std::size_t>(frame_.width));
    }
    components_.push_back(std::move(c));
  }
}

ScanDecoder::Resume ScanDecoder::resumePoint() const {
  Resume point{reader_, {}};
  for (std::size_t i = 0; i < components_.size(); ++i)
    point.predictors[i] = components_[i].predictor;
  return point;
}

void ScanDecoder::resumeFrom(const Resume& point) {
  reader_ = point.reader;
  for (std::size_t i = 0; i < components_.size(); ++i)
    components_[i].predictor = point.predictors[i];
  coefficients_.fill(0.0f);
}

// The code at the reader. Unchecked, a bad code answers false; checked, the failure is raised
// as a bit-serial decoder meets it: running out of data before the code ends, or 16 bits
// that begin no code.
template <bool kChecked>
bool ScanDecoder::symbol(const HuffmanDecoder& table, int& out) {
  const HuffmanDecoder::Match m = table.match16(reader_.peek(kMaxCodeLength));
  if constexpr (kChecked) {
    const int64_t left = reader_.remaining();
    if (m.length == 0 ? left < kMaxCodeLength : m.length > left) {
      failTruncated("jpeg: entropy stream truncated");
    }
    if (m.length == 0) failInvalid("jpeg: bad Huffman code");
  } else if (m.length == 0) {
    return false;
  }
  reader_.consume(m.length);
  out = m.symbol;
  return true;
}

template <bool kChecked>
bool ScanDecoder::receive(int bits, int32_t& out) {
  if constexpr (kChecked) {
    if (bits > reader_.remaining()) failTruncated("jpeg: entropy stream truncated");
  }
  out = extend(reader_.take(bits), bits);
  return true;
}

template <bool kChecked>
bool ScanDecoder::decodeBlock(ScanComponent& c, unsigned& rows, unsigned& acRows) {
  float* coef = coefficients_.data();
  reader_.refill();
  int category = 0;
  if (!symbol<kChecked>(*c.dc, category)) return false;
  if (category > kMaxDcCategory) {
    if constexpr (kChecked) failInvalid("jpeg: bad Huffman code");
    return false;
  }
  int32_t difference = 0;
  if (category != 0) receive<kChecked>(category, difference);
  c.predictor += difference;
  coef[0] = static_cast<float>(c.predictor) * c.quant[0];
  rows = 1;
  acRows = 0;
  auto store = [&](int k, int32_t value) {
    coef[kZigzag[k]] = static_cast<float>(value) * c.quant[k];
    rows |= kZigzagBits.row[k];
    acRows |= kZigzagBits.acRow[k];
  };
  for (int k = 1; k < 64;) {
    reader_.refill();
    if constexpr (!kChecked) {
      // A short code with its value bits: one look-up.
      const int32_t entry = c.ac->fastAc[reader_.peek(kLookaheadBits)];
      if (entry != 0) {
        k += (entry >> 8) & 0xFF;
        if (k > 63) return false;
        reader_.consume(entry & 0xFF);
        store(k++, entry >> 16);
        continue;
      }
    }
    int rs = 0;
    if (!symbol<kChecked>(*c.ac, rs)) return false;
    const int size = rs & 15;
    const int run = rs >> 4;
    if (size == 0) {
      if (run != 15) break;  // end of block
      k += 16;               // sixteen zeros
      continue;
    }
    k += run;
    if (k > 63) {
      if constexpr (kChecked) failInvalid("jpeg: AC index out of range");
      return false;
    }
    int32_t value = 0;
    receive<kChecked>(size, value);
    store(k++, value);
  }
  return true;
}

template <bool kChecked>
bool ScanDecoder::decodeMcu(int64_t mcuX) {
  for (ScanComponent& c : components_) {
    for (int by = 0; by < c.v; ++by) {
      for (int bx = 0; bx < c.h; ++bx) {
        unsigned rows = 0;
        unsigned acRows = 0;
        if (!decodeBlock<kChecked>(c, rows, acRows)) return false;
        float* out = c.plane.data() + by * 8 * c.planeWidth + (mcuX * c.h + bx) * 8;
        kernels_.inverseTransform(coefficients_.data(), rows, acRows, out, c.planeWidth, cosine_);
        for (int v = 0; v < 8; ++v) {
          if ((rows >> v & 1) != 0) std::fill_n(coefficients_.data() + 8 * v, 8, 0.0f);
        }
      }
    }
  }
  return true;
}

void ScanDecoder::restartIfDue(int64_t decoded) {
  if (restartInterval_ == 0 || decoded % restartInterval_ != 0) return;
  if (nextRestart_ >= segment_.restarts.size()) return;
  reader_.seek(segment_.restarts[nextRestart_++]);
  for (ScanComponent& c : components_) c.predictor = 0;
}

const float* ScanDecoder::sampledRow(ScanComponent& c, int64_t y, int64_t mcuRow) {
  const int64_t planeRow = y * c.v / vmax_ - mcuRow * 8 * c.v;
  const float* row = c.plane.data() + planeRow * c.planeWidth;
  if (c.columns.empty()) return row;
  float* out = c.sampled.data();
  const int64_t width = frame_.width;
  if (hmax_ == 2 * c.h) {
    int64_t x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= width; x += 8) {
      const __m128 samples = _mm_loadu_ps(row + x / 2);
      _mm_storeu_ps(out + x, _mm_unpacklo_ps(samples, samples));
      _mm_storeu_ps(out + x + 4, _mm_unpackhi_ps(samples, samples));
    }
#endif
    for (; x < width; ++x) out[x] = row[x / 2];
  } else {
    for (int64_t x = 0; x < width; ++x) out[x] = row[c.columns[x]];
  }
  return out;
}

// Commits the pages of output rows about to be written in one call rather than one fault per
// page; only rows whose samples are decoded, so a file that ends early commits no more.
void prefault(uint8_t* begin, uint8_t* end) {
#ifdef MADV_POPULATE_WRITE
  static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(end) & ~(page - 1);
  if (to > from) (void)madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)end;
#endif
}

void ScanDecoder::emitRows(int64_t mcuRow, Image& out) {
  const int64_t first = mcuRow * 8 * vmax_;
  const int64_t last = std::min(frame_.height, first + 8 * vmax_);
  prefault(out.pixels.data() + first * out.stride(), out.pixels.data() + last * out.stride());
  for (int64_t y = first; y < last; ++y) {
    uint8_t* row = out.pixels.data() + y * out.stride();
    if (components_.size() == 1) {
      kernels_.yToGray(sampledRow(components_[0], y, mcuRow), row, frame_.width);
    } else {
      kernels_.yccToRgb(sampledRow(components_[0], y, mcuRow),
                        sampledRow(components_[1], y, mcuRow),
                        sampledRow(components_[2], y, mcuRow), row, frame_.width);
    }
  }
}

Image ScanDecoder::decode() {
  Image out = image::newImageForOverwrite(frame_.width, frame_.height,
                                          components_.size() == 1 ? image::csGray : image::csRgb);
  int64_t decoded = 0;
  for (int64_t mcuY = 0; mcuY < mcuRows_; ++mcuY) {
    for (int64_t mcuX = 0; mcuX < mcusPerLine_; ++mcuX) {
      // Unchecked decoding reads zeros past the data; an MCU that fails or overruns is decoded
      // again, checked, to raise the failure the bit-serial order meets first.
      const Resume start = resumePoint();
      if (!decodeMcu<false>(mcuX) || reader_.overran()) {
        resumeFrom(start);
        decodeMcu<true>(mcuX);
      }
      restartIfDue(++decoded);
    }
    emitRows(mcuY, out);
  }
  return out;
}

}  // namespace

Image decodeJpeg(base::ByteView bytes) {
  const JpegHeader header = readJpegHeader(bytes);
  const EntropySegment segment = readEntropySegment(bytes, header.scanData);
  if (header.frame.width * header.frame.height > kMaxPixels) {
    failInvalid("jpeg: dimensions too large");
  }
  return ScanDecoder(header, segment).decode();
}

}  // namespace orvel::codec::jpeg
