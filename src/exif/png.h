// Metadata chunks of PNG files: finding the EXIF and XMP, decoding the text chunks (plain and
// compressed), and rebuilding a file with its EXIF replaced or its metadata removed. Pure
// functions over the caller's bytes; CRCs are never checked when reading.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exif/endian.h"

namespace orvel::exif {

// One decoded text chunk; keyword and text are the chunk's raw bytes.
struct TextChunk {
  std::string keyword;
  std::string text;
  bool ok = false;
};

using TextList = std::vector<std::pair<std::string, std::string>>;

// At least 8 bytes starting with the PNG signature.
bool isPng(ByteView data) noexcept;

// The four bytes at position as text; throws std::out_of_range when they are not all inside.
std::string chunkType(ByteView data, int64_t position);

// Offset of the first "eXIf" chunk's data, or 0. An "eXIf" after image data is ignored.
int64_t findExifInPng(ByteView data);

// (keyword, text) of every tEXt, zTXt and iTXt chunk up to IEND, in file order; compressed
// text that does not inflate is left out.
TextList pngTextChunks(ByteView data);

// The text of the first iTXt chunk with keyword "XML:com.adobe.xmp", or "".
std::string findXmpInPng(ByteView data);

// Decode the data of one chunk: start is the offset of the chunk data, length its size.
TextChunk parseITxt(ByteView data, int64_t start, int64_t length);
TextChunk parseZtxt(ByteView data, int64_t start, int64_t length);

// One complete chunk: length, type, data and the CRC over type and data.
std::vector<uint8_t> makeChunk(std::string_view type, ByteView data);

// The PNG CRC-32 (reflected 0xEDB88320, initial all ones, final complement).
uint32_t crc32(ByteView data) noexcept;
std::array<uint8_t, 4> be32(uint32_t value) noexcept;

// The file with every "eXIf" replaced by one new chunk right after IHDR (when exif is not
// empty) and, when strip is set, without eXIf, tEXt, iTXt and zTXt. Empty when the input is
// not a PNG, or when a new EXIF was asked for but there is no IHDR to put it behind.
std::vector<uint8_t> rebuildPng(ByteView png, ByteView exif, bool strip);
std::vector<uint8_t> replacePngExif(ByteView png, ByteView exif);
std::vector<uint8_t> stripPng(ByteView png);

}  // namespace orvel::exif
