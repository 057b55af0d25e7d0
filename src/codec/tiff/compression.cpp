// The compressions of strips and tiles: LZW and PackBits here, Deflate through the compression
// library.
#include <algorithm>
#include <cstring>

#include "codec/tiff/tiff.h"
#include "image/error.h"

namespace orvel::codec::tiff {
namespace {

using image::OrvelException;

constexpr uint32_t kClear = 256;
constexpr uint32_t kEndOfInformation = 257;
constexpr uint32_t kFirstFree = 258;
constexpr int kTableSize = 4096;
constexpr int kMinCodeBits = 9;

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

// Codes most significant bit first; the end of the data reads as the end-of-information code.
class CodeReader {
 public:
  explicit CodeReader(base::ByteView data) : data_(data) {}

  uint32_t read(int width) {
    if (count_ < width && !refill(width)) return kEndOfInformation;
    const auto code = static_cast<uint32_t>(window_ >> (64 - width));
    window_ <<= width;
    count_ -= width;
    return code;
  }

 private:
  bool refill(int width) {
    if (data_.size() - next_ >= 8) {
      uint64_t bytes = 0;
      for (int i = 0; i < 8; ++i) bytes = bytes << 8 | data_[next_ + static_cast<size_t>(i)];
      window_ |= bytes >> count_;
      next_ += static_cast<size_t>((63 - count_) >> 3);
      count_ |= 56;
      return true;
    }
    while (count_ < width) {
      if (next_ == data_.size()) return false;
      window_ |= uint64_t{data_[next_++]} << (56 - count_);
      count_ += 8;
    }
    return true;
  }

  base::ByteView data_;
  size_t next_ = 0;
  uint64_t window_ = 0;  // valid bits at the top
  int count_ = 0;
};

int codeWidthFor(uint32_t nextCode) {
  return nextCode >= 2047 ? 12 : nextCode >= 1023 ? 11 : nextCode >= 511 ? 10 : kMinCodeBits;
}

struct Span {
  uint32_t start;
  uint32_t length;
};

// Copies a string that ends at or before `to`; short ones as two words when the room allows
// (the bytes past the string land where later output goes).
inline void copyString(std::span<uint8_t> out, uint32_t from, int64_t to, uint32_t length) {
  uint8_t* base = out.data();
  if (length <= 16 && to + 16 <= std::ssize(out)) {
    uint64_t words[2];
    std::memcpy(words, base + from, 16);
    std::memcpy(base + to, words, 16);
  } else {
    std::memmove(base + to, base + from, length);
  }
}

}  // namespace

// Every code stands for a string already written to the output: a table entry is the previous
// string plus one byte, which is where that string and the next one's first byte lie. So an
// entry is a position and a length, and decoding a code is one copy from earlier output.
int64_t lzwDecode(base::ByteView data, std::span<uint8_t> out) {
  const auto capacity = std::ssize(out);
  Span table[kTableSize];
  CodeReader reader(data);
  uint32_t next = kFirstFree;
  bool afterClear = true;  // the stream starts as after a clear
  Span previous{0, 0};
  int64_t produced = 0;
  for (;;) {
    uint32_t code = reader.read(codeWidthFor(next));
    if (code == kEndOfInformation) break;
    if (code == kClear) {
      next = kFirstFree;
      afterClear = true;
      code = reader.read(kMinCodeBits);
      // An encoder whose table fills at the end of a strip emits a clear just before the end.
      if (code == kEndOfInformation) break;
      if (code >= kClear) fail(image::iekInvalid, "tiff: bad LZW first code");
    }
    Span current{static_cast<uint32_t>(produced), 1};
    if (code < kClear) {
      if (produced >= capacity) fail(image::iekInvalid, "tiff: LZW output exceeds expected size");
      out[static_cast<size_t>(produced)] = static_cast<uint8_t>(code);
    } else if (afterClear) {
      fail(image::iekInvalid, "tiff: bad LZW first code");
    } else if (code < next) {
      current.length = table[code].length;
      if (current.length > capacity - produced) fail(image::iekInvalid, "tiff: LZW output exceeds expected size");
      copyString(out, table[code].start, produced, current.length);
    } else if (code == next) {  // the previous string and its own first byte
      current.length = previous.length + 1;
      if (current.length > capacity - produced) fail(image::iekInvalid, "tiff: LZW output exceeds expected size");
      copyString(out, previous.start, produced, previous.length);
      out[static_cast<size_t>(produced + previous.length)] = out[previous.start];
    } else {
      fail(image::iekInvalid, "tiff: bad LZW code");
    }
    produced += current.length;
    if (!afterClear && next < kTableSize) table[next++] = {previous.start, previous.length + 1};
    previous = current;
    afterClear = false;
  }
  return produced;
}

int64_t packbitsDecode(base::ByteView data, std::span<uint8_t> out) {
  const auto size = std::ssize(data);
  const auto capacity = std::ssize(out);
  int64_t position = 0;
  int64_t produced = 0;
  while (position < size) {
    const int header = data[static_cast<size_t>(position++)];
    if (header < 128) {
      const int64_t length = header + 1;
      if (position + length > size) fail(image::iekTruncated, "tiff: PackBits literal run truncated");
      if (length > capacity - produced) fail(image::iekInvalid, "tiff: PackBits output exceeds expected size");
      std::memcpy(out.data() + produced, data.data() + position, static_cast<size_t>(length));
      position += length;
      produced += length;
    } else if (header > 128) {
      const int64_t length = 257 - header;
      if (position >= size) fail(image::iekTruncated, "tiff: PackBits repeat run truncated");
      if (length > capacity - produced) fail(image::iekInvalid, "tiff: PackBits output exceeds expected size");
      std::memset(out.data() + produced, data[static_cast<size_t>(position++)], static_cast<size_t>(length));
      produced += length;
    }
  }
  return produced;
}

}  // namespace orvel::codec::tiff
