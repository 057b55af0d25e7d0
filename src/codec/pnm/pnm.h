// The portable anymaps P1 to P6 and the arbitrary map P7 (PAM).
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::pnm {

// Hands "P7" to decodePam.
image::Image decodePnm(base::ByteView bytes);
image::Image decodePam(base::ByteView bytes);
// P5 for gray, P6 for RGB, P7 for RGBA.
std::vector<uint8_t> encodePnm(const image::Image& image);

}  // namespace orvel::codec::pnm
