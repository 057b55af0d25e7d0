// Casio notes of the first generation: a bare directory at the start of the note. The later
// "QVC\0" layout is a different vocabulary and is left undecoded.
#include <array>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/makernotes/values.h"
#include "container/tiff.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr auto kRecordingMode = std::to_array<CodeText>({{1, "Single Shutter"},
                                                         {2, "Panorama"},
                                                         {3, "Night Scene"},
                                                         {4, "Portrait"},
                                                         {5, "Landscape"}});
constexpr auto kQuality = std::to_array<CodeText>({{1, "Economy"}, {2, "Normal"}, {3, "Fine"}});
constexpr auto kFocusMode = std::to_array<CodeText>(
    {{2, "Macro"}, {3, "Auto"}, {4, "Manual"}, {5, "Infinity"}, {7, "Sport AF"}});
constexpr auto kFlashMode =
    std::to_array<CodeText>({{1, "Auto"}, {2, "On"}, {3, "Off"}, {4, "Red-eye Reduction"}});
constexpr auto kFlashIntensity =
    std::to_array<CodeText>({{11, "Weak"}, {13, "Normal"}, {15, "Strong"}});
constexpr auto kWhiteBalance = std::to_array<CodeText>({{1, "Auto"},
                                                        {2, "Tungsten"},
                                                        {3, "Daylight"},
                                                        {4, "Fluorescent"},
                                                        {5, "Shade"},
                                                        {129, "Manual"}});
constexpr auto kDigitalZoom = std::to_array<CodeText>({{0x10000, "Off"}});
constexpr auto kSharpness = std::to_array<CodeText>({{0, "Normal"}, {1, "Soft"}, {2, "Hard"}});
constexpr auto kNormalLowHigh = std::to_array<CodeText>({{0, "Normal"}, {1, "Low"}, {2, "High"}});
static_assert(isSortedTable(kWhiteBalance) && isSortedTable(kFocusMode));

struct CodedField {
  uint16_t tag;
  std::string_view name;
  std::span<const CodeText> table;
};

constexpr CodedField kCodedFields[] = {
    {1, "RecordingMode", kRecordingMode},   {2, "Quality", kQuality},
    {3, "FocusMode", kFocusMode},           {4, "FlashMode", kFlashMode},
    {5, "FlashIntensity", kFlashIntensity}, {7, "WhiteBalance", kWhiteBalance},
    {10, "DigitalZoom", kDigitalZoom},      {11, "Sharpness", kSharpness},
    {12, "Contrast", kNormalLowHigh},       {13, "Saturation", kNormalLowHigh},
};

constexpr uint16_t kObjectDistanceTag = 6;
constexpr std::string_view kRefusedSignature{"QVC\0", 4};

// Millimetres, shown in metres.
void addObjectDistance(VendorTags& tags, int64_t millimetres) {
  if (millimetres < 0) return;
  tags.set("ObjectDistance", trimFloat(static_cast<double>(millimetres) / 1000, 3) + " m");
}

// Only the entries this note names are rendered: a value can be as long as the whole file.
void addEntry(VendorTags& tags, const TiffTag& entry) {
  if (entry.tag == kObjectDistanceTag) return addObjectDistance(tags, num(toString(entry)));
  for (const CodedField& field : kCodedFields) {
    if (field.tag == entry.tag) return tags.setCoded(field.name, field.table, num(toString(entry)));
  }
}

}  // namespace

TagMap parseCasioMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  if (hasBytesAt(tiff, noteOffset, kRefusedSignature)) return out;
  const Ifd ifd = readIFD(tiff, noteOffset, base, bigEndian);
  VendorTags tags(out, "Casio");
  for (const auto& [tag, entry] : ifd.tags) addEntry(tags, entry);
  return out;
}

}  // namespace orvel::metadata::makernotes
