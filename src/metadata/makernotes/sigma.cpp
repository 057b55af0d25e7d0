// Sigma notes: "SIGMA\0\0\0" and a two-byte version, then a directory of mostly text entries;
// several of them read "Name: value" and only the value is kept.
#include <array>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/makernotes/values.h"
#include "container/tiff.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr auto kExposureMode = std::to_array<TextName>({{"A", "Aperture Priority"},
                                                        {"M", "Manual"},
                                                        {"P", "Program"},
                                                        {"S", "Shutter Speed Priority"}});
constexpr auto kMetering = std::to_array<TextName>(
    {{"8", "Multi-segment"}, {"A", "Average"}, {"C", "Center-weighted average"}});
static_assert(isSortedTable(kExposureMode) && isSortedTable(kMetering));

enum SigmaRender : uint8_t { srText, srAfterColon, srExposureMode, srMetering };

struct SigmaField {
  uint16_t tag;
  std::string_view name;
  SigmaRender render;
};

constexpr SigmaField kFields[] = {
    {2, "SerialNumber", srText},
    {3, "DriveMode", srText},
    {4, "ResolutionMode", srText},
    {5, "AFMode", srText},
    {6, "FocusSetting", srText},
    {7, "WhiteBalance", srText},
    {8, "ExposureMode", srExposureMode},
    {9, "MeteringMode", srMetering},
    {10, "LensFocalRange", srText},
    {11, "ColorSpace", srText},
    {12, "ExposureCompensation", srAfterColon},
    {13, "Contrast", srAfterColon},
    {14, "Shadow", srAfterColon},
    {15, "Highlight", srAfterColon},
    {16, "Saturation", srAfterColon},
    {17, "Sharpness", srAfterColon},
    {18, "X3FillLight", srAfterColon},
    {20, "ColorAdjustment", srAfterColon},
    {21, "AdjustmentMode", srText},
    {22, "Quality", srAfterColon},
    {23, "Firmware", srText},
};

constexpr std::string_view kSignature{"SIGMA\0\0\0", 8};
constexpr int64_t kHeaderSize = 10;

std::string_view rendered(SigmaRender render, std::string_view text) {
  switch (render) {
    case srText: return text;
    case srAfterColon: return afterColon(text);
    case srExposureMode: return lookupText(kExposureMode, text);
    case srMetering: return lookupText(kMetering, text);
  }
  return {};
}

void addEntry(VendorTags& tags, const TiffTag& entry) {
  for (const SigmaField& field : kFields) {
    if (field.tag != entry.tag) continue;
    const std::string text = toString(entry);
    tags.setNonEmpty(field.name, rendered(field.render, stripSpace(text)));
    return;
  }
}

}  // namespace

TagMap parseSigmaMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  if (!inBounds(tiff, noteOffset, kHeaderSize) || !hasBytesAt(tiff, noteOffset, kSignature)) {
    return out;
  }
  const Ifd ifd = readIFD(tiff, noteOffset + kHeaderSize, base, bigEndian);
  VendorTags tags(out, "Sigma");
  for (const auto& [tag, entry] : ifd.tags) addEntry(tags, entry);
  return out;
}

}  // namespace orvel::metadata::makernotes
