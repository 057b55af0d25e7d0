// Olympus notes: "OLYMP\0" and a two-byte version, then a directory in the file's byte order
// whose value offsets count from the TIFF header.
#include <array>
#include <cctype>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/makernotes/values.h"
#include "container/tiff.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr auto kQuality =
    std::to_array<CodeText>({{1, "SQ (Low)"}, {2, "HQ (Normal)"}, {3, "SHQ (Fine)"}, {4, "RAW"}});
constexpr auto kMacro = std::to_array<CodeText>({{0, "Off"}, {1, "On"}, {2, "Super Macro"}});
constexpr auto kOnOff = std::to_array<CodeText>({{0, "Off"}, {1, "On"}});
constexpr auto kSpecialModeMode =
    std::to_array<CodeText>({{0, "Normal"}, {1, "Unknown"}, {2, "Fast"}, {3, "Panorama"}});
constexpr auto kPanoramaDir = std::to_array<CodeText>({{0, "(none)"},
                                                       {1, "Left to right"},
                                                       {2, "Right to left"},
                                                       {3, "Bottom to top"},
                                                       {4, "Top to bottom"}});
constexpr auto kCameraType = std::to_array<TextName>({{"SR951", "C2000Z"}});

constexpr std::string_view kSignature{"OLYMP\0", 6};
constexpr int64_t kHeaderSize = 8;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "mode sequence direction", e.g. 3 1 2 → Panorama, Sequence: 1, Panorama: Right to left.
void addSpecialMode(VendorTags& tags, std::string_view text) {
  std::string_view parts[3];
  for (auto& part : parts) {
    if (text.empty()) return;
    const auto space = text.find(' ');
    part = text.substr(0, space);
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
  }
  const auto mode = lookupCode(kSpecialModeMode, num(parts[0]));
  const auto direction = lookupCode(kPanoramaDir, num(parts[2]));
  if (!mode || !direction) return;
  tags.set("SpecialMode", std::string(*mode) + ", Sequence: " + std::string(parts[1]) +
                              ", Panorama: " + std::string(*direction));
}

void addDigitalZoom(VendorTags& tags, const TiffTag& entry) {
  if (entry.data.size() < 8) return;
  const uint32_t numerator = readUint32(entry.data, 0, entry.bigEndian);
  const uint32_t denominator = readUint32(entry.data, 4, entry.bigEndian);
  if (denominator == 0) return;
  tags.set("DigitalZoom", fixedDecimals(static_cast<double>(numerator) / denominator, 1));
}

// A rational renders as "a/b", but one that reduces to a whole number renders without the
// slash; it is still a length in millimetres. Zero means the camera did not record one.
void addFocalPlaneDiagonal(VendorTags& tags, std::string_view text) {
  std::string value = ratToDecimal(text);
  const bool wholeNumber = !text.empty() && text.find_first_not_of("0123456789") == text.npos;
  if (value.empty() && wholeNumber && num(text) > 0) value = std::string(text);
  if (!value.empty()) tags.set("FocalPlaneDiagonal", value + " mm");
}

void addLensDistortion(VendorTags& tags, std::string_view text) {
  text = stripSpace(text);
  if (!text.empty() && (text.front() == '-' || isDigit(text.front()))) {
    tags.set("LensDistortionParams", std::string(text));
  }
}

void addResolution(VendorTags& tags, std::string_view text) {
  constexpr std::string_view kKey = "Resolution=";
  const auto at = text.find(kKey);
  if (at == std::string_view::npos) return;
  std::string_view rest = text.substr(at + kKey.size());
  std::size_t digits = 0;
  while (digits < rest.size() && isDigit(rest[digits])) ++digits;
  tags.setNonEmpty("Resolution", rest.substr(0, digits));
}

void addEntry(VendorTags& tags, const TiffTag& entry) {
  switch (entry.tag) {
    case 0x0200: addSpecialMode(tags, toString(entry)); break;
    case 0x0201: tags.setCoded("Quality", kQuality, num(toString(entry))); break;
    case 0x0202: tags.setCoded("Macro", kMacro, num(toString(entry))); break;
    case 0x0203: tags.setCoded("BWMode", kOnOff, num(toString(entry))); break;
    case 0x0204: addDigitalZoom(tags, entry); break;
    case 0x0205: addFocalPlaneDiagonal(tags, toString(entry)); break;
    case 0x0206: addLensDistortion(tags, toString(entry)); break;
    case 0x0207:
      tags.setNonEmpty("CameraType", lookupText(kCameraType, stripSpace(toString(entry))));
      break;
    case 0x0208: addResolution(tags, toString(entry)); break;
    case 0x0209: tags.setNonEmpty("CameraID", stripSpace(toString(entry))); break;
    default: break;
  }
}

}  // namespace

TagMap parseOlympusMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  if (!hasBytesAt(tiff, noteOffset, kSignature)) return out;
  const Ifd ifd = readIFD(tiff, noteOffset + kHeaderSize, base, bigEndian);
  VendorTags tags(out, "Olympus");
  for (const auto& [tag, entry] : ifd.tags) addEntry(tags, entry);
  return out;
}

}  // namespace orvel::metadata::makernotes
