// Nikon notes come in three layouts: "Nikon\0", a version and a TIFF header of their own
// (offsets count from that header, in its byte order); "Nikon\0" without one (directory at
// byte 8, offsets from the note); and no header at all (a bare directory like Canon's).
#include <algorithm>
#include <array>
#include <string>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr std::string_view kSignature{"Nikon\0", 6};
constexpr int64_t kEmbeddedHeader = 10;  // after "Nikon\0" and four version bytes

struct NikonTagName {
  uint16_t tag;
  std::string_view name;
};

constexpr std::array<NikonTagName, 9> kNikonTags = {{
    {3, "ColorMode"},
    {4, "Quality"},
    {5, "WhiteBalance"},
    {6, "Sharpness"},
    {7, "FocusMode"},
    {15, "ISOSelection"},
    {128, "ImageAdjustment"},
    {130, "AuxiliaryLens"},
    {132, "Lens"},
}};

struct Layout {
  int64_t directory;
  int64_t base;
  bool bigEndian;
};

Layout locateDirectory(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  if (!hasBytesAt(tiff, noteOffset, kSignature)) return {noteOffset, base, bigEndian};
  const int64_t header = noteOffset + kEmbeddedHeader;
  const uint8_t order = inBounds(tiff, noteOffset, 12) ? byteAt(tiff, header) : 0;
  if (order != 'I' && order != 'M') return {noteOffset + 8, noteOffset, bigEndian};
  const bool headerBigEndian = order != 'I';
  return {header + readUint32(tiff, header + 4, headerBigEndian), header, headerBigEndian};
}

// Upper-case words read better capitalised: AUTO becomes Auto; anything else is kept.
std::string capitalised(std::string_view text) {
  const bool allCapitals =
      std::all_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  std::string out(text);
  if (out.empty() || !allCapitals) return out;
  std::transform(out.begin() + 1, out.end(), out.begin() + 1, [](char c) { return char(c + 32); });
  return out;
}

}  // namespace

TagMap parseNikonMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian) {
  TagMap out;
  if (!inBounds(tiff, noteOffset, 2)) return out;
  const Layout layout = locateDirectory(tiff, noteOffset, base, bigEndian);
  const Ifd ifd = readIFD(tiff, layout.directory, layout.base, layout.bigEndian);
  for (const auto& row : kNikonTags) {
    auto found = ifd.tags.find(row.tag);
    if (found == ifd.tags.end()) continue;
    const std::string rendered = toString(found->second);
    const std::string_view text = stripSpace(rendered);
    if (text.empty()) continue;
    out.set("Nikon:" + std::string(row.name), capitalised(text));
  }
  return out;
}

}  // namespace orvel::metadata::makernotes
