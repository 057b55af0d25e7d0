// Builders of synthetic camera maker notes: a vendor directory in its own byte order with its
// values inline or in a data area whose offsets count from a chosen origin, the vendors'
// headers, and an EXIF block (or JPEG) carrying the note under a chosen Make.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "support/builders.h"

namespace orvel::testing {

// One maker-note directory. Values longer than 4 bytes follow the directory in a data area;
// the offsets stored for them are counted from an origin chosen at build time.
class NoteIfdBuilder {
 public:
  explicit NoteIfdBuilder(bool bigEndian = false) : bigEndian_(bigEndian) {}

  bool bigEndian() const { return bigEndian_; }

  // Value bytes given already encoded in the directory's byte order.
  NoteIfdBuilder& entry(uint16_t tag, uint16_t type, uint32_t count, Bytes value);
  NoteIfdBuilder& ascii(uint16_t tag, std::string_view text);  // NUL terminator added
  NoteIfdBuilder& bytes(uint16_t tag, uint16_t type, const Bytes& value);
  NoteIfdBuilder& shorts(uint16_t tag, const std::vector<uint16_t>& values);
  NoteIfdBuilder& sshorts(uint16_t tag, const std::vector<int16_t>& values);
  NoteIfdBuilder& longs(uint16_t tag, const std::vector<uint32_t>& values);
  NoteIfdBuilder& slongs(uint16_t tag, const std::vector<int32_t>& values);
  NoteIfdBuilder& rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values);
  NoteIfdBuilder& srationals(uint16_t tag, const std::vector<std::pair<int32_t, int32_t>>& values);
  // An entry whose value offset is stored verbatim (e.g. far past the end).
  NoteIfdBuilder& rawOffset(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset);
  // Announces more entries than are written: a count that runs off the end of the note.
  NoteIfdBuilder& claimedCount(uint16_t count);

  // Encoders in the directory's byte order.
  Bytes u16(uint16_t value) const;
  Bytes u32(uint32_t value) const;

  // The directory (count, entries, a zero next offset) followed by its data area. `position`
  // is where the directory's first byte lies, counted from the origin of value offsets.
  Bytes build(uint32_t position) const;

 private:
  struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    Bytes value;
    bool rawOffset = false;
    uint32_t offset = 0;
  };

  bool bigEndian_;
  std::vector<Entry> entries_;
  int claimedCount_ = -1;
};

// Vendor notes. `noteOffset` is where the note lands, counted from the TIFF header, for the
// vendors whose offsets count from there; the others are independent of their position.
Bytes canonNote(const NoteIfdBuilder& ifd, uint32_t noteOffset);
// "Nikon\0", version 2.10, then a TIFF header in the directory's byte order.
Bytes nikonNote(const NoteIfdBuilder& ifd);
// "Nikon\0" and two version bytes, the directory at byte 8: offsets count from the note.
Bytes nikonPlainNote(const NoteIfdBuilder& ifd);
Bytes panasonicNote(const NoteIfdBuilder& ifd, uint32_t noteOffset);
// "FUJIFILM", the directory offset 12; the directory must be little-endian.
Bytes fujiNote(const NoteIfdBuilder& ifd);
// "Apple iOS\0", version 1, "MM"; the directory must be big-endian.
Bytes appleNote(const NoteIfdBuilder& ifd);
// Any header followed by the directory; offsets count from the header's first byte plus
// `origin` (the note's offset from the TIFF header, or 0 when they count from the note).
Bytes noteWithHeader(const Bytes& header, const NoteIfdBuilder& ifd, uint32_t originOfNote);

// Makes a note for a given offset from the TIFF header; it must return the same number of
// bytes for every offset.
using NoteMaker = std::function<Bytes(uint32_t noteOffset)>;

struct NoteInTiff {
  Bytes tiff;            // the whole EXIF block
  uint32_t noteOffset;   // where the note's bytes start, from the TIFF header
};

// An EXIF block in the given byte order: IFD0 with Make (and Model when not empty) and the
// Exif pointer; the Exif directory with ExposureTime 1/250 and the MakerNote entry holding
// the note.
NoteInTiff tiffWithMakerNote(bool bigEndian, std::string_view make, std::string_view model,
                             const NoteMaker& makeNote);

// The same block in a JPEG's APP1 segment.
Bytes jpegWithMakerNote(bool bigEndian, std::string_view make, std::string_view model,
                        const NoteMaker& makeNote);

}  // namespace orvel::testing
