// The bits of a lossless WebP stream, least significant first, through a 64-bit window.
//
// Reads past the end yield zero bits and are counted. The decoder asks `overrun()` at each row,
// before each failure it raises and at the end: whatever it did with the zero bits in between
// left nothing behind (the image is discarded), so it reports truncation exactly where a reader
// that stops at the first missing bit would have.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/bytes.h"

namespace orvel::codec::webp {

class BitReader {
 public:
  explicit BitReader(base::ByteView data) noexcept
      : data_(data.data()), size_(static_cast<int64_t>(data.size())) {}

  // At least 32 bits in the window.
  void fill() noexcept {
    if (count_ < 32) refill();
  }

  // The next n bits (n <= 32) without consuming them; needs fill() first.
  uint32_t peek(int n) const noexcept {
    return static_cast<uint32_t>(window_ & ((uint64_t{1} << n) - 1));
  }
  uint32_t window32() const noexcept { return static_cast<uint32_t>(window_); }
  void skip(int n) noexcept {
    window_ >>= n;
    count_ -= n;
  }

  // The next n bits (n <= 32) as a number, the first bit read lowest.
  uint32_t read(int n) noexcept {
    fill();
    const uint32_t value = peek(n);
    skip(n);
    return value;
  }

  // Bits not yet consumed; negative once reads went past the end.
  int64_t bitsLeft() const noexcept { return size_ * 8 - ((next_ + padded_) * 8 - count_); }
  bool overrun() const noexcept { return bitsLeft() < 0; }

 private:
  void refill() noexcept {
    if (size_ - next_ >= 8) {
      uint64_t bytes;
      std::memcpy(&bytes, data_ + next_, 8);
      window_ |= bytes << count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    while (count_ <= 56) {
      uint64_t byte = 0;
      if (next_ < size_) {
        byte = data_[next_++];
      } else {
        ++padded_;
      }
      window_ |= byte << count_;
      count_ += 8;
    }
  }

  const uint8_t* data_;
  int64_t size_;
  int64_t next_ = 0;    // bytes taken into the window
  int64_t padded_ = 0;  // zero bytes taken in past the end
  uint64_t window_ = 0;
  int count_ = 0;  // valid bits in the window
};

}  // namespace orvel::codec::webp
