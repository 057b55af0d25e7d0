// Panasonic notes: "Panasonic" padded to 12 bytes, then a directory in the file's byte order
// whose value offsets count from the TIFF header.
#include <algorithm>
#include <array>
#include <string>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr std::string_view kSignature = "Panasonic";
constexpr int64_t kHeaderSize = 12;

constexpr std::array<CodeText, 6> kQuality = {{
    {1, "TIFF"}, {2, "High"}, {3, "Normal"}, {6, "Very High"}, {7, "RAW"},
    {9, "Motion Picture"}}};
constexpr std::array<CodeText, 9> kWhiteBalance = {{
    {1, "Auto"}, {2, "Daylight"}, {3, "Cloudy"}, {4, "Incandescent"}, {5, "Manual"},
    {8, "Flash"}, {10, "Black & White"}, {11, "Manual"}, {12, "Shade"}}};
constexpr std::array<CodeText, 4> kFocus = {{
    {1, "Auto"}, {2, "Manual"}, {4, "Auto, Focus button"}, {5, "Auto, Continuous"}}};
constexpr std::array<CodeText, 4> kMacro = {{
    {1, "On"}, {2, "Off"}, {257, "Tele-macro"}, {513, "Macro Zoom"}}};
constexpr std::array<CodeText, 13> kShooting = {{
    {1, "Normal"}, {2, "Portrait"}, {3, "Scenery"}, {4, "Sports"}, {5, "Night Portrait"},
    {6, "Program"}, {7, "Aperture Priority"}, {8, "Shutter Priority"}, {9, "Macro"},
    {10, "Spot"}, {11, "Manual"}, {12, "Movie Preview"}, {13, "Panning"}}};
constexpr std::array<CodeText, 3> kAudio = {{{1, "Yes"}, {2, "No"}, {3, "Stereo"}}};
constexpr std::array<CodeText, 5> kColorEffect = {{
    {1, "Off"}, {2, "Warm"}, {3, "Cool"}, {4, "Black & White"}, {5, "Sepia"}}};
constexpr std::array<CodeText, 4> kBurstMode = {{
    {0, "Off"}, {1, "On"}, {2, "Infinite"}, {4, "Unlimited"}}};
constexpr std::array<CodeText, 3> kContrastMode = {{{0, "Normal"}, {1, "Low"}, {2, "High"}}};
constexpr std::array<CodeText, 5> kNoiseReduction = {{
    {0, "Standard"}, {1, "Low (-1)"}, {2, "High (+1)"}, {3, "Lowest (-2)"},
    {4, "Highest (+2)"}}};
constexpr std::array<CodeText, 3> kSelfTimer = {{{1, "Off"}, {2, "10 s"}, {3, "2 s"}}};
constexpr std::array<CodeText, 5> kStabilization = {{
    {2, "On, Mode 1"}, {3, "Off"}, {4, "On, Mode 2"}, {5, "Panning"}, {6, "On, Mode 3"}}};

static_assert(isSortedTable(kQuality) && isSortedTable(kWhiteBalance) && isSortedTable(kFocus) &&
              isSortedTable(kMacro) && isSortedTable(kShooting) && isSortedTable(kAudio) &&
              isSortedTable(kColorEffect) && isSortedTable(kBurstMode) &&
              isSortedTable(kContrastMode) && isSortedTable(kNoiseReduction) &&
              isSortedTable(kSelfTimer) && isSortedTable(kStabilization));

struct TableField {
  uint16_t tag;
  std::string_view name;
  std::span<const CodeText> table;
};

constexpr std::array<TableField, 12> kTableFields = {{
    {0x01, "ImageQuality", kQuality},
    {0x03, "WhiteBalance", kWhiteBalance},
    {0x07, "FocusMode", kFocus},
    {0x1A, "ImageStabilization", kStabilization},
    {0x1C, "MacroMode", kMacro},
    {0x1F, "ShootingMode", kShooting},
    {0x20, "Audio", kAudio},
    {0x28, "ColorEffect", kColorEffect},
    {0x2A, "BurstMode", kBurstMode},
    {0x2C, "ContrastMode", kContrastMode},
    {0x2D, "NoiseReduction", kNoiseReduction},
    {0x2E, "SelfTimer", kSelfTimer},
}};

constexpr uint16_t kFirmwareVersion = 0x02;
constexpr uint16_t kInternalSerialNumber = 0x25;
constexpr uint16_t kExifVersion = 0x26;
constexpr uint16_t kTimeSincePowerOn = 0x29;
constexpr uint16_t kSequenceNumber = 0x2B;

std::string panaName(std::string_view field) { return "Panasonic:" + std::string(field); }

// Four version bytes, each in decimal: 0 1 2 1 reads 0.1.2.1.
std::optional<std::string> firmwareText(const TiffTag& tag) {
  if (tag.data.size() < 4) return {};
  std::string out;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) out += '.';
    out += std::to_string(tag.data[i]);
  }
  return out;
}

void setIfNotEmpty(TagMap& out, std::string_view field, std::string value) {
  if (!value.empty()) out.set(panaName(field), std::move(value));
}

// The fields that are not plain table look-ups.
void addSpecialField(TagMap& out, const TiffTag& tag) {
  const std::string text = toString(tag);
  switch (tag.tag) {
    case kFirmwareVersion:
      if (auto version = firmwareText(tag)) out.set(panaName("FirmwareVersion"), *version);
      break;
    case kInternalSerialNumber:
      setIfNotEmpty(out, "InternalSerialNumber", panaSerial(stripSpace(text)));
      break;
    case kExifVersion: setStripped(out, panaName("PanasonicExifVersion"), text); break;
    case kTimeSincePowerOn:
      setIfNotEmpty(out, "TimeSincePowerOn", panaPowerTime(num(text)));
      break;
    case kSequenceNumber:
      if (num(text) >= 0) out.set(panaName("SequenceNumber"), std::to_string(num(text)));
      break;
    default: break;
  }
}

const TableField* tableField(uint16_t tag) {
  for (const TableField& field : kTableFields) {
    if (field.tag == tag) return &field;
  }
  return nullptr;
}

}  // namespace

TagMap parsePanasonicMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  // At least the whole padded header must be there.
  if (!inBounds(tiff, noteOffset, kHeaderSize) || !hasBytesAt(tiff, noteOffset, kSignature)) {
    return out;
  }
  const Ifd ifd = readIFD(tiff, noteOffset + kHeaderSize, base, bigEndian);
  for (const auto& [number, tag] : ifd.tags) {
    if (const TableField* field = tableField(number)) {
      setFromTable(out, panaName(field->name), field->table, num(toString(tag)));
    } else {
      addSpecialField(out, tag);
    }
  }
  return out;
}

}  // namespace orvel::metadata::makernotes
