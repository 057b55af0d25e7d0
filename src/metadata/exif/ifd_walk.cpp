#include "metadata/exif/ifd_walk.h"

#include <string>

#include "base/text.h"
#include "metadata/exif/enums.h"
#include "metadata/exif/format.h"
#include "metadata/exif/tags.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::exif {
namespace {

using base::inBounds;
using base::stripSpace;
using container::Ifd;
using container::LongValue;
using container::readIFD;
using container::readLongTag;
using container::TiffTag;
using container::toString;

constexpr uint16_t kMakeTag = 0x010F;
constexpr uint16_t kModelTag = 0x0110;
constexpr uint16_t kMakerNoteTag = 0x927C;
constexpr uint16_t kInteropTag = 0xA005;
constexpr uint16_t kCompositeExposureTimesTag = 0xA462;

constexpr uint16_t kGpsLatitudeRef = 1;
constexpr uint16_t kGpsLatitude = 2;
constexpr uint16_t kGpsLongitudeRef = 3;
constexpr uint16_t kGpsLongitude = 4;
constexpr uint16_t kGpsAltitudeRef = 5;
constexpr uint16_t kGpsAltitude = 6;

std::string rawTextOf(const Ifd& ifd, uint16_t tag, const std::string* fallback) {
  auto found = ifd.tags.find(tag);
  if (found != ifd.tags.end()) return toString(found->second);
  return fallback ? *fallback : std::string();
}

// Stores tags with the directory's precedence: a directory that only adds keeps every name
// already present as it is.
struct TagSink {
  Metadata& meta;
  Precedence precedence;

  bool setsFields() const { return precedence == Precedence::sets; }
  bool takes(std::string_view name) const { return setsFields() || !meta.tags.contains(name); }
  // True when the value was stored.
  bool store(std::string name, std::string value) {
    if (!takes(name)) return false;
    meta.tags.set(std::move(name), std::move(value));
    return true;
  }
};

void addMakerNote(TagSink& sink, const TiffTag& entry, ByteView data, int64_t base,
                  const std::string& make, const std::string& model) {
  const ByteView note(entry.data);
  TagMap vendorTags =
      makernotes::isAppleMakerNote(note)
          ? makernotes::parseAppleMakerNote(note)
          : makernotes::parseMakerNote(make, model, data, entry.offset, base, entry.bigEndian);
  for (const auto& [name, value] : vendorTags) sink.store(name, value);
}

// The interoperability directory: only its four known entries are listed.
void addInteropTags(TagSink& sink, const TiffTag& entry, ByteView data, int64_t base) {
  const LongValue pointer = readLongTag(entry);
  if (!pointer.ok) return;  // no offset to follow
  const int64_t position = base + pointer.value;
  if (!inBounds(data, position, 2)) return;
  const Ifd interop = readIFD(data, position, base, entry.bigEndian);
  for (const auto& [tag, value] : interop.tags) {
    switch (tag) {
      case 0x0001:
        sink.store("InteropIndex", getInteropIndex(stripSpace(toString(value))));
        break;
      case 0x0002: {
        const std::string raw = toString(value);
        const std::string_view version = stripSpace(raw);
        if (!version.empty()) sink.store("InteropVersion", std::string(version));
        break;
      }
      case 0x1001: sink.store("RelatedImageWidth", toString(value)); break;
      case 0x1002: sink.store("RelatedImageHeight", toString(value)); break;
      default: break;
    }
  }
}

// Camera, software and orientation come from the raw text, not the rendered one.
void applyRecordFields(Metadata& meta, uint16_t tag, const std::string& raw) {
  switch (tag) {
    case kMakeTag: meta.camera = raw; break;
    case kModelTag:
      if (meta.camera.empty()) {
        meta.camera = raw;
      } else {
        meta.camera += ' ';
        meta.camera += raw;
      }
      break;
    case 0x0131: meta.software = raw; break;
    case 0x0112: {
      int64_t orientation = 0;
      if (parseDecimalInt(raw, orientation)) meta.orientation = orientation;
      break;
    }
    default: break;
  }
}

bool feedsRecordField(uint16_t tag) {
  return tag == kMakeTag || tag == kModelTag || tag == 0x0131 || tag == 0x0112;
}

void addNamedTag(TagSink& sink, uint16_t tag, std::string_view name, std::string raw) {
  if (!sink.takes(name)) return;
  Metadata& meta = sink.meta;
  const bool setsField = sink.setsFields() && feedsRecordField(tag);
  std::string value;
  if (formatExifTagIfRuled(tag, raw, meta, value)) {
    meta.tags.set(std::string(name), std::move(value));
    if (setsField) applyRecordFields(meta, tag, raw);
    return;
  }
  // No rule: the value is the raw text itself, so only copy it when a field needs it too.
  if (setsField) applyRecordFields(meta, tag, raw);
  meta.tags.set(std::string(name), std::move(raw));
}

void setGpsFields(Metadata& meta, uint16_t tag, const std::string& raw) {
  switch (tag) {
    case kGpsLatitude: meta.latitude = parseGpsRationals(raw); break;
    case kGpsLongitude: meta.longitude = parseGpsRationals(raw); break;
    case kGpsAltitude: meta.altitude = parseGpsRationals(raw); break;
    case kGpsLatitudeRef: meta.latRef = raw.empty() ? 'N' : raw.front(); break;
    case kGpsLongitudeRef: meta.lonRef = raw.empty() ? 'E' : raw.front(); break;
    default: break;
  }
}

bool isGpsReference(uint16_t tag) {
  return tag == kGpsLatitudeRef || tag == kGpsLongitudeRef || tag == kGpsAltitudeRef;
}

}  // namespace

std::string unknownTagName(std::string_view prefix, uint16_t tag) {
  return std::string(prefix) + "Unknown:0x" + base::toHex(uint64_t{tag}, 4);
}

void addIfdTags(Metadata& meta, const Ifd& ifd, ByteView data, int64_t base,
                Precedence precedence) {
  TagSink sink{meta, precedence};
  // The maker-note parsers need the camera of this directory, else of an earlier one.
  std::string make;
  std::string model;
  if (ifd.tags.count(kMakerNoteTag) != 0) {
    make = rawTextOf(ifd, kMakeTag, meta.tags.find("Make"));
    model = rawTextOf(ifd, kModelTag, meta.tags.find("Model"));
  }
  // Entries come in ascending tag order, so Make (0x010F) is applied before Model (0x0110).
  for (const auto& [tag, entry] : ifd.tags) {
    if (tag == kMakerNoteTag) {
      addMakerNote(sink, entry, data, base, make, model);
    } else if (tag == kInteropTag) {
      addInteropTags(sink, entry, data, base);
    } else if (tag == kCompositeExposureTimesTag) {
      // Rationals and counts packed into one UNDEFINED value.
      sink.store(std::string(exifTagName(tag)), compositeExposureTimes(entry.data, entry.bigEndian));
    } else if (std::string_view name = exifTagName(tag); !name.empty()) {
      addNamedTag(sink, tag, name, toString(entry));
    } else {
      sink.store(unknownTagName("", tag), toString(entry));
    }
  }
}

void addGpsTags(Metadata& meta, const Ifd& gps, Precedence precedence) {
  TagSink sink{meta, precedence};
  // The references first, so the coordinates and altitude can name them. A directory that only
  // adds sets a position field only together with the tag it adds.
  for (uint16_t tag : {kGpsLatitudeRef, kGpsLongitudeRef, kGpsAltitudeRef}) {
    auto found = gps.tags.find(tag);
    if (found == gps.tags.end()) continue;
    std::string raw = toString(found->second);
    std::string value;
    const bool ruled = formatGpsTagIfRuled(tag, raw, meta, value);
    if (sink.store(std::string(gpsTagName(tag)), ruled ? std::move(value) : raw)) {
      setGpsFields(meta, tag, raw);
    }
  }
  for (const auto& [tag, entry] : gps.tags) {
    const std::string_view name = gpsTagName(tag);
    if (name.empty()) {
      sink.store(unknownTagName("GPS:", tag), toString(entry));
      continue;
    }
    // A reference's value was stored above.
    if (isGpsReference(tag) || !sink.takes(name)) continue;
    std::string raw = toString(entry);
    setGpsFields(meta, tag, raw);
    std::string value;
    const bool ruled = formatGpsTagIfRuled(tag, raw, meta, value);
    meta.tags.set(std::string(name), ruled ? std::move(value) : std::move(raw));
  }
}

}  // namespace orvel::metadata::exif
