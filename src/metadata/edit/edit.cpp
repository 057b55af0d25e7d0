#include "metadata/edit/edit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "container/tiff.h"

namespace orvel::metadata::edit {

using enum container::TiffType;
namespace {

constexpr uint16_t kArtistTag = 0x013B;
constexpr uint16_t kSoftwareTag = 0x0131;
constexpr uint16_t kDateTimeTag = 0x0132;
constexpr uint16_t kDateTimeOriginalTag = 0x9003;
constexpr uint16_t kCreateDateTag = 0x9004;

constexpr uint16_t kGpsLatitudeRef = 0x0001;
constexpr uint16_t kGpsLatitude = 0x0002;
constexpr uint16_t kGpsLongitudeRef = 0x0003;
constexpr uint16_t kGpsLongitude = 0x0004;
constexpr uint16_t kGpsAltitudeRef = 0x0005;
constexpr uint16_t kGpsAltitude = 0x0006;

constexpr int64_t kSecondsScale = 10000;
constexpr int64_t kLargestSeconds = 599999;  // 59.9999″: rounding never gives 60
constexpr double kAltitudeScale = 100;
// RATIONAL fields hold unsigned 32-bit numbers; larger positions cannot be written truthfully.
constexpr double kRationalLimit = static_cast<double>(std::numeric_limits<uint32_t>::max());

TagValues& directoryOf(ExifEdit& edit, int directory) {
  switch (directory) {
    case edIfd0: return edit.ifd0;
    case edExif: return edit.exif;
    case edGps: return edit.gps;
    default: throw std::out_of_range("EXIF directory must be 0, 1 or 2");
  }
}

bool representable(double latitude, double longitude, double altitude) {
  if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(altitude)) {
    return false;
  }
  return std::fabs(latitude) < kRationalLimit && std::fabs(longitude) < kRationalLimit &&
         std::round(std::fabs(altitude) * kAltitudeScale) <= kRationalLimit;
}

}  // namespace

void TagValues::set(uint16_t tag, ExifValue value) {
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [tag](const Entry& entry) { return entry.first == tag; });
  if (found != entries_.end()) {
    found->second = std::move(value);
  } else {
    entries_.emplace_back(tag, std::move(value));
  }
}

const ExifValue* TagValues::find(uint16_t tag) const noexcept {
  for (const Entry& entry : entries_) {
    if (entry.first == tag) return &entry.second;
  }
  return nullptr;
}

void TagValues::erase(uint16_t tag) noexcept {
  std::erase_if(entries_, [tag](const Entry& entry) { return entry.first == tag; });
}

void setTag(ExifEdit& edit, int directory, uint16_t tag, ExifValue value) {
  directoryOf(edit, directory).set(tag, std::move(value));
}

void setArtist(ExifEdit& edit, std::string_view text) {
  edit.ifd0.set(kArtistTag, asciiVal(text));
}

void setSoftware(ExifEdit& edit, std::string_view text) {
  edit.ifd0.set(kSoftwareTag, asciiVal(text));
}

void setDateTimeOriginal(ExifEdit& edit, std::string_view text) {
  edit.exif.set(kDateTimeOriginalTag, asciiVal(text));
  edit.exif.set(kCreateDateTag, asciiVal(text));
  edit.ifd0.set(kDateTimeTag, asciiVal(text));
}

std::vector<std::pair<int64_t, int64_t>> dms(double x) {
  const double a = std::fabs(x);
  const double degrees = std::trunc(a);
  const double m = (a - degrees) * 60;
  const double minutes = std::trunc(m);
  const double seconds = std::round((m - minutes) * 60 * kSecondsScale);
  const int64_t s = std::min(static_cast<int64_t>(seconds), kLargestSeconds);
  return {{static_cast<int64_t>(degrees), 1}, {static_cast<int64_t>(minutes), 1}, {s, kSecondsScale}};
}

void setGps(ExifEdit& edit, double latitude, double longitude, double altitude) {
  if (!representable(latitude, longitude, altitude)) return;
  const auto hundredths = static_cast<int64_t>(std::round(std::fabs(altitude) * kAltitudeScale));
  edit.gps.set(kGpsLatitudeRef, asciiVal(latitude < 0 ? "S" : "N"));
  edit.gps.set(kGpsLatitude, rationalSeq(dms(latitude)));
  edit.gps.set(kGpsLongitudeRef, asciiVal(longitude < 0 ? "W" : "E"));
  edit.gps.set(kGpsLongitude, rationalSeq(dms(longitude)));
  edit.gps.set(kGpsAltitudeRef, byteVal({static_cast<uint8_t>(altitude < 0 ? 1 : 0)}));
  edit.gps.set(kGpsAltitude, rationalSeq({{hundredths, static_cast<int64_t>(kAltitudeScale)}}));
}

void stripAll(ExifEdit& edit) noexcept {
  edit.ifd0.clear();
  edit.exif.clear();
  edit.gps.clear();
}

ExifValue asciiVal(std::string_view text) {
  ExifValue value;
  value.kind = ttAscii;
  value.text.assign(text);
  return value;
}

ExifValue byteVal(std::vector<uint8_t> bytes) {
  ExifValue value;
  value.kind = ttByte;
  value.bytes = std::move(bytes);
  return value;
}

ExifValue longVal(std::vector<int64_t> values) {
  ExifValue value;
  value.kind = ttLong;
  value.ints = std::move(values);
  return value;
}

ExifValue rationalSeq(std::vector<std::pair<int64_t, int64_t>> pairs) {
  ExifValue value;
  value.kind = ttRational;
  value.rationals = std::move(pairs);
  return value;
}

}  // namespace orvel::metadata::edit
