// JPEG: baseline (sequential, Huffman-coded, 8-bit) files of one or three components decoded
// into gray or RGB, and gray or RGB images written as baseline JFIF without subsampling.
// Both work in single precision with the same cosine table.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::jpeg {

// Decodes the first scan of a baseline file: gray for one component, RGB (from Y, Cb, Cr) for
// three. Raises image::OrvelException.
image::Image decodeJpeg(base::ByteView bytes);

// A JFIF file of a gray or RGB image at quality 1 to 100 (values outside are clamped).
// Raises image::OrvelException for other layouts and for sides above 65535.
std::vector<uint8_t> encodeJpeg(const image::Image& image, int quality);

// Builds the cosine table; start-up calls it, and the codec builds it on first use otherwise.
void initJpegTables();

// Where the processor offers AVX2 and FMA the transforms and colour conversions use them; this
// picks the SSE2 code instead, so that tests can prove both give the same bits.
void choosePortableJpeg(bool portable);

}  // namespace orvel::codec::jpeg
