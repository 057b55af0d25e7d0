// TIFF: the first image of a classic TIFF file, in strips or tiles, uncompressed, LZW, Deflate or
// PackBits, with or without horizontal differencing; gray (either polarity), gray with alpha,
// RGB, RGBA, palette, transparency mask and CMYK at 1, 4, 8 and 16 bits per sample, reduced to
// 8 bits per channel.
#pragma once

#include <cstdint>
#include <span>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::tiff {

// Raises image::OrvelException.
image::Image decodeTiff(base::ByteView bytes);

// TIFF's LZW (codes most significant bit first, 9 to 12 bits, widening one code early) into
// `out`; returns the bytes produced. More than out.size() bytes is a failure.
int64_t lzwDecode(base::ByteView data, std::span<uint8_t> out);

// PackBits runs into `out`; returns the bytes produced. More than out.size() is a failure.
int64_t packbitsDecode(base::ByteView data, std::span<uint8_t> out);

}  // namespace orvel::codec::tiff
