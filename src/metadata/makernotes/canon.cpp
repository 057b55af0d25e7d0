// Canon notes have no header: a directory at the note's first byte, in the file's byte order,
// with value offsets counted from the TIFF header. Tags 1 and 4 are arrays of 16-bit settings.
#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr uint16_t kCameraSettings = 1;
constexpr uint16_t kShotInfo = 4;
constexpr uint16_t kFileNumber = 8;
constexpr uint16_t kSerialNumber = 12;
constexpr uint16_t kModelId = 16;

struct CanonTagName {
  uint16_t tag;
  std::string_view name;
};

constexpr std::array<CanonTagName, 8> kCanonTags = {{
    {6, "ImageType"},
    {7, "FirmwareVersion"},
    {8, "FileNumber"},
    {9, "OwnerName"},
    {12, "SerialNumber"},
    {16, "CanonModelID"},
    {149, "LensModel"},
    {150, "InternalSerialNumber"},
}};

constexpr std::array<CodeText, 5> kQuality = {{
    {1, "Economy"}, {2, "Normal"}, {3, "Fine"}, {4, "RAW"}, {5, "Superfine"}}};
constexpr std::array<CodeText, 8> kFlashMode = {{
    {0, "Off"}, {1, "Auto"}, {2, "On"}, {3, "Red-eye reduction"}, {4, "Slow-sync"},
    {5, "Red-eye reduction (Auto)"}, {6, "Red-eye reduction (On)"}, {16, "External flash"}}};
constexpr std::array<CodeText, 2> kContinuousDrive = {{{0, "Single"}, {1, "Continuous"}}};
constexpr std::array<CodeText, 5> kFocusMode = {{
    {0, "One-shot AF"}, {1, "AI Servo AF"}, {2, "AI Focus AF"}, {3, "Manual Focus (3)"},
    {6, "Manual Focus (6)"}}};
constexpr std::array<CodeText, 9> kRecordMode = {{
    {1, "JPEG"}, {2, "CRW+THM"}, {3, "AVI+THM"}, {4, "TIF"}, {5, "TIF+JPEG"}, {6, "CR2"},
    {7, "CR2+JPEG"}, {9, "MOV"}, {10, "MP4"}}};
constexpr std::array<CodeText, 3> kImageSize = {{{0, "Large"}, {1, "Medium"}, {2, "Small"}}};
constexpr std::array<CodeText, 2> kEasyMode = {{{0, "Full auto"}, {1, "Manual"}}};
constexpr std::array<CodeText, 6> kMeteringMode = {{
    {0, "Default"}, {1, "Spot"}, {2, "Average"}, {3, "Evaluative"}, {4, "Partial"},
    {5, "Center-weighted average"}}};
constexpr std::array<CodeText, 9> kExposureMode = {{
    {0, "Easy"}, {1, "Program AE"}, {2, "Shutter speed priority AE"},
    {3, "Aperture-priority AE"}, {4, "Manual"}, {5, "Depth-of-field AE"}, {6, "M-Dep"},
    {7, "Bulb"}, {8, "Flexible-priority AE"}}};
constexpr std::array<CodeText, 9> kWhiteBalance = {{
    {0, "Auto"}, {1, "Daylight"}, {2, "Cloudy"}, {3, "Tungsten"}, {4, "Fluorescent"},
    {5, "Flash"}, {6, "Custom"}, {7, "Black & White"}, {8, "Shade"}}};
constexpr std::array<CodeText, 4> kSlowShutter = {{
    {0, "Off"}, {1, "Night Scene"}, {2, "On"}, {3, "None"}}};
constexpr std::array<CodeText, 4> kAeb = {{
    {0, "Off"}, {1, "On (shot 1)"}, {2, "On (shot 2)"}, {3, "On (shot 3)"}}};
constexpr std::array<CodeText, 2> kControlMode = {{
    {1, "Camera Local Control"}, {3, "Computer Remote Control"}}};
constexpr std::array<CodeText, 4> kCameraType = {{
    {248, "EOS High-end"}, {250, "Compact"}, {252, "EOS Mid-range"}, {255, "DV Camera"}}};
constexpr std::array<CodeText, 4> kAutoRotate = {{
    {0, "None"}, {1, "Rotate 90 CW"}, {2, "Rotate 180"}, {3, "Rotate 270 CW"}}};

static_assert(isSortedTable(kQuality) && isSortedTable(kFlashMode) &&
              isSortedTable(kContinuousDrive) && isSortedTable(kFocusMode) &&
              isSortedTable(kRecordMode) && isSortedTable(kImageSize) &&
              isSortedTable(kEasyMode) && isSortedTable(kMeteringMode) &&
              isSortedTable(kExposureMode) && isSortedTable(kWhiteBalance) &&
              isSortedTable(kSlowShutter) && isSortedTable(kAeb) &&
              isSortedTable(kControlMode) && isSortedTable(kCameraType) &&
              isSortedTable(kAutoRotate));

// One decoded element of a settings array.
struct ArrayField {
  std::size_t element;
  std::string_view name;
  std::span<const CodeText> table;
};

constexpr std::array<ArrayField, 9> kCameraSettingsFields = {{
    {3, "Quality", kQuality},
    {4, "CanonFlashMode", kFlashMode},
    {5, "ContinuousDrive", kContinuousDrive},
    {7, "FocusMode", kFocusMode},
    {9, "RecordMode", kRecordMode},
    {10, "CanonImageSize", kImageSize},
    {11, "EasyMode", kEasyMode},
    {17, "MeteringMode", kMeteringMode},
    {20, "CanonExposureMode", kExposureMode},
}};

constexpr std::array<ArrayField, 6> kShotInfoFields = {{
    {7, "WhiteBalance", kWhiteBalance},
    {8, "SlowShutter", kSlowShutter},
    {16, "AutoExposureBracketing", kAeb},
    {18, "ControlMode", kControlMode},
    {26, "CameraType", kCameraType},
    {27, "AutoRotate", kAutoRotate},
}};

std::string canonName(std::string_view field) { return "Canon:" + std::string(field); }

// These numbers are unsigned by nature; anything else reads as 0.
uint64_t unsignedOrZero(std::string_view text) {
  text = stripSpace(text);
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::string padded(uint64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  return digits.size() < width ? std::string(width - digits.size(), '0') + digits : digits;
}

std::string modelIdText(std::string_view text) {
  std::string hex = toHex(unsignedOrZero(text), 8);
  std::transform(hex.begin(), hex.end(), hex.begin(),
                 [](char c) { return c >= 'A' && c <= 'F' ? char(c + 32) : c; });
  return "0x" + hex;
}

// 1000123 is folder 100, file 0123.
std::string fileNumberText(std::string_view text) {
  const uint64_t number = unsignedOrZero(text);
  return std::to_string(number / 10000) + "-" + padded(number % 10000, 4);
}

std::string canonValue(uint16_t tag, const std::string& text) {
  switch (tag) {
    case kModelId: return modelIdText(text);
    case kSerialNumber: return padded(unsignedOrZero(text), 10);
    case kFileNumber: return fileNumberText(text);
    default: return text;
  }
}

void addArrayFields(TagMap& out, const TiffTag& tag, std::span<const ArrayField> fields) {
  if (tag.type != ttShort) return;
  for (const ArrayField& field : fields) {
    if (auto code = canonArr(tag, field.element)) {
      setFromTable(out, canonName(field.name), field.table, *code);
    }
  }
}

void addNamedTag(TagMap& out, const TiffTag& tag) {
  auto row = std::find_if(kCanonTags.begin(), kCanonTags.end(),
                          [&](const CanonTagName& r) { return r.tag == tag.tag; });
  if (row == kCanonTags.end()) return;
  const std::string text = toString(tag);
  if (text.empty()) return;
  out.set(canonName(row->name), canonValue(tag.tag, text));
}

}  // namespace

TagMap parseCanonMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  if (!inBounds(tiff, noteOffset, 2)) return out;
  const Ifd ifd = readIFD(tiff, noteOffset, base, bigEndian);
  for (const auto& [number, tag] : ifd.tags) {
    if (number == kCameraSettings) {
      addArrayFields(out, tag, kCameraSettingsFields);
    } else if (number == kShotInfo) {
      addArrayFields(out, tag, kShotInfoFields);
    } else {
      addNamedTag(out, tag);
    }
  }
  return out;
}

}  // namespace orvel::metadata::makernotes
