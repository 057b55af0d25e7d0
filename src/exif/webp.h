// Metadata chunks of WebP (RIFF) files: finding the EXIF and XMP, and rebuilding a file with
// its EXIF replaced or its metadata removed. Pure functions over the caller's bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exif/endian.h"

namespace orvel::exif {

// At least 12 bytes with "RIFF" at 0 and "WEBP" at 8 (the RIFF size is not checked).
bool isWebp(ByteView data) noexcept;

// Offset of the TIFF block in the first "EXIF" chunk (past a leading "Exif" and two bytes),
// or 0.
int64_t findExifInWebp(ByteView data);

// Payload of the first "XMP " chunk, or "".
std::string findXmpInWebp(ByteView data);

// FourCC, little-endian size, data and a 0 pad byte when the size is odd.
std::vector<uint8_t> webpChunk(std::string_view fourcc, ByteView data);
std::array<uint8_t, 4> le32w(uint32_t value) noexcept;
// "RIFF", the recomputed size, "WEBP", then the chunks in order.
std::vector<uint8_t> assembleWebp(const std::vector<std::vector<uint8_t>>& chunks);

// The file without its "EXIF" chunks, with a new one last when exif is not empty, and without
// "XMP " when strip is set; the VP8X flags follow. Empty when the input is not a WebP, or a
// new EXIF is asked for in a simple file without VP8X.
std::vector<uint8_t> rebuildWebp(ByteView webp, ByteView exif, bool strip);
std::vector<uint8_t> replaceWebpExif(ByteView webp, ByteView exif);
std::vector<uint8_t> stripWebp(ByteView webp);

}  // namespace orvel::exif
