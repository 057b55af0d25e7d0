// XMP packets: locating the packet of a JPEG (APP1, with its extension segments), PNG (iTXt, or
// a raw profile), WebP ("XMP " chunk), HEIF still (a "mime" item), QuickTime/MP4 movie ("XMP_"
// and "uuid" boxes) or a sidecar file that is the packet itself, and extracting the Dublin Core
// basics and every simple property of its rdf:Description elements. Names are matched literally
// as written in the packet, prefix included; namespace URIs are not resolved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "metadata/tag_map.h"
#include "metadata/xmp/xml.h"

namespace orvel::metadata::xmp {

using base::ByteView;

struct XmpRecord {
  std::string title;        // dc:title
  std::string description;  // dc:description
  std::string rights;       // dc:rights
  std::vector<std::string> creators;  // dc:creator
  std::vector<std::string> subjects;  // dc:subject
  // Qualified property name (prefix:local) → text, in the order first seen; a later value
  // under the same name replaces the earlier one in place.
  TagMap properties;
};

// Where the payload of an APP1 segment lies: offset and length in the caller's buffer.
struct XmpLocation {
  int64_t offset = 0;
  int64_t length = 0;
};

inline constexpr int64_t kXmpSignatureSize = 29;  // namespace name and its NUL

// True when the 29 bytes at `position` are the XMP APP1 signature
// "http://ns.adobe.com/xap/1.0/" followed by a NUL byte.
bool headerMatches(ByteView data, int64_t position) noexcept;

// The payload (after the signature) of the first APP1 segment carrying XMP; (0, 0) when none.
// The payload may run past the end of a truncated buffer: callers check it.
XmpLocation findXmpApp1(ByteView data) noexcept;

// The text of the first iTXt chunk with keyword "XML:com.adobe.xmp" of a PNG; without one, the
// first raw profile holding XMP ("Raw profile type xmp", or an APP1 profile with the XMP
// signature); "" when there is neither.
std::string findXmpInPng(ByteView data);

// The payload of the first "XMP " chunk of a WebP, or "".
std::string findXmpInWebp(ByteView data);

// Extended XMP of a JPEG: the pieces of the APP1 extension segments whose GUID is `guid`,
// joined in offset order. Nothing unless they cover exactly their stated full length (at most
// kLargestExtendedXmp), each piece lying inside it.
inline constexpr int64_t kLargestExtendedXmp = int64_t{64} << 20;
std::optional<std::string> joinExtendedXmp(ByteView jpeg, std::string_view guid);

// The packet of a HEIF still (its first "mime" item of type "application/rdf+xml" stored in
// the file) or of a movie (a "uuid" XMP box at the top level or in moov/udta, or an "XMP_" box
// in moov/udta, whichever comes first); "" when there is none.
std::string findXmpInIsobmff(ByteView data);
// The 16 bytes after a "uuid" box's header that mark it as holding XMP.
inline constexpr std::string_view kXmpUuid{
    "\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC", 16};

// A sidecar file: the buffer is a packet, beginning (after an optional UTF-8 byte-order mark
// and XML declaration) with "<?xpacket" or "<x:xmpmeta".
bool isXmpSidecar(ByteView data) noexcept;

// The XMP of any buffer: PNG, WebP, HEIF and movie containers, a sidecar, otherwise a JPEG's APP1
// segments. Never throws on bad input: no packet, a truncated one or malformed XML give an
// empty record.
XmpRecord readXmpBytes(ByteView data);

// Parses one XMP packet; malformed XML gives an empty record.
XmpRecord parseXmp(std::string_view text);

// The stripped text of the first rdf:li below the element, or of the element itself.
std::string firstLi(const XmlElement& element);

// The stripped texts of every rdf:li below the element, in document order, empty ones left out.
std::vector<std::string> allLi(const XmlElement& element);

// The reading pipeline's view: ("XMP:" + property, value) for every non-empty property of the
// buffer's packet, in order.
std::vector<TagMap::Entry> xmpTags(ByteView data);

}  // namespace orvel::metadata::xmp
