// Locating the EXIF block of a JPEG file: the APP1 segment that begins "Exif\0\0".
#pragma once

#include <cstdint>

#include "exif/endian.h"

namespace orvel::exif {

struct ExifBlock {
  int64_t start = 0;   // absolute position of the TIFF header; 0 when there is none
  int64_t length = 0;  // the segment's length minus its own 8 bytes of framing
};

// Walks the marker segments from the start of the file up to the start of scan. The length
// is as the segment states it and is not checked against the data.
ExifBlock findExifAPP1(ByteView data) noexcept;

// How many leading bytes of a JPEG its marker segments occupy, up to and including the four
// bytes of the marker that ends every metadata walk (start of scan, end of image, a broken
// chain). The answer may exceed `head`, which then holds too little of the file.
int64_t jpegSegmentsEnd(ByteView head) noexcept;

}  // namespace orvel::exif
