// HEIF and AVIF stills through the system's image decoder: the primary image as 8-bit RGBA with
// premultiplied alpha.
#pragma once

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::heif {

image::Image decodeHeif(base::ByteView bytes);

}  // namespace orvel::codec::heif
