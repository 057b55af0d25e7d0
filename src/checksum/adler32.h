// Adler-32 (RFC 1950): two sums modulo 65521 packed into 32 bits.
#pragma once

#include <cstdint>
#include <span>

namespace orvel::checksum {

// The running checksum `adler` extended by `data`.
uint32_t adler32Update(uint32_t adler, std::span<const uint8_t> data) noexcept;

// Where the processor offers AVX2 the sums use it; this picks the portable code instead, so
// that tests can prove both give the same values.
void choosePortableAdler32(bool portable);

// The checksum of `data` (start value 1).
inline uint32_t adler32(std::span<const uint8_t> data) noexcept { return adler32Update(1, data); }

}  // namespace orvel::checksum
