// Recognising the container of a byte sequence, and finding the TIFF block of the EXIF in
// each container: a JPEG's APP1 segment, a PNG's eXIf chunk, a WebP's EXIF chunk, the Exif
// item of a HEIF file.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>
#include <string_view>

#include "base/bytes.h"
#include "container/isobmff.h"
#include "container/png.h"

namespace orvel::metadata::pipeline {

using base::ByteView;

enum Container : uint8_t { ctUnknown, ctJpeg, ctTiff, ctIsobmff, ctPng, ctWebp };

// Signatures are tested in this order: JPEG, TIFF, ISOBMFF/QuickTime, PNG, WebP.
Container detectContainer(ByteView data) noexcept;

using container::hasIsobmffSignature;
// Bytes 4..7 are "ftyp" (at least 8 bytes).
bool hasFtypSignature(ByteView data) noexcept;

// What precedes the TIFF block in a JPEG's EXIF segment (and in some other containers).
inline constexpr std::string_view kExifHeader{"Exif\0\0", 6};

struct ExifBlock {
  int64_t start = 0;   // absolute position of the TIFF header; 0 when there is none
  int64_t length = 0;  // the segment's length minus its own 8 bytes of framing
};

// The first APP1 segment that begins "Exif\0\0", before the image data. The length is as the
// segment states it and is not checked against the data.
ExifBlock findExifAPP1(ByteView data) noexcept;

// How many leading bytes of a JPEG its marker segments occupy, up to and including the four
// bytes of the marker that ends every segment walk (start of scan, end of image, a broken
// chain). The answer may exceed `head`, which then holds too little of the file.
int64_t jpegSegmentsEnd(ByteView head) noexcept;

// Offset of the first "eXIf" chunk's data, or 0. An "eXIf" after image data is ignored.
int64_t findExifInPng(ByteView data);

// The bytes ("Exif", two NULs, then the TIFF block) of the first raw text profile of a PNG's text
// chunks that holds one ("Raw profile type exif" or "Raw profile type APP1"), as writers from
// before the eXIf chunk keep it.
std::optional<std::vector<uint8_t>> exifProfileIn(const container::TextList& texts);
// Whether a text chunk of the PNG is such a profile.
bool isExifProfileChunk(ByteView png, const container::PngChunk& chunk);

// Offset of the TIFF block in the first "EXIF" chunk (past a leading "Exif" and two bytes),
// or 0.
int64_t findExifInWebp(ByteView data);

// The Exif item with the lowest item ID; located is false when there is none.
container::ItemInfo locateExifItem(ByteView file);

// Offset of the TIFF header inside a usable Exif item (one extent, stored in the file), or -1.
int64_t findExifTiffInIsobmff(ByteView file);

// Fallback: the first "MM\0" or "II*" within 64 bytes after an "Exif" marker, or -1.
int64_t findExifInHEIC(ByteView file);

// Absolute position of the TIFF header inside each container, or a value below 1 when there
// is none.
int64_t isobmffTiffOffset(ByteView data);
int64_t pngTiffOffset(ByteView data);
int64_t webpTiffOffset(ByteView data);

}  // namespace orvel::metadata::pipeline
