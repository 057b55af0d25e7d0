// Box headers of the ISO base media file format (HEIF/HEIC/AVIF stills, MP4 and QuickTime
// movies): the few reads every box walker needs, over bytes the caller owns.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace boxo {

using Bytes = std::span<const uint8_t>;

struct BoxHeader {
  int64_t start = 0;  // offset of the size field
  uint64_t size = 0;  // the 32-bit size field, or the 64-bit size when that field is 1
  std::string type;   // the four type bytes
};

// True for at least 12 bytes whose bytes 4..7 are "ftyp".
bool isIsobmff(Bytes data) noexcept;

// Big-endian 32-bit value at position; 0 when the four bytes do not lie inside the data.
uint32_t beU32(Bytes data, int64_t position) noexcept;

// The header at position, or nothing when fewer than 8 bytes remain. The 64-bit size is used
// only when the size field is 1 and its 8 bytes are present; the header is then 16 bytes long.
std::optional<BoxHeader> readBoxHeader(Bytes data, int64_t position);

// 16 for a header whose size field is 1, otherwise 8.
int64_t headerLength(Bytes data, int64_t position) noexcept;

}  // namespace boxo
