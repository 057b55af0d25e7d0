// GIF: the first image of a GIF87a or GIF89a file, at that image's own size, as RGBA; the
// transparent index of a preceding graphic control extension becomes alpha 0.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::gif {

// Raises image::OrvelException.
image::Image decodeGif(base::ByteView bytes);

// GIF's LZW: codes of minCodeSize + 1 to 12 bits, least significant bit first, widening when
// the next free code reaches the width's limit. Exactly `expected` indices, or a failure.
image::PixelBuffer lzwDecode(int minCodeSize, base::ByteView data, int64_t expected);

}  // namespace orvel::codec::gif
