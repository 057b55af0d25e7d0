// XMP packets: locating the packet of a JPEG (APP1), PNG (iTXt) or WebP ("XMP " chunk) and
// extracting the Dublin Core basics and every simple property of its rdf:Description elements.
// Names are matched literally as written in the packet, prefix included; namespace URIs are not
// resolved.
#pragma once

#include <cstdint>
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

// The text of the first iTXt chunk with keyword "XML:com.adobe.xmp" of a PNG, or "".
std::string findXmpInPng(ByteView data);

// The payload of the first "XMP " chunk of a WebP, or "".
std::string findXmpInWebp(ByteView data);

// The XMP of any buffer: PNG and WebP chunks, otherwise a JPEG APP1 segment. Never throws on
// bad input: no packet, a truncated one or malformed XML give an empty record.
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
