#include "checksum/crc32.h"

#include <array>

namespace orvel::checksum {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320;

// Slicing by eight: table k gives the remainder of a byte followed by k zero bytes, so eight
// input bytes fold into the state with eight lookups and no dependency between them.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables makeTables() {
  Tables tables{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1u)));
    tables[0][byte] = crc;
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      const uint32_t previous = tables[k - 1][byte];
      tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr Tables kTables = makeTables();

uint32_t load32le(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data) noexcept {
  uint32_t state = ~crc;
  const uint8_t* p = data.data();
  std::size_t left = data.size();
  for (; left >= 8; left -= 8, p += 8) {
    const uint32_t low = state ^ load32le(p);
    const uint32_t high = load32le(p + 4);
    state = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
            kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^
            kTables[2][(high >> 8) & 0xFF] ^ kTables[1][(high >> 16) & 0xFF] ^
            kTables[0][high >> 24];
  }
  for (; left > 0; --left, ++p) state = (state >> 8) ^ kTables[0][(state ^ *p) & 0xFF];
  return ~state;
}

}  // namespace orvel::checksum
