// ZSoft PCX (decode only): 1-bit monochrome, 8-bit gray or palette, 24-bit in three planes.
#pragma once

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::pcx {

image::Image decodePcx(base::ByteView bytes);

}  // namespace orvel::codec::pcx
