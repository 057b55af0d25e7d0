// Inflating the compressed text of metadata chunks through the compression library.
#pragma once

#include <cstdint>
#include <vector>

#include "exif/endian.h"

namespace orvel::exif {

// Largest text a compressed metadata chunk may inflate to.
inline constexpr int64_t kInflatedTextCap = int64_t{1} << 24;  // 16 MiB

// The inflated bytes of a zlib stream, or empty when the stream is corrupt, truncated or
// would exceed kInflatedTextCap: bad compressed text is skipped, not fatal.
std::vector<uint8_t> zlibInflate(ByteView input);

}  // namespace orvel::exif
