// The entropy-coded segment of a scan: its bytes with the stuffing taken out and the places
// where restart markers stood, and a bit reader over them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/bytes.h"

namespace orvel::codec::jpeg {

struct EntropySegment {
  // The unstuffed bytes followed by kPadding zero bytes, which the bit reader may load but
  // never counts as data.
  std::vector<uint8_t> bytes;
  int64_t size = 0;               // of the data, without the padding
  std::vector<int64_t> restarts;  // offsets in the data at which RST0 to RST7 stood

  static constexpr int64_t kPadding = 32;
};

// From `start` on: 0xFF 0x00 is a data byte 0xFF, 0xFF with RST0 to RST7 records a restart,
// 0xFF 0xD9 or the end of the input ends the segment, any other marker is refused.
EntropySegment readEntropySegment(base::ByteView bytes, int64_t start);

// Bits most significant first from an entropy segment, 56 or more at a time. Reading past the
// data yields zero bits; overran() tells afterwards whether any were consumed.
class BitReader {
 public:
  explicit BitReader(const EntropySegment& segment) noexcept
      : data_(segment.bytes.data()),
        next_(data_),
        limit_(data_ + segment.size + EntropySegment::kPadding - 8),
        totalBits_(segment.size * 8) {}

  // At least 56 bits are buffered afterwards.
  void refill() noexcept {
    uint64_t word;
    std::memcpy(&word, next_, 8);
    buffer_ |= __builtin_bswap64(word) >> count_;
    next_ += (63 - count_) >> 3;
    next_ = next_ < limit_ ? next_ : limit_;  // past the data only zeros follow
    count_ |= 56;
  }
  // The next n bits (1 to 32) without consuming them.
  uint32_t peek(int n) const noexcept { return static_cast<uint32_t>(buffer_ >> (64 - n)); }
  void consume(int n) noexcept {
    buffer_ <<= n;
    count_ -= n;
  }
  uint32_t take(int n) noexcept {
    const uint32_t bits = peek(n);
    consume(n);
    return bits;
  }

  // Bits of data consumed so far; once the reader has run well past the data the count only
  // stays above the data's size.
  int64_t position() const noexcept { return (next_ - data_) * 8 - count_; }
  int64_t remaining() const noexcept { return totalBits_ - position(); }
  bool overran() const noexcept { return position() > totalBits_; }

  // Moves to a byte offset of the data, dropping what was buffered.
  void seek(int64_t offset) noexcept {
    next_ = data_ + offset;
    buffer_ = 0;
    count_ = 0;
  }

 private:
  const uint8_t* data_;
  const uint8_t* next_;
  const uint8_t* limit_;
  int64_t totalBits_;
  uint64_t buffer_ = 0;  // left-aligned; the bits below count_ are 0
  int count_ = 0;
};

}  // namespace orvel::codec::jpeg
