// HEIF and AVIF stills through the system's image decoder: the primary image as 8-bit RGBA with
// premultiplied alpha.
#pragma once

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::heif {

// At least 12 bytes, "ftyp" at 4 and one of the HEIF/AVIF major brands at 8 (compatible brands
// are not consulted).
bool isHeif(base::ByteView bytes) noexcept;

image::Image decodeHeif(base::ByteView bytes);

}  // namespace orvel::codec::heif
