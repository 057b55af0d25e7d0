// TGA: colour-mapped, true-colour and grayscale images, raw or run-length encoded; written
// uncompressed, bottom-up.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::tga {

image::Image decodeTga(base::ByteView bytes);
std::vector<uint8_t> encodeTga(const image::Image& image);

}  // namespace orvel::codec::tga
