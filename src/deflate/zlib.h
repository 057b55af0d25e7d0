// zlib framing (RFC 1950) around the DEFLATE coder: two header bytes, the data, and the
// big-endian Adler-32 of the uncompressed bytes. One inflate per error policy.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "deflate/error.h"

namespace orvel::deflate {

// Decompresses a zlib stream of at most outputCap bytes and verifies its checksum; bytes
// after the trailer are ignored. Raises ZepraException.
std::vector<uint8_t> zlibInflate(std::span<const uint8_t> input, int64_t outputCap);

// The same into the caller's buffer, with out.size() as the cap: the same checks in the same
// order, the same failures. Returns the bytes produced; nothing beyond them is written.
int64_t zlibInflateInto(std::span<const uint8_t> input, std::span<uint8_t> out);

// The same for text that may simply be skipped when it is bad: a stream that is corrupt,
// truncated, unsupported or larger than the cap gives an empty result instead of a failure.
std::vector<uint8_t> zlibInflateOrEmpty(std::span<const uint8_t> input, int64_t outputCap);

// A complete zlib stream of the bytes: header 0x78 0x01, one fixed block, the checksum.
std::vector<uint8_t> zlibDeflate(std::span<const uint8_t> input);

// The most bytes zlibDeflateInto writes for an input of `size` bytes.
size_t zlibDeflateBound(size_t size);

// The same stream written straight into `out`, which holds zlibDeflateBound(input.size())
// bytes; returns the stream's size.
size_t zlibDeflateInto(std::span<const uint8_t> input, uint8_t* out);

}  // namespace orvel::deflate
