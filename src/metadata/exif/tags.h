// The names of EXIF/TIFF tags (IFD0, Exif and DNG directories) and of GPS tags.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace orvel::metadata::exif {

struct TagName {
  uint16_t tag;
  std::string_view name;
};

// Sorted by tag number.
std::span<const TagName> exifTagTable();
// GPS tags 0..31, indexed by tag number.
std::span<const std::string_view> gpsTagTable();

// The name of a tag; empty when the table does not know it.
std::string_view exifTagName(uint16_t tag) noexcept;
std::string_view gpsTagName(uint16_t tag) noexcept;

}  // namespace orvel::metadata::exif
