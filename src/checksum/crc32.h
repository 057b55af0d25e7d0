// CRC-32 as PNG and zlib's gzip framing define it: reflected polynomial 0xEDB88320, initial
// value all ones, final complement.
#pragma once

#include <cstdint>
#include <span>

namespace orvel::checksum {

// The running checksum `crc` (a finished CRC of the bytes so far, 0 at the start) extended
// by `data`.
uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data) noexcept;

// The checksum of `data`.
inline uint32_t crc32(std::span<const uint8_t> data) noexcept { return crc32Update(0, data); }

}  // namespace orvel::checksum
