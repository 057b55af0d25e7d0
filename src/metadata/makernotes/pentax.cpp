// Pentax notes: "AOC\0", a byte-order mark of their own, then a directory whose value offsets
// count from the TIFF header like the main directories.
#include <array>
#include <vector>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/makernotes/pentax_settings.h"
#include "metadata/makernotes/values.h"
#include "container/tiff.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr auto kQuality = std::to_array<CodeText>(
    {{0, "Good"}, {1, "Better"}, {2, "Best"}, {3, "TIFF"}, {4, "RAW"}, {5, "Premium"}});
constexpr auto kMeteringMode =
    std::to_array<CodeText>({{0, "Multi-segment"}, {1, "Center-weighted average"}, {2, "Spot"}});
constexpr auto kWhiteBalance = std::to_array<CodeText>({
    {0, "Auto"},
    {1, "Daylight"},
    {2, "Shade"},
    {3, "Fluorescent"},
    {4, "Tungsten"},
    {5, "Manual"},
    {6, "Daylight Fluorescent"},
    {7, "Day White Fluorescent"},
    {8, "White Fluorescent"},
    {9, "Flash"},
    {10, "Cloudy"},
});
constexpr auto kOnOff = std::to_array<CodeText>({{0, "Off"}, {1, "On"}});
constexpr auto kYesNo = std::to_array<CodeText>({{0, "No"}, {1, "Yes"}});
constexpr auto kWorldTime = std::to_array<CodeText>({{0, "Hometown"}, {1, "Destination"}});
constexpr auto kImageTone = std::to_array<CodeText>({{0, "Natural"},
                                                     {1, "Bright"},
                                                     {2, "Portrait"},
                                                     {3, "Landscape"},
                                                     {4, "Vibrant"},
                                                     {5, "Monochrome"}});
constexpr auto kSrResult = std::to_array<CodeText>({{0, "Not stabilized"}, {1, "Stabilized"}});
constexpr auto kModelId = std::to_array<CodeText>({{76830, "K10D"}});
constexpr auto kAfPoint = std::to_array<CodeText>({{6, "Center"}});
constexpr auto kRawDev = std::to_array<CodeText>({{1, "1 (K10D,K200D,K2000,K-m)"}});
static_assert(isSortedTable(kQuality) && isSortedTable(kWhiteBalance) && isSortedTable(kImageTone));

// Entries decoded by looking their first number up in a table.
struct CodedField {
  uint16_t tag;
  std::string_view name;
  std::span<const CodeText> table;
};

constexpr CodedField kCodedFields[] = {
    {0x0005, "PentaxModelID", kModelId},
    {0x0008, "Quality", kQuality},
    {0x000E, "AFPointSelected", kAfPoint},
    {0x0017, "MeteringMode", kMeteringMode},
    {0x0019, "WhiteBalance", kWhiteBalance},
    {0x0022, "WorldTimeLocation", kWorldTime},
    {0x0025, "HometownDST", kYesNo},
    {0x0026, "DestinationDST", kYesNo},
    {0x0048, "AELock", kOnOff},
    {0x0049, "NoiseReduction", kOnOff},
    {0x004F, "ImageTone", kImageTone},
    {0x0062, "RawDevelopmentProcess", kRawDev},
};

// Entries whose stripped text is stored as it is.
struct TextField {
  uint16_t tag;
  std::string_view name;
};

constexpr TextField kTextFields[] = {
    {0x0001, "PentaxModelType"},
    {0x0003, "PreviewImageLength"},
    {0x003D, "DataScaling"},
    {0x0041, "ImageEditCount"},
};

constexpr std::string_view kSignature{"AOC\0", 4};
constexpr int64_t kHeaderSize = 6;

void addPreviewSize(VendorTags& tags, std::string_view text) {
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return;
  const std::string_view width = text.substr(0, space);
  const std::string_view height = text.substr(space + 1);
  if (height.find(' ') != std::string_view::npos) return;
  tags.set("PreviewImageSize", std::string(width) + "x" + std::string(height));
}

void addDate(VendorTags& tags, const TiffTag& entry) {
  if (entry.data.size() < 4) return;
  const int year = readUint16(entry.data, 0, entry.bigEndian);
  tags.set("Date", zeroPadded(year, 4) + ":" + zeroPadded(entry.data[2], 2) + ":" +
                       zeroPadded(entry.data[3], 2));
}

void addTime(VendorTags& tags, const TiffTag& entry) {
  if (entry.data.size() < 3) return;
  tags.set("Time", zeroPadded(entry.data[0], 2) + ":" + zeroPadded(entry.data[1], 2) + ":" +
                       zeroPadded(entry.data[2], 2));
}

void addShakeReduction(VendorTags& tags, const TiffTag& entry) {
  if (entry.data.size() < 2) return;
  tags.setCoded("SRResult", kSrResult, entry.data[0]);
  tags.setCoded("ShakeReduction", kOnOff, entry.data[1]);
}

// Degrees Celsius in one signed byte.
void addTemperature(VendorTags& tags, const TiffTag& entry) {
  if (entry.data.empty()) return;
  tags.set("CameraTemperature", std::to_string(static_cast<int8_t>(entry.data[0])) + " C");
}

void addJoined(VendorTags& tags, std::string_view field, const TiffTag& entry,
               std::string_view separator) {
  if (auto text = rawBytesJoined(entry, 4, separator)) tags.set(field, std::move(*text));
}

// Fields that need the raw bytes or a layout of their own; false when the tag is not one.
bool addSpecialField(VendorTags& tags, TagMap& out, const TiffTag& entry, bool extended) {
  switch (entry.tag) {
    case 0x0000: addJoined(tags, "PentaxVersion", entry, "."); return true;
    case 0x0002: addPreviewSize(tags, toString(entry)); return true;
    case 0x0006: addDate(tags, entry); return true;
    case 0x0007: addTime(tags, entry); return true;
    case 0x003E: addJoined(tags, "PreviewImageBorders", entry, " "); return true;
    case 0x0047: addTemperature(tags, entry); return true;
    case 0x005C: addShakeReduction(tags, entry); return true;
    case 0x0205: addPentaxCameraSettings(out, entry.data, extended); return true;
    case 0x0206: addPentaxAEInfo(out, entry.data); return true;
    default: return false;
  }
}

void addEntry(VendorTags& tags, TagMap& out, const TiffTag& entry, bool extended) {
  if (addSpecialField(tags, out, entry, extended)) return;
  for (const CodedField& field : kCodedFields) {
    if (field.tag == entry.tag) return tags.setCoded(field.name, field.table, num(toString(entry)));
  }
  for (const TextField& field : kTextFields) {
    if (field.tag == entry.tag) return tags.setNonEmpty(field.name, stripSpace(toString(entry)));
  }
}

// The K10D and its Samsung twin, the GX10, write the longer camera-settings block.
bool hasExtendedSettings(std::string_view model) {
  return model.find("K10D") != std::string_view::npos ||
         model.find("GX10") != std::string_view::npos;
}

}  // namespace

TagMap parsePentaxMakerNote(std::string_view model, ByteView tiff, int64_t noteOffset, int64_t base,
                            bool /*bigEndian: the note names its own order*/) {
  TagMap out;
  if (!inBounds(tiff, noteOffset, kHeaderSize) || !hasBytesAt(tiff, noteOffset, kSignature)) {
    return out;
  }
  const bool noteBigEndian = byteAt(tiff, noteOffset + 4) != 'I';
  const Ifd ifd = readIFD(tiff, noteOffset + kHeaderSize, base, noteBigEndian);
  VendorTags tags(out, "Pentax");
  const bool extended = hasExtendedSettings(model);
  for (const auto& [tag, entry] : ifd.tags) addEntry(tags, out, entry, extended);
  return out;
}

}  // namespace orvel::metadata::makernotes
