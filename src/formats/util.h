// Byte readers and writers shared by the image codecs. Readers never fail: a value that
// does not lie wholly inside the bytes reads as 0, so codecs check lengths first.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace orvel {

uint16_t readU16le(std::span<const uint8_t> bytes, int64_t position) noexcept;
uint32_t readU32le(std::span<const uint8_t> bytes, int64_t position) noexcept;
uint16_t readU16be(std::span<const uint8_t> bytes, int64_t position) noexcept;
uint32_t readU32be(std::span<const uint8_t> bytes, int64_t position) noexcept;

// Store little-endian into an already sized buffer. A position that leaves no room for the
// value is a caller defect and raises std::out_of_range.
void putU16le(std::span<uint8_t> buffer, int64_t position, uint16_t value);
void putU32le(std::span<uint8_t> buffer, int64_t position, uint32_t value);

// Returns `available` when it is at least `needed`; otherwise raises OrvelException of kind
// iekTruncated carrying `message`.
int64_t requireLen(int64_t available, int64_t needed, const std::string& message);

}  // namespace orvel
