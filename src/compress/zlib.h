// The image side's door to the compression library: zlib streams in and out, with the
// compression library's failures turned into the image half's OrvelException.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/image_error.h"
#include "zepra/zepra_error.h"

namespace orvel {

// Decompresses a complete zlib stream (header, DEFLATE data, Adler-32 trailer) of at most
// outputCap bytes. Failures raise OrvelException: truncated or unsupported streams as
// iekUnsupported, corrupt ones as iekTruncated, an exceeded cap as iekInvalid.
std::vector<uint8_t> zlibInflate(std::span<const uint8_t> input, int64_t outputCap);

// Compresses the bytes into a complete zlib stream (one fixed-Huffman block).
std::vector<uint8_t> zlibDeflate(std::span<const uint8_t> input);

// The image half's view of a compression failure: same message, kind mapped.
OrvelException mapError(const zepra::ZepraException& error);

}  // namespace orvel
