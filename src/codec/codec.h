// Format detection and dispatch: bytes in, an image out, and an image to the bytes of a chosen
// format.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec {

using base::ByteView;

enum EncodeFormat : uint8_t {
  efPng = 0,
  efJpeg = 1,
  efBmp = 2,
  efQoi = 3,
  efPnm = 4,
  efTga = 5,
};

// Decodes the format the leading bytes announce (BMP, QOI, PNM/PAM, PNG, JPEG, HEIF/AVIF, GIF,
// WebP, TIFF, PCX, tested in that order). Raises image::OrvelException.
image::Image decodeImage(ByteView bytes);

// The image in the given format; quality matters to JPEG only.
std::vector<uint8_t> encodeImage(const image::Image& image, EncodeFormat format, int quality);

}  // namespace orvel::codec
