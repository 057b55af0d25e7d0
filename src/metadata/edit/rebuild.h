// Rebuilding PNG, WebP and ISOBMFF files with their EXIF replaced or their metadata removed.
// Pure functions over the caller's bytes; an empty result means the file cannot be rebuilt.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace orvel::metadata::edit {

using base::ByteView;

// The file with every "eXIf" replaced by one new chunk right after IHDR (when exif is not
// empty) and, when strip is set, without eXIf, tEXt, iTXt and zTXt. Empty when the input is
// not a PNG, or when a new EXIF was asked for but there is no IHDR to put it behind.
std::vector<uint8_t> rebuildPng(ByteView png, ByteView exif, bool strip);
std::vector<uint8_t> replacePngExif(ByteView png, ByteView exif);
std::vector<uint8_t> stripPng(ByteView png);

// The file without its "EXIF" chunks, with a new one last when exif is not empty, and without
// "XMP " when strip is set; the VP8X flags follow. Empty when the input is not a WebP, or a
// new EXIF is asked for in a simple file without VP8X.
std::vector<uint8_t> rebuildWebp(ByteView webp, ByteView exif, bool strip);
std::vector<uint8_t> replaceWebpExif(ByteView webp, ByteView exif);
std::vector<uint8_t> stripWebp(ByteView webp);

// The file with the Exif item's payload replaced by a header offset of 0 and the TIFF block:
// in place when it fits, otherwise in an "mdat" box appended at the end. Empty when there is
// no usable Exif item or the new payload cannot be addressed by the item's field widths.
std::vector<uint8_t> writeExifIsobmff(ByteView file, ByteView tiff);

// The file, same length, with its Exif item blanked to an empty TIFF and its XMP item to the
// empty packet. Empty for non-ISOBMFF input, a file without items, or one whose metadata
// items cannot be blanked (several extents, stored elsewhere than the file).
std::vector<uint8_t> stripIsobmff(ByteView file);

// The XMP packet a blanked XMP item starts with: exactly 192 bytes.
inline constexpr std::string_view kEmptyXmpPacket =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"></rdf:RDF>"
    "</x:xmpmeta><?xpacket end=\"w\"?>";
static_assert(kEmptyXmpPacket.size() == 192);

}  // namespace orvel::metadata::edit
