// The codecs' door to the compression library: zlib streams in, with the compression library's
// failures turned into the image half's OrvelException.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "deflate/error.h"
#include "image/error.h"

namespace orvel::image {

// Decompresses a complete zlib stream (header, DEFLATE data, Adler-32 trailer) of at most
// outputCap bytes. A failure raises OrvelException with the message unchanged and the kind
// mapError gives.
std::vector<uint8_t> zlibInflateAsImageError(std::span<const uint8_t> input, int64_t outputCap);

// The same into the caller's buffer, with out.size() as the cap; returns the bytes produced
// and writes nothing beyond them.
int64_t zlibInflateIntoAsImageError(std::span<const uint8_t> input, std::span<uint8_t> out);

// The image half's view of a compression failure: same message, kind mapped. A truncated
// stream counts as unsupported and a corrupt one as truncated, so the C interface reports 4
// and 2 for them; an exceeded cap is invalid.
OrvelException mapError(const deflate::ZepraException& error);

}  // namespace orvel::image
