// QOI, the "Quite OK Image" format: RGB and RGBA, lossless.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::qoi {

image::Image decodeQoi(base::ByteView bytes);
std::vector<uint8_t> encodeQoi(const image::Image& image);

}  // namespace orvel::codec::qoi
