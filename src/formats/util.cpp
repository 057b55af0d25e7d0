#include "formats/util.h"

#include <stdexcept>

#include "formats/image_error.h"

namespace orvel {
namespace {

// True when [position, position + size) lies inside a buffer of `length` bytes.
bool fits(size_t length, int64_t position, int64_t size) noexcept {
  return position >= 0 && static_cast<uint64_t>(position) <= length &&
         static_cast<uint64_t>(size) <= length - static_cast<uint64_t>(position);
}

uint32_t readLe(std::span<const uint8_t> bytes, int64_t position, int size) noexcept {
  if (!fits(bytes.size(), position, size)) return 0;
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[position + i];
  return value;
}

uint32_t readBe(std::span<const uint8_t> bytes, int64_t position, int size) noexcept {
  if (!fits(bytes.size(), position, size)) return 0;
  uint32_t value = 0;
  for (int i = 0; i < size; ++i) value = value << 8 | bytes[position + i];
  return value;
}

void putLe(std::span<uint8_t> buffer, int64_t position, uint32_t value, int size) {
  if (!fits(buffer.size(), position, size)) {
    throw std::out_of_range("putLe: position outside the buffer");
  }
  for (int i = 0; i < size; ++i) buffer[position + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint16_t readU16le(std::span<const uint8_t> bytes, int64_t position) noexcept {
  return static_cast<uint16_t>(readLe(bytes, position, 2));
}

uint32_t readU32le(std::span<const uint8_t> bytes, int64_t position) noexcept {
  return readLe(bytes, position, 4);
}

uint16_t readU16be(std::span<const uint8_t> bytes, int64_t position) noexcept {
  return static_cast<uint16_t>(readBe(bytes, position, 2));
}

uint32_t readU32be(std::span<const uint8_t> bytes, int64_t position) noexcept {
  return readBe(bytes, position, 4);
}

void putU16le(std::span<uint8_t> buffer, int64_t position, uint16_t value) {
  putLe(buffer, position, value, 2);
}

void putU32le(std::span<uint8_t> buffer, int64_t position, uint32_t value) {
  putLe(buffer, position, value, 4);
}

int64_t requireLen(int64_t available, int64_t needed, const std::string& message) {
  if (available < needed) throw OrvelException(iekTruncated, message);
  return available;
}

}  // namespace orvel
