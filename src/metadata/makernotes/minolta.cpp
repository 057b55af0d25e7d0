// Minolta notes: a bare directory in the file's byte order. Tag 0x0003 is an array of 32-bit
// camera settings, one field per element, always big-endian (the camera writes it so, and an
// edit that turns the note little-endian leaves the block as it is).
#include <array>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/makernotes/values.h"
#include "container/tiff.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr auto kFlashMode = std::to_array<CodeText>({{0, "Fill flash"},
                                                     {1, "Red-eye reduction"},
                                                     {2, "Rear flash sync"},
                                                     {3, "Wireless"},
                                                     {4, "Off"}});
constexpr auto kWhiteBalance = std::to_array<CodeText>({{0, "Auto"},
                                                        {1, "Daylight"},
                                                        {2, "Cloudy"},
                                                        {3, "Tungsten"},
                                                        {5, "Custom"},
                                                        {7, "Fluorescent"},
                                                        {8, "Fluorescent 2"},
                                                        {11, "Custom 2"},
                                                        {12, "Custom 3"}});
constexpr auto kImageSize = std::to_array<CodeText>({{0, "Full"},
                                                     {1, "1600x1200"},
                                                     {2, "1280x960"},
                                                     {3, "640x480"},
                                                     {5, "2560x1920"},
                                                     {6, "2272x1704"},
                                                     {7, "2048x1536"}});
constexpr auto kQuality = std::to_array<CodeText>({{0, "Raw"},
                                                   {1, "Super Fine"},
                                                   {2, "Fine"},
                                                   {3, "Standard"},
                                                   {4, "Economy"},
                                                   {5, "Extra Fine"}});
constexpr auto kDriveMode = std::to_array<CodeText>({{0, "Single"},
                                                     {1, "Continuous"},
                                                     {2, "Self-timer"},
                                                     {4, "Bracketing"},
                                                     {5, "Interval"},
                                                     {6, "UHS continuous"},
                                                     {7, "HS continuous"}});
constexpr auto kOnOff = std::to_array<CodeText>({{0, "Off"}, {1, "On"}});
constexpr auto kDigitalZoom =
    std::to_array<CodeText>({{0, "Off"}, {1, "Electronic magnification"}, {2, "2x"}});
constexpr auto kNoYes = std::to_array<CodeText>({{0, "No"}, {1, "Yes"}});
constexpr auto kSubjectProgram = std::to_array<CodeText>({{0, "None"},
                                                          {1, "Portrait"},
                                                          {2, "Text"},
                                                          {3, "Night portrait"},
                                                          {4, "Sports action"},
                                                          {5, "Landscape"}});
constexpr auto kModelId = std::to_array<CodeText>({{0, "DiMAGE 7/X/Z"},
                                                   {1, "DiMAGE 5"},
                                                   {2, "DiMAGE S304"},
                                                   {3, "DiMAGE S404"},
                                                   {4, "DiMAGE 7i"},
                                                   {5, "DiMAGE 7Hi"},
                                                   {6, "DiMAGE A1"},
                                                   {7, "DiMAGE A2/S414"}});
constexpr auto kIntervalMode =
    std::to_array<CodeText>({{0, "Still Image"}, {1, "Time-lapse Movie"}});
constexpr auto kFolderName = std::to_array<CodeText>({{0, "Standard Form"}, {1, "Data Form"}});
constexpr auto kColorMode = std::to_array<CodeText>({{0, "Natural color"},
                                                     {1, "Black & White"},
                                                     {2, "Vivid color"},
                                                     {3, "Solarization"},
                                                     {4, "Adobe RGB"}});
constexpr auto kInternalFlash = std::to_array<CodeText>({{0, "No"}, {1, "Fired"}});
constexpr auto kWideFocusZone =
    std::to_array<CodeText>({{0, "No zone"},
                             {1, "Center zone (horizontal orientation)"},
                             {2, "Center zone (vertical orientation)"},
                             {3, "Left zone"},
                             {4, "Right zone"}});
constexpr auto kFocusMode = std::to_array<CodeText>({{0, "AF"}, {1, "MF"}});
constexpr auto kFocusArea =
    std::to_array<CodeText>({{0, "Wide Focus (normal)"}, {1, "Spot Focus"}});
constexpr auto kDecPosition =
    std::to_array<CodeText>({{0, "Exposure"}, {1, "Contrast"}, {2, "Saturation"}, {3, "Filter"}});
static_assert(isSortedTable(kWhiteBalance) && isSortedTable(kImageSize) &&
              isSortedTable(kDriveMode));

// One element of the camera-settings array, found by its byte offset.
struct SettingField {
  uint16_t byteOffset;
  std::string_view name;
  std::span<const CodeText> table;
};

constexpr SettingField kSettingFields[] = {
    {8, "FlashMode", kFlashMode},           {12, "WhiteBalance", kWhiteBalance},
    {16, "MinoltaImageSize", kImageSize},   {20, "MinoltaQuality", kQuality},
    {24, "DriveMode", kDriveMode},          {44, "MacroMode", kOnOff},
    {48, "DigitalZoom", kDigitalZoom},      {80, "FlashFired", kNoYes},
    {104, "FileNumberMemory", kOnOff},      {136, "SubjectProgram", kSubjectProgram},
    {148, "MinoltaModelID", kModelId},      {152, "IntervalMode", kIntervalMode},
    {156, "FolderName", kFolderName},       {160, "ColorMode", kColorMode},
    {172, "InternalFlash", kInternalFlash}, {188, "WideFocusZone", kWideFocusZone},
    {192, "FocusMode", kFocusMode},         {196, "FocusArea", kFocusArea},
    {200, "DECPosition", kDecPosition},
};

constexpr std::size_t kDateOffset = 84;
constexpr std::size_t kTimeOffset = 88;
constexpr uint16_t kCameraSettingsTag = 0x0003;

std::optional<uint32_t> settingAt(const TiffTag& entry, std::size_t byteOffset) {
  return minoltaArr(entry, byteOffset / 4);
}

// Year in the high half, then month and day bytes.
void addDate(VendorTags& tags, const TiffTag& entry) {
  const auto v = settingAt(entry, kDateOffset);
  if (!v || *v == 0) return;
  tags.set("MinoltaDate", zeroPadded(*v >> 16, 4) + ":" + zeroPadded(*v >> 8 & 0xFF, 2) + ":" +
                              zeroPadded(*v & 0xFF, 2));
}

void addTime(VendorTags& tags, const TiffTag& entry) {
  const auto v = settingAt(entry, kTimeOffset);
  if (!v || *v == 0) return;
  tags.set("MinoltaTime", zeroPadded(*v >> 16 & 0xFF, 2) + ":" + zeroPadded(*v >> 8 & 0xFF, 2) +
                              ":" + zeroPadded(*v & 0xFF, 2));
}

void addCameraSettings(VendorTags& tags, const TiffTag& entry) {
  for (const SettingField& field : kSettingFields) {
    if (auto value = settingAt(entry, field.byteOffset))
      tags.setCoded(field.name, field.table, *value);
  }
  addDate(tags, entry);
  addTime(tags, entry);
}

void addEntry(VendorTags& tags, const TiffTag& entry) {
  switch (entry.tag) {
    case 0x0000: tags.setNonEmpty("MakerNoteVersion", stripSpace(toString(entry))); break;
    case kCameraSettingsTag: addCameraSettings(tags, entry); break;
    case 0x0040: tags.setNonEmpty("CompressedImageSize", stripSpace(toString(entry))); break;
    case 0x0089: tags.setNonEmpty("PreviewImageLength", stripSpace(toString(entry))); break;
    default: break;
  }
}

}  // namespace

TagMap parseMinoltaMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  if (!inBounds(tiff, noteOffset, 2)) return out;
  const Ifd ifd = readIFD(tiff, noteOffset, base, bigEndian);
  VendorTags tags(out, "Minolta");
  for (const auto& [tag, entry] : ifd.tags) addEntry(tags, entry);
  return out;
}

}  // namespace orvel::metadata::makernotes
