// Metadata inside ISO base media files: the Exif and XMP items of HEIF/HEIC/AVIF stills, the
// movie facts of QuickTime/MP4 "moov" boxes, and writing or blanking the Exif item in place.
// Every reader stops quietly at the first structure that does not fit its parent or the
// buffer; "not found" is -1, an empty string or an empty map, never an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "exif/endian.h"
#include "exif/video_meta.h"

namespace orvel::exif {

// One item of a HEIF "meta" box, from its "infe" entry and the first extent of its "iloc"
// entry. Offsets are absolute file offsets.
struct ItemInfo {
  std::string type;               // "Exif", "mime", "hvc1", ...
  std::string contentType;        // only for "mime" items
  bool located = false;           // an "iloc" entry was read
  int64_t offset = 0;             // base offset + first extent offset; -1 when that overflows
  int64_t length = 0;             // length of the first extent
  int64_t offsetFieldPosition = 0;
  int64_t lengthFieldPosition = 0;
  int offsetSize = 0;             // widths in bytes of the two extent fields
  int lengthSize = 0;
  int64_t baseOffset = 0;
  int64_t extentCount = 0;
  int constructionMethod = 0;     // 0 = file offset, 1 = inside "idat", 2 = item reference
};

using ItemMap = std::unordered_map<uint32_t, ItemInfo>;

struct CString {
  std::string text;
  int64_t next = 0;  // just past the NUL, or the end when there is none
};

// Size of the box at position inside a range ending at end: a size field of 0 runs to end;
// -1 for a negative position, fewer than 8 bytes, or a size below 8.
int64_t boxSizeAt(ByteView data, int64_t position, int64_t end);

// The four type bytes of the box at position, or "" when fewer than 8 bytes remain.
std::string box4(ByteView data, int64_t position);

// Big-endian unsigned number of width 0..8 bytes (width 0 gives 0); -1 for a negative
// position, a width over 8 or a read past the end.
int64_t beInt(ByteView data, int64_t position, int width);

// Bytes from position up to a NUL or end.
CString readCString(ByteView data, int64_t position, int64_t end);

// Every item named by "iinf" or "iloc" of the first top-level "meta" box.
ItemMap parseItemRecords(ByteView file);

// The Exif item with the lowest item ID; located is false when there is none.
ItemInfo locateExifItem(ByteView file);

// Offset of the TIFF header inside a usable Exif item (one extent, stored in the file), or -1.
int64_t findExifTiffInIsobmff(ByteView file);

// Fallback: the first "MM\0" or "II*" within 64 bytes after an "Exif" marker, or -1.
int64_t findExifInHEIC(ByteView file);

// The movie facts inside the payload of a "moov" box.
VideoMeta parseIsobmff(ByteView moovPayload);

// The UTF-8 text of the first "data" child in [start, end), or "".
std::string readStringData(ByteView data, int64_t start, int64_t end);

// The file with the Exif item's payload replaced by a header offset of 0 and the TIFF block:
// in place when it fits, otherwise in an "mdat" box appended at the end. Empty when there is
// no usable Exif item or the new payload cannot be addressed by the item's field widths.
std::vector<uint8_t> writeExifIsobmff(ByteView file, ByteView tiff);

// The file, same length, with its Exif item blanked to an empty TIFF and its XMP item to the
// empty packet. Empty for non-ISOBMFF input, a file without items, or one whose metadata
// items cannot be blanked (several extents, stored elsewhere than the file).
std::vector<uint8_t> stripIsobmff(ByteView file);

// Writes value big-endian into width bytes at position (which must lie inside out).
void putBE(std::vector<uint8_t>& out, int64_t position, int width, uint64_t value);

// Whether value can be stored in width bytes.
bool fitsIn(int64_t value, int width) noexcept;

// The XMP packet a blanked XMP item starts with: exactly 192 bytes.
inline constexpr std::string_view kEmptyXmpPacket =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"></rdf:RDF>"
    "</x:xmpmeta><?xpacket end=\"w\"?>";
static_assert(kEmptyXmpPacket.size() == 192);

}  // namespace orvel::exif
