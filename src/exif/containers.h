// Recognising the container of a byte sequence, and where each container's locator of the
// TIFF block plugs in.
#pragma once

#include <cstdint>

#include "exif/endian.h"

namespace orvel::exif {

enum Container : uint8_t { ctUnknown, ctJpeg, ctTiff, ctIsobmff, ctPng, ctWebp };

// Signatures are tested in this order: JPEG, TIFF, ISOBMFF/QuickTime, PNG, WebP.
Container detectContainer(ByteView data) noexcept;

bool hasJpegSignature(ByteView data) noexcept;
// Bytes 4..7 are "moov" or "ftyp".
bool hasIsobmffSignature(ByteView data) noexcept;
bool hasFtypSignature(ByteView data) noexcept;

// Absolute position of the TIFF header inside each container, or a value below 1 when there
// is none.
int64_t isobmffTiffOffset(ByteView data);
int64_t pngTiffOffset(ByteView data);
int64_t webpTiffOffset(ByteView data);

}  // namespace orvel::exif
