#include "metadata/edit/serialize.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "container/tiff.h"

namespace orvel::metadata::edit {
namespace {

constexpr int64_t kHeaderSize = 8;
constexpr int64_t kMaxOffset = std::numeric_limits<uint32_t>::max();

using base::appendBytes;
using container::typeSize;
using enum container::TiffType;

void append16(std::vector<uint8_t>& out, uint16_t value) { base::appendU16(out, value, false); }
void append32(std::vector<uint8_t>& out, uint32_t value) { base::appendU32(out, value, false); }

void checkRange(int64_t value, int64_t low, int64_t high) {
  if (value < low || value > high) throw std::range_error("EXIF value out of range");
}

void encodeInts(const ExifValue& value, EncodedValue& out) {
  for (int64_t element : value.ints) {
    switch (value.kind) {
      case ttShort: append16(out.bytes, static_cast<uint16_t>(element)); break;
      case ttLong: append32(out.bytes, static_cast<uint32_t>(element)); break;
      case ttSShort:
        checkRange(element, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max());
        append16(out.bytes, static_cast<uint16_t>(element));
        break;
      default:
        checkRange(element, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        append32(out.bytes, static_cast<uint32_t>(element));
        break;
    }
  }
  out.count = static_cast<uint32_t>(value.ints.size());
}

void encodeRationals(const ExifValue& value, EncodedValue& out) {
  for (const auto& [numerator, denominator] : value.rationals) {
    if (value.kind == ttSRational) {
      constexpr int64_t low = std::numeric_limits<int32_t>::min();
      constexpr int64_t high = std::numeric_limits<int32_t>::max();
      checkRange(numerator, low, high);
      checkRange(denominator, low, high);
    }
    append32(out.bytes, static_cast<uint32_t>(numerator));
    append32(out.bytes, static_cast<uint32_t>(denominator));
  }
  out.count = static_cast<uint32_t>(value.rationals.size());
}

// FLOAT and DOUBLE keep their stored count, but never claim more numbers than their bytes
// hold: an entry whose bytes could not be read would otherwise point at offset 0.
void encodeFloats(const ExifValue& value, bool bigEndian, EncodedValue& out) {
  const std::size_t size = typeSize(value.kind);
  const std::size_t whole = value.bytes.size() / size;
  const std::size_t count = std::min<std::size_t>(value.count, whole);
  out.bytes.assign(value.bytes.begin(), value.bytes.begin() + static_cast<std::ptrdiff_t>(count * size));
  if (bigEndian) {
    for (std::size_t at = 0; at < out.bytes.size(); at += size) {
      std::reverse(out.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   out.bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
  }
  out.count = static_cast<uint32_t>(count);
}

std::vector<uint16_t> sortedTags(const TagValues& tags) {
  std::vector<uint16_t> out;
  out.reserve(tags.size());
  for (const auto& [tag, value] : tags) out.push_back(tag);
  std::stable_sort(out.begin(), out.end());
  return out;
}

// A maker note addressed from the TIFF header has its inner offsets moved with it.
std::vector<uint8_t> placedBytes(uint16_t tag, const ExifValue& value, EncodedValue encoded,
                                 const BlockWriter& writer, int64_t position) {
  if (tag != kMakerNoteTag || writer.makerNote == nullptr || value.origin < 0) {
    return std::move(encoded.bytes);
  }
  return makernotes::relocateMakerNote(encoded.bytes, *writer.makerNote, value.origin, position);
}

}  // namespace

EncodedValue encode(const ExifValue& value, bool bigEndian) {
  EncodedValue out;
  out.type = value.kind;
  switch (value.kind) {
    case ttAscii:
      out.bytes.assign(value.text.begin(), value.text.end());
      out.bytes.push_back(0);
      out.count = static_cast<uint32_t>(out.bytes.size());
      break;
    case ttShort:
    case ttLong:
    case ttSShort:
    case ttSLong: encodeInts(value, out); break;
    case ttRational:
    case ttSRational: encodeRationals(value, out); break;
    case ttByte:
    case ttSByte:
    case ttUndefined:
      out.bytes = value.bytes;
      out.count = static_cast<uint32_t>(out.bytes.size());
      break;
    case ttFloat:
    case ttDouble: encodeFloats(value, bigEndian, out); break;
    default:
      out.bytes = value.bytes;
      out.count = value.count;
      break;
  }
  if (out.bytes.size() > static_cast<uint64_t>(kMaxOffset)) {
    throw std::overflow_error("EXIF value too long");
  }
  return out;
}

std::vector<uint8_t> emitIfd(const TagValues& tags, BlockWriter& writer) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<std::size_t>(ifdSize(static_cast<int64_t>(tags.size()))));
  append16(out, static_cast<uint16_t>(tags.size()));
  for (uint16_t tag : sortedTags(tags)) {
    const ExifValue& value = *tags.find(tag);
    EncodedValue encoded = encode(value, writer.bigEndian);
    append16(out, tag);
    append16(out, encoded.type);
    append32(out, encoded.count);
    if (encoded.bytes.size() > 4) {
      const int64_t position = writer.dataStart + static_cast<int64_t>(writer.data.size());
      const std::vector<uint8_t> placed = placedBytes(tag, value, std::move(encoded), writer, position);
      if (position + static_cast<int64_t>(placed.size()) > kMaxOffset) {
        throw std::overflow_error("EXIF block too large");
      }
      append32(out, static_cast<uint32_t>(position));
      appendBytes(writer.data, placed);
      if (writer.data.size() % 2 != 0) writer.data.push_back(0);
    } else {
      encoded.bytes.resize(4, 0);
      appendBytes(out, encoded.bytes);
    }
  }
  append32(out, 0);
  return out;
}

std::vector<uint8_t> serialize(const ExifEdit& edit) {
  TagValues ifd0 = edit.ifd0;
  ifd0.erase(kExifPointerTag);
  ifd0.erase(kGpsPointerTag);
  const bool hasExif = !edit.exif.empty();
  const bool hasGps = !edit.gps.empty();
  const int64_t n0 = static_cast<int64_t>(ifd0.size()) + (hasExif ? 1 : 0) + (hasGps ? 1 : 0);
  const int64_t exifStart = kHeaderSize + ifdSize(n0);
  const int64_t gpsStart = exifStart + (hasExif ? ifdSize(static_cast<int64_t>(edit.exif.size())) : 0);
  const int64_t dataStart = gpsStart + (hasGps ? ifdSize(static_cast<int64_t>(edit.gps.size())) : 0);
  if (n0 > 0xFFFF || edit.exif.size() > 0xFFFF || edit.gps.size() > 0xFFFF) {
    throw std::overflow_error("too many EXIF tags in one directory");
  }
  if (hasExif) ifd0.set(kExifPointerTag, longVal({exifStart}));
  if (hasGps) ifd0.set(kGpsPointerTag, longVal({gpsStart}));

  BlockWriter writer{edit.bigEndian, dataStart, {}, nullptr};
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  appendBytes(out, emitIfd(ifd0, writer));
  if (hasExif) {
    writer.makerNote = &edit.makerNote;
    appendBytes(out, emitIfd(edit.exif, writer));
    writer.makerNote = nullptr;
  }
  if (hasGps) appendBytes(out, emitIfd(edit.gps, writer));
  appendBytes(out, writer.data);
  return out;
}

}  // namespace orvel::metadata::edit
