// Turning a caller's text into a typed EXIF value, and the table of tag names callers may set.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "metadata/edit/edit.h"

namespace orvel::metadata::edit {

struct EditableTag {
  std::string_view name;
  uint8_t directory;  // 0 IFD0, 1 Exif
  uint16_t tag;
  uint8_t type;
};

// Names match exactly and case-sensitively. No GPS tag is settable by name.
inline constexpr std::array<EditableTag, 22> editableTags = {{
    {"ImageDescription", 0, 0x010E, 2},
    {"Make", 0, 0x010F, 2},
    {"Model", 0, 0x0110, 2},
    {"Orientation", 0, 0x0112, 3},
    {"Software", 0, 0x0131, 2},
    {"DateTime", 0, 0x0132, 2},
    {"Artist", 0, 0x013B, 2},
    {"HostComputer", 0, 0x013C, 2},
    {"Rating", 0, 0x4746, 3},
    {"Copyright", 0, 0x8298, 2},
    {"ExposureTime", 1, 0x829A, 5},
    {"FNumber", 1, 0x829D, 5},
    {"ExposureProgram", 1, 0x8822, 3},
    {"ISO", 1, 0x8827, 3},
    {"DateTimeOriginal", 1, 0x9003, 2},
    {"CreateDate", 1, 0x9004, 2},
    {"ExposureCompensation", 1, 0x9204, 10},
    {"MeteringMode", 1, 0x9207, 3},
    {"Flash", 1, 0x9209, 3},
    {"FocalLength", 1, 0x920A, 5},
    {"UserComment", 1, 0x9286, 7},
    {"LensModel", 1, 0xA434, 2},
}};

// The entry named exactly `name`, or null.
const EditableTag* findEditableTag(std::string_view name) noexcept;

// The value of the given type that the text spells; throws ExifValueError with the reason
// ("invalid integer: 1x", "EXIF integer out of range", ...) when it spells none.
ExifValue parseTyped(uint8_t type, std::string_view text);

// Sets an editable tag from text: false (and nothing changed) for an unknown name or a value
// that does not parse. UserComment gets the "ASCII" character-code prefix.
bool setTagByName(ExifEdit& edit, std::string_view name, std::string_view text);

}  // namespace orvel::metadata::edit
