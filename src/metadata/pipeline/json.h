// The JSON text of a metadata record: one pretty-printed object whose shape, number and string
// formatting are fixed, because callers diff and parse it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "metadata/record.h"
#include "metadata/tag_map.h"

namespace orvel::metadata::pipeline {

// What the JSON text is made of, without owning it: lets a caller that keeps its tags in some
// other order (the metadata handle's sorted list) render without copying them into a record.
struct JsonSource {
  bool isValid = false;
  int64_t orientation = 0;
  std::string_view camera;
  std::string_view software;
  bool hasGps = false;
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
  std::span<const TagMap::Entry* const> tags;  // written in this order
};

// The document for a record; its tags in the map's order. No line feed after the final "}".
std::string metaToJson(const Metadata& meta);
std::string metaToJson(const JsonSource& source);

// The shortest decimal text that reads back to the same double: fixed notation when the
// decimal point sits between 6 places before the first digit and 17 after it, else
// scientific; whole numbers end in ".0". NaN and the infinities are the quoted strings
// "nan", "inf" and "-inf".
void appendJsonNumber(std::string& out, double value);

// The bytes between double quotes, with quote, backslash and control bytes escaped, as valid
// UTF-8: well-formed sequences (and 0x7F) are copied as they are, and every byte that belongs
// to none becomes the character of the same value (U+0080 to U+00FF, as Latin-1 reads it).
void appendJsonString(std::string& out, std::string_view text);

}  // namespace orvel::metadata::pipeline
