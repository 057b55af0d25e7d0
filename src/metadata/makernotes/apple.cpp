// Apple notes: "Apple iOS", a version and "MM", then a big-endian directory at byte 14 whose
// value offsets count from the first byte of the note itself, so the note is read on its own.
#include <algorithm>
#include <array>
#include <string>

#include "metadata/makernotes/common.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr std::string_view kSignature = "Apple iOS";
constexpr int64_t kDirectoryStart = 14;

struct AppleTagName {
  uint16_t tag;
  std::string_view name;
};

constexpr std::array<AppleTagName, 20> kAppleTags = {{
    {1, "MakerNoteVersion"},
    {4, "AEStable"},
    {5, "AETarget"},
    {6, "AEAverage"},
    {7, "AFStable"},
    {8, "AccelerationVector"},
    {10, "HDRImageType"},
    {12, "FocusDistanceRange"},
    {20, "ImageCaptureType"},
    {31, "PhotosAppFeatureFlags"},
    {33, "HDRHeadroom"},
    {35, "AFPerformance"},
    {39, "SignalToNoiseRatio"},
    {43, "PhotoIdentifier"},
    {45, "ColorTemperature"},
    {46, "CameraType"},
    {47, "FocusPosition"},
    {48, "HDRGain"},
    {56, "AFMeasuredDepth"},
    {61, "AFConfidence"},
}};

// Fields holding rationals that read better as decimals.
constexpr std::array<std::string_view, 5> kDecimalFields = {
    "HDRGain", "HDRHeadroom", "SignalToNoiseRatio", "AccelerationVector", "FocusDistanceRange"};

std::string_view appleTagName(uint16_t tag) {
  for (const auto& row : kAppleTags) {
    if (row.tag == tag) return row.name;
  }
  return {};
}

// Unnamed binary blobs (and long byte strings) say nothing readable, so they are left out.
bool isOpaque(const TiffTag& tag) {
  if (tag.type == ttUndefined) return true;
  return (tag.type == ttByte || tag.type == ttSByte) && tag.count >= 9;
}

std::string appleValue(std::string_view name, const std::string& text) {
  if (std::find(kDecimalFields.begin(), kDecimalFields.end(), name) != kDecimalFields.end()) {
    return toDecimals(text, 4);
  }
  if (name == "CameraType") return getAppleCameraType(text);
  if (name == "ImageCaptureType") return getImageCaptureType(text);
  return text;
}

}  // namespace

bool isAppleMakerNote(ByteView note) {
  return note.size() > 15 && hasBytesAt(note, 0, kSignature);
}

TagMap parseAppleMakerNote(ByteView note) {
  TagMap out;
  if (!isAppleMakerNote(note)) return out;
  const Ifd ifd = readIFD(note, kDirectoryStart, 0, true);
  for (const auto& [number, tag] : ifd.tags) {
    std::string_view name = appleTagName(number);
    if (name.empty()) {
      if (isOpaque(tag)) continue;
      out.set("Apple:0x" + toHex(number, 4), toString(tag));
      continue;
    }
    out.set("Apple:" + std::string(name), appleValue(name, toString(tag)));
  }
  return out;
}

}  // namespace orvel::metadata::makernotes
