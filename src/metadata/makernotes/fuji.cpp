// Fujifilm notes: "FUJIFILM" and the directory's offset, then the directory. Fujifilm notes
// are always little-endian, whatever the file uses, and their offsets count from the note.
#include <algorithm>
#include <array>
#include <string>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr std::string_view kSignature = "FUJIFILM";
constexpr int64_t kHeaderSize = 12;

constexpr std::array<CodeText, 8> kWhiteBalance = {{
    {0, "Auto"}, {256, "Daylight"}, {512, "Cloudy"}, {768, "Daylight Fluorescent"},
    {769, "Day White Fluorescent"}, {770, "White Fluorescent"}, {1024, "Incandescent"},
    {3840, "Custom"}}};
constexpr std::array<CodeText, 2> kOnOff = {{{0, "Off"}, {1, "On"}}};
constexpr std::array<CodeText, 2> kFocus = {{{0, "Auto"}, {1, "Manual"}}};
constexpr std::array<CodeText, 5> kFlashMode = {{
    {0, "Auto"}, {1, "On"}, {2, "Off"}, {3, "Red-eye reduction"}, {4, "External"}}};
constexpr std::array<CodeText, 9> kPictureMode = {{
    {0, "Auto"}, {1, "Portrait"}, {2, "Landscape"}, {4, "Sports"}, {5, "Night"},
    {6, "Program AE"}, {256, "Aperture-priority AE"}, {512, "Shutter speed priority AE"},
    {768, "Manual"}}};
constexpr std::array<CodeText, 3> kAutoBracketing = {{
    {0, "Off"}, {1, "On"}, {2, "No flash & flash"}}};
constexpr std::array<CodeText, 2> kBlurWarning = {{{0, "None"}, {1, "Blur Warning"}}};
constexpr std::array<CodeText, 2> kFocusWarning = {{{0, "Good"}, {1, "Out of focus"}}};
constexpr std::array<CodeText, 2> kExposureWarning = {{{0, "Good"}, {1, "Bad exposure"}}};

static_assert(isSortedTable(kWhiteBalance) && isSortedTable(kOnOff) && isSortedTable(kFocus) &&
              isSortedTable(kFlashMode) && isSortedTable(kPictureMode) &&
              isSortedTable(kAutoBracketing) && isSortedTable(kBlurWarning) &&
              isSortedTable(kFocusWarning) && isSortedTable(kExposureWarning));

struct TableField {
  uint16_t tag;
  std::string_view name;
  std::span<const CodeText> table;
};

constexpr std::array<TableField, 10> kTableFields = {{
    {0x1002, "WhiteBalance", kWhiteBalance},
    {0x1010, "FujiFlashMode", kFlashMode},
    {0x1020, "Macro", kOnOff},
    {0x1021, "FocusMode", kFocus},
    {0x1030, "SlowSync", kOnOff},
    {0x1031, "PictureMode", kPictureMode},
    {0x1100, "AutoBracketing", kAutoBracketing},
    {0x1300, "BlurWarning", kBlurWarning},
    {0x1301, "FocusWarning", kFocusWarning},
    {0x1302, "ExposureWarning", kExposureWarning},
}};

constexpr uint16_t kVersion = 0x0000;
constexpr uint16_t kQuality = 0x1000;

std::string fujiName(std::string_view field) { return "FujiFilm:" + std::string(field); }

const TableField* tableField(uint16_t tag) {
  for (const TableField& field : kTableFields) {
    if (field.tag == tag) return &field;
  }
  return nullptr;
}

}  // namespace

TagMap parseFujiMakerNote(ByteView tiff, int64_t noteOffset) {
  TagMap out;
  if (!inBounds(tiff, noteOffset, kHeaderSize) || !hasBytesAt(tiff, noteOffset, kSignature)) {
    return out;
  }
  const int64_t directory = noteOffset + readUint32(tiff, noteOffset + 8, false);
  const Ifd ifd = readIFD(tiff, directory, noteOffset, false);
  for (const auto& [number, tag] : ifd.tags) {
    if (number == kVersion) {
      setStripped(out, fujiName("Version"), toString(tag));
      continue;
    }
    if (number == kQuality) {
      setStripped(out, fujiName("Quality"), toString(tag));
      continue;
    }
    if (const TableField* field = tableField(number)) {
      setFromTable(out, fujiName(field->name), field->table, num(toString(tag)));
    }
  }
  return out;
}

}  // namespace orvel::metadata::makernotes
