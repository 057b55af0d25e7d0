#include "metadata/makernotes/relocation.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "base/text.h"
#include "container/tiff.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {
namespace {

constexpr int64_t kEntrySize = 12;

using base::inBounds;
using base::readUint16;
using base::readUint32;
using container::typeSize;
using enum container::TiffType;

bool startsWith(ByteView data, std::string_view text) { return base::hasBytesAt(data, 0, text); }

// One vendor whose note holds a directory addressed from the TIFF header: the signature its
// note must begin with (empty: none), where the directory starts, and whether the byte at
// orderAt names the note's byte order ('I' little-endian) instead of the block's.
struct HeaderAddressed {
  std::string_view makeWord;
  std::string_view signature;
  int64_t directory;
  int64_t orderAt;  // -1: the block's byte order
};

// Tested in the order the vendor decoders are chosen by Make.
constexpr std::array<HeaderAddressed, 9> kVendors = {{
    {"canon", "", 0, -1},
    {"nikon", "", 0, -1},  // only notes without "Nikon\0"; the others carry their own base
    {"panasonic", "Panasonic", 12, -1},
    {"fuji", "", -1, -1},  // self-contained
    {"pentax", std::string_view("AOC\0", 4), 6, 4},
    {"olympus", std::string_view("OLYMP\0", 6), 8, -1},
    {"casio", "", 0, -1},
    {"minolta", "", 0, -1},
    {"sigma", std::string_view("SIGMA\0\0\0", 8), 10, -1},
}};

constexpr std::string_view kNikonSignature{"Nikon\0", 6};
constexpr std::string_view kCasioRefused{"QVC\0", 4};

NoteLayout layoutFor(const HeaderAddressed& vendor, ByteView note, bool blockBigEndian) {
  if (vendor.directory < 0) return {};
  if (!vendor.signature.empty() && !startsWith(note, vendor.signature)) return {};
  if (vendor.makeWord == "nikon" && startsWith(note, kNikonSignature)) return {};
  if (vendor.makeWord == "casio" && startsWith(note, kCasioRefused)) return {};
  bool bigEndian = blockBigEndian;
  if (vendor.orderAt >= 0) {
    if (!inBounds(note, vendor.orderAt, 1)) return {};
    bigEndian = base::byteAt(note, vendor.orderAt) != 'I';
  }
  return {true, vendor.directory, bigEndian, vendor.orderAt < 0};
}

// Reverses each `unit`-byte group of out[position, position + size).
void reverseUnits(std::vector<uint8_t>& out, int64_t position, int64_t size, int64_t unit) {
  if (unit < 2) return;
  auto first = out.begin() + position;
  for (int64_t at = 0; at + unit <= size; at += unit) std::reverse(first + at, first + at + unit);
}

// Bytes per number of a type: rationals are pairs of 4-byte numbers.
int64_t numberUnit(uint16_t type) {
  switch (type) {
    case ttShort:
    case ttSShort: return 2;
    case ttLong:
    case ttSLong:
    case ttFloat:
    case ttRational:
    case ttSRational: return 4;
    case ttDouble: return 8;
    default: return 1;
  }
}

uint32_t elementSizeOf(uint16_t type) {
  // Unknown types read as UNDEFINED, one byte each.
  const bool known = type >= ttByte && type <= ttDouble;
  return known ? typeSize(static_cast<uint8_t>(type)) : 1;
}

struct NoteEdit {
  ByteView note;
  std::vector<uint8_t> out;
  const NoteLayout& layout;
  int64_t oldOffset;
  int64_t delta;
  bool swap;  // turn a big-endian note little-endian
};

// Moves (and turns) one entry; false when an offset would leave the 32-bit range.
bool editEntry(NoteEdit& edit, int64_t entry) {
  constexpr int64_t kMaxOffset = std::numeric_limits<uint32_t>::max();
  const bool be = edit.layout.bigEndian;
  const uint16_t type = readUint16(edit.note, entry + 2, be);
  const int64_t size = int64_t{elementSizeOf(type)} * readUint32(edit.note, entry + 4, be);
  const int64_t length = static_cast<int64_t>(edit.note.size());
  if (size <= 4) {
    if (edit.swap) reverseUnits(edit.out, entry + 8, size, numberUnit(type));
  } else {
    const int64_t value = readUint32(edit.note, entry + 8, be);
    // Values outside the note were not carried along; their offsets are left as they were.
    const bool inside = value >= edit.oldOffset && value - edit.oldOffset <= length - size;
    int64_t moved = value;
    if (inside) {
      moved = value + edit.delta;
      if (moved < 0 || moved > kMaxOffset) return false;
      if (edit.swap) reverseUnits(edit.out, value - edit.oldOffset, size, numberUnit(type));
    }
    base::putU32(edit.out, entry + 8, static_cast<uint32_t>(moved), be);
  }
  if (edit.swap) {
    reverseUnits(edit.out, entry, 2, 2);
    reverseUnits(edit.out, entry + 2, 2, 2);
    reverseUnits(edit.out, entry + 4, 4, 4);
    if (size > 4) reverseUnits(edit.out, entry + 8, 4, 4);  // an offset, not a value
  }
  return true;
}

}  // namespace

NoteLayout makerNoteLayout(std::string_view make, ByteView note, bool blockBigEndian) {
  if (make.empty() || isAppleMakerNote(note)) return {};
  const std::string lower = base::asciiLower(make);
  for (const HeaderAddressed& vendor : kVendors) {
    if (lower.find(vendor.makeWord) != std::string::npos) {
      return layoutFor(vendor, note, blockBigEndian);
    }
  }
  return {};
}

std::vector<uint8_t> relocateMakerNote(ByteView note, const NoteLayout& layout, int64_t oldOffset,
                                       int64_t newOffset) {
  constexpr int64_t kMaxOffset = std::numeric_limits<uint32_t>::max();
  const std::vector<uint8_t> unchanged(note.begin(), note.end());
  const bool swap = layout.followsBlockOrder && layout.bigEndian;
  if (!layout.addressedFromHeader || oldOffset < 0 || newOffset < 0 || oldOffset > kMaxOffset ||
      newOffset > kMaxOffset || (oldOffset == newOffset && !swap) ||
      !inBounds(note, layout.directory, 2)) {
    return unchanged;
  }
  NoteEdit edit{note, unchanged, layout, oldOffset, newOffset - oldOffset, swap};
  const uint16_t entries = readUint16(note, layout.directory, layout.bigEndian);
  int64_t entry = layout.directory + 2;
  for (int64_t i = 0; i < entries && inBounds(note, entry, kEntrySize); ++i, entry += kEntrySize) {
    if (!editEntry(edit, entry)) return unchanged;
  }
  if (swap) {
    reverseUnits(edit.out, layout.directory, 2, 2);
    if (inBounds(note, entry, 4)) reverseUnits(edit.out, entry, 4, 4);  // the next offset
  }
  return std::move(edit.out);
}

}  // namespace orvel::metadata::makernotes
