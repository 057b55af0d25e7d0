// Reader of TIFF structures (the form EXIF data takes): the header, directory entries,
// directories, and the canonical text of a raw value. Pure functions over the caller's bytes;
// nothing here follows pointers to other directories or interprets tags.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"

namespace orvel::container {

using base::ByteView;

enum TiffType : uint8_t {
  ttByte = 1,
  ttAscii = 2,
  ttShort = 3,
  ttLong = 4,
  ttRational = 5,
  ttSByte = 6,
  ttUndefined = 7,
  ttSShort = 8,
  ttSLong = 9,
  ttSRational = 10,
  ttFloat = 11,
  ttDouble = 12,
};

// "II" 0x2A 0x00 or "MM" 0x00 0x2A at position: a TIFF header in either byte order.
bool hasTiffSignature(ByteView data, int64_t position = 0) noexcept;

// Bytes per value of a type 1..12 (0 for anything else).
uint32_t typeSize(uint8_t type) noexcept;

// One decoded directory entry. Its value is a view into the caller's bytes, valid while they
// are: a directory of 65,535 entries all naming one large region then costs no more memory
// than the entries themselves.
struct TiffTag {
  uint16_t tag = 0;
  uint8_t type = 0;    // 1..12; unknown types read from a file become UNDEFINED
  uint32_t count = 0;  // as stored
  int64_t offset = 0;  // absolute position of the value bytes in the caller's buffer
  ByteView data;       // type size × count bytes, or empty when they lie outside
  bool bigEndian = false;
};

// The entries of one directory, ordered by tag number, one entry per tag. A flat sorted
// vector: directories are small and read once, so this beats a node-based map.
class IfdEntries {
 public:
  using value_type = std::pair<uint16_t, TiffTag>;
  using const_iterator = std::vector<value_type>::const_iterator;

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // end() when the tag is absent.
  const_iterator find(uint16_t tag) const;
  bool contains(uint16_t tag) const { return find(tag) != end(); }
  std::size_t count(uint16_t tag) const { return contains(tag) ? 1 : 0; }
  // Throws std::out_of_range when the tag is absent.
  const TiffTag& at(uint16_t tag) const;

  // Replaces an existing entry with the same tag.
  void insert_or_assign(uint16_t tag, TiffTag entry);

  // Builds from entries in file order: sorted by tag, a later duplicate replacing an earlier.
  static IfdEntries fromFileOrder(std::vector<value_type> entries);

 private:
  std::vector<value_type> entries_;
};

// One decoded directory. A tag listed twice keeps its later entry.
struct Ifd {
  IfdEntries tags;
  uint32_t next = 0;  // offset of the next directory from the block base; 0 when none
};

// The entry at entryPosition; all-zero when the 12 bytes do not fit. base is the absolute
// position of the TIFF block, added to value offsets.
TiffTag readTag(ByteView data, int64_t entryPosition, int64_t base, bool bigEndian);

// The directory at ifdPosition (absolute). A truncated directory keeps the entries that fit.
Ifd readIFD(ByteView data, int64_t ifdPosition, int64_t base, bool bigEndian);

struct LongValue {
  uint32_t value = 0;
  bool ok = false;
};

// The first 32-bit value of the tag's data; not ok when it holds fewer than 4 bytes.
LongValue readLongTag(const TiffTag& tag) noexcept;

// The canonical text of a raw value: numbers in decimal, reduced rationals, shortest
// round-trip floats, trimmed ASCII, printable bytes as text and anything else as hex pairs.
// Empty once a read has rendered its limit of text (base/read_limits.h).
std::string toString(const TiffTag& tag);

uint32_t gcd(uint32_t a, uint32_t b) noexcept;

// Shortest decimal text that reads back to the same value; ".0" is added to integral ones.
std::string shortestDecimal(double value);
std::string shortestDecimal(float value);

}  // namespace orvel::container
