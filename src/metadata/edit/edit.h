// The editable EXIF record behind an edit handle: three tag tables (IFD0, Exif, GPS) of typed
// values, the fixed setters that change them and the small value builders.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/makernotes/relocation.h"

namespace orvel::metadata::edit {

// A value that cannot be made from the caller's text; the message says why.
class ExifValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One tag's value. Only the field matching `kind` is used.
struct ExifValue {
  uint8_t kind = 0;                                  // TIFF field type code, carried as read
  uint32_t count = 0;                                // as read; 0 for values built here
  std::string text;                                  // ASCII, without terminator
  std::vector<int64_t> ints;                         // SHORT, LONG, SSHORT, SLONG
  std::vector<std::pair<int64_t, int64_t>> rationals;  // RATIONAL, SRATIONAL
  std::vector<uint8_t> bytes;                        // every other type, raw
  // Where the value's bytes began in the block it was read from, counted from the TIFF
  // header; -1 for values built here. Lets a maker note's inner offsets follow it.
  int64_t origin = -1;

  bool operator==(const ExifValue&) const = default;
};

// Tags of one directory in insertion order; setting an existing tag replaces it in place.
class TagValues {
 public:
  using Entry = std::pair<uint16_t, ExifValue>;

  void set(uint16_t tag, ExifValue value);
  const ExifValue* find(uint16_t tag) const noexcept;
  void erase(uint16_t tag) noexcept;
  void clear() noexcept { entries_.clear(); }
  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  std::vector<Entry>::const_iterator begin() const noexcept { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const noexcept { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
};

enum EditDirectory : uint8_t { edIfd0 = 0, edExif = 1, edGps = 2 };

struct ExifEdit {
  TagValues ifd0;
  TagValues exif;
  TagValues gps;
  bool bigEndian = false;  // byte order of the block read; FLOAT and DOUBLE bytes follow it
  makernotes::NoteLayout makerNote;    // how the loaded maker note addresses its values
};

inline constexpr uint16_t kExifPointerTag = 0x8769;
inline constexpr uint16_t kGpsPointerTag = 0x8825;
inline constexpr uint16_t kMakerNoteTag = 0x927C;

// Inserts or replaces a tag in directory 0 (IFD0), 1 (Exif) or 2 (GPS); other numbers throw
// std::out_of_range.
void setTag(ExifEdit& edit, int directory, uint16_t tag, ExifValue value);

void setArtist(ExifEdit& edit, std::string_view text);
void setSoftware(ExifEdit& edit, std::string_view text);
// The same text as DateTimeOriginal, CreateDate and DateTime; the layout is not checked.
void setDateTimeOriginal(ExifEdit& edit, std::string_view text);
// The six position tags (references, degrees/minutes/seconds, altitude in hundredths). A
// position that the tags cannot hold (not finite, or beyond 32-bit degrees or hundredths of
// metres) changes nothing.
void setGps(ExifEdit& edit, double latitude, double longitude, double altitude);
// Empties the three directories.
void stripAll(ExifEdit& edit) noexcept;

// Degrees, minutes and ten-thousandths of seconds of |x|; seconds never reach 60. x must be
// finite and below 2^32 in magnitude (setGps checks).
std::vector<std::pair<int64_t, int64_t>> dms(double x);

ExifValue asciiVal(std::string_view text);
ExifValue byteVal(std::vector<uint8_t> bytes);
ExifValue longVal(std::vector<int64_t> values);
ExifValue rationalSeq(std::vector<std::pair<int64_t, int64_t>> pairs);

}  // namespace orvel::metadata::edit
