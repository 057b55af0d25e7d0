// BMP: uncompressed Windows bitmaps with a BITMAPINFOHEADER or larger, 1, 4, 8, 24 and 32 bits
// per pixel; written as 24-bit RGB or 32-bit BGRA.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::bmp {

image::Image decodeBmp(base::ByteView bytes);
std::vector<uint8_t> encodeBmp(const image::Image& image);

}  // namespace orvel::codec::bmp
