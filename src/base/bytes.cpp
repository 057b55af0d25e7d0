#include "base/bytes.h"

#include <cstring>

namespace orvel::base {
namespace {

void requireRoom(std::span<uint8_t> buffer, int64_t position, int64_t size) {
  if (position < 0 || size < 0 || position > static_cast<int64_t>(buffer.size()) ||
      size > static_cast<int64_t>(buffer.size()) - position) {
    throw std::out_of_range("put: position outside the buffer");
  }
}

void putOrdered(std::span<uint8_t> buffer, int64_t position, uint64_t value, int width,
                bool bigEndian) {
  requireRoom(buffer, position, width);
  for (int i = 0; i < width; ++i) {
    const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
    // Fields wider than the value are padded with zero bytes.
    buffer[static_cast<std::size_t>(position + i)] =
        shift < 64 ? static_cast<uint8_t>(value >> shift) : 0;
  }
}

}  // namespace

int64_t findByte(ByteView data, int64_t from, uint8_t value) noexcept {
  if (from < 0 || from >= static_cast<int64_t>(data.size())) return -1;
  const auto start = static_cast<std::size_t>(from);
  // memchr scans far faster than a byte loop.
  const void* hit = std::memchr(data.data() + start, value, data.size() - start);
  return hit == nullptr ? -1 : static_cast<const uint8_t*>(hit) - data.data();
}

int64_t beInt(ByteView data, int64_t position, int width) noexcept {
  if (width < 0 || width > 8 || !inBounds(data, position, width)) return -1;
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | data[static_cast<std::size_t>(position + i)];
  return static_cast<int64_t>(value);
}

void putU16(std::span<uint8_t> buffer, int64_t position, uint16_t value, bool bigEndian) {
  putOrdered(buffer, position, value, 2, bigEndian);
}

void putU32(std::span<uint8_t> buffer, int64_t position, uint32_t value, bool bigEndian) {
  putOrdered(buffer, position, value, 4, bigEndian);
}

void putBE(std::span<uint8_t> buffer, int64_t position, int width, uint64_t value) {
  putOrdered(buffer, position, value, width, true);
}

bool fitsIn(int64_t value, int width) noexcept {
  if (value < 0 || width < 0) return false;
  if (width > 7) return true;
  return (static_cast<uint64_t>(value) >> (8 * width)) == 0;
}

void appendU16(Bytes& out, uint16_t value, bool bigEndian) {
  out.resize(out.size() + 2);
  putU16(out, static_cast<int64_t>(out.size()) - 2, value, bigEndian);
}

void appendU32(Bytes& out, uint32_t value, bool bigEndian) {
  out.resize(out.size() + 4);
  putU32(out, static_cast<int64_t>(out.size()) - 4, value, bigEndian);
}

}  // namespace orvel::base
