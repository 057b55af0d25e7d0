// GIF's LZW, decoded by copying: every code stands for a string already written to the output
// (a table entry is the previous string plus one byte, which is where that string and the next
// one's first byte lie), so a table entry is a position and a length and decoding a code is one
// copy from earlier output.
#include <cstring>

#include "codec/gif/gif.h"
#include "image/error.h"

namespace orvel::codec::gif {
namespace {

using image::OrvelException;

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;
constexpr int64_t kSlack = 16;  // output room for copies in whole words

struct Span {
  uint32_t start;
  uint32_t length;
};

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

// Codes least significant bit first.
class CodeReader {
 public:
  explicit CodeReader(base::ByteView data) : data_(data) {}

  uint32_t read(int width) {
    if (count_ < width) refill(width);
    const auto code = static_cast<uint32_t>(window_ & ((1u << width) - 1));
    window_ >>= width;
    count_ -= width;
    return code;
  }

 private:
  void refill(int width) {
    if (data_.size() - next_ >= 8) {
      uint64_t bytes;
      std::memcpy(&bytes, data_.data() + next_, 8);
      window_ |= bytes << count_;
      next_ += static_cast<size_t>((63 - count_) >> 3);
      count_ |= 56;
      return;
    }
    while (count_ < width) {
      if (next_ == data_.size()) fail(image::iekTruncated, "gif: LZW stream truncated");
      window_ |= uint64_t{data_[next_++]} << count_;
      count_ += 8;
    }
  }

  base::ByteView data_;
  size_t next_ = 0;
  uint64_t window_ = 0;
  int count_ = 0;
};

// Copies a string that ends at or before `to`; short ones as two words, the bytes past the
// string landing where later output goes.
inline void copyString(uint8_t* out, uint32_t from, int64_t to, uint32_t length) {
  if (length <= kSlack) {
    uint64_t words[2];
    std::memcpy(words, out + from, 16);
    std::memcpy(out + to, words, 16);
  } else {
    std::memcpy(out + to, out + from, length);
  }
}

}  // namespace

image::PixelBuffer lzwDecode(int minCodeSize, base::ByteView data, int64_t expected) {
  if (minCodeSize < 2 || minCodeSize > 8) fail(image::iekInvalid, "gif: bad LZW min code size");
  image::PixelBuffer buffer = image::PixelBuffer::forOverwrite(static_cast<size_t>(expected + kSlack));
  uint8_t* out = buffer.data();
  Span table[kTableSize];
  const uint32_t clear = 1u << minCodeSize;
  const uint32_t end = clear + 1;
  int width = minCodeSize + 1;
  uint32_t next = end + 1;
  bool havePrevious = false;
  Span previous{0, 0};
  int64_t produced = 0;
  CodeReader reader(data);
  for (;;) {
    const uint32_t code = reader.read(width);
    if (code == clear) {
      width = minCodeSize + 1;
      next = end + 1;
      havePrevious = false;
      continue;
    }
    if (code == end) break;
    Span current{static_cast<uint32_t>(produced), 1};
    if (code < clear) {
      if (produced >= expected) fail(image::iekInvalid, "gif: LZW output exceeds the frame size");
      out[produced] = static_cast<uint8_t>(code);
    } else if (code > end && code < next) {
      current.length = table[code].length;
      if (current.length > expected - produced) fail(image::iekInvalid, "gif: LZW output exceeds the frame size");
      copyString(out, table[code].start, produced, current.length);
    } else if (code == next && havePrevious) {  // the previous string and its own first byte
      current.length = previous.length + 1;
      if (current.length > expected - produced) fail(image::iekInvalid, "gif: LZW output exceeds the frame size");
      copyString(out, previous.start, produced, previous.length);
      out[produced + previous.length] = out[previous.start];
    } else {
      fail(image::iekInvalid, "gif: bad LZW code");
    }
    produced += current.length;
    if (havePrevious && next < kTableSize) {
      table[next++] = {previous.start, previous.length + 1};
      if (next == 1u << width && width < kMaxCodeBits) ++width;
    }
    previous = current;
    havePrevious = true;
  }
  if (produced < expected) fail(image::iekInvalid, "gif: LZW output too short");
  buffer.shrink(static_cast<size_t>(expected));
  return buffer;
}

}  // namespace orvel::codec::gif
