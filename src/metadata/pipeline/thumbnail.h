// The TIFF block of any container and the JPEG thumbnail that its IFD1 points at.
#pragma once

#include <cstdint>
#include <vector>

#include "base/bytes.h"

namespace orvel::metadata::pipeline {

using base::ByteView;

// Absolute position of the TIFF header of the container's EXIF block, or -1.
int64_t exifTiffBase(ByteView data);

// A copy of the thumbnail named by IFD1's offset (0x0201) and length (0x0202) entries of the
// TIFF block at base; empty when any piece is missing or lies outside the data.
std::vector<uint8_t> extractExifThumbnailAt(ByteView data, int64_t base);

}  // namespace orvel::metadata::pipeline
