#include "metadata/makernotes/relocation.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
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

// Minolta's camera-settings blocks (0x0001, 0x0003, 0x0004, 0x0018, 0x0020, 0x0114 are
// big-endian, 0x0010 little-endian), and the same two settings blocks in old Olympus notes.
constexpr std::array<uint16_t, 7> kMinoltaFixedOrder = {0x0001, 0x0003, 0x0004, 0x0010,
                                                        0x0018, 0x0020, 0x0114};
constexpr std::array<uint16_t, 2> kOlympusFixedOrder = {0x0001, 0x0003};
// Olympus's equipment, camera-settings, raw-development, image-processing and focus
// directories, and the other sub-directories of the same family.
constexpr std::array<uint16_t, 9> kOlympusDirectories = {0x2010, 0x2020, 0x2030, 0x2031, 0x2040,
                                                         0x2050, 0x3000, 0x4000, 0x5000};

// One vendor whose note holds a directory addressed from the TIFF header: the signature its
// note must begin with (empty: none), where the directory starts, and whether the byte at
// orderAt names the note's byte order ('I' little-endian) instead of the block's.
struct HeaderAddressed {
  std::string_view makeWord;
  std::string_view signature;
  int64_t directory;
  int64_t orderAt;  // -1: the block's byte order
  std::span<const uint16_t> fixedOrderTags;
  std::span<const uint16_t> directoryTags;
};

// Tested in the order the vendor decoders are chosen by Make.
constexpr std::span<const uint16_t> kNone;
constexpr std::array<HeaderAddressed, 9> kVendors = {{
    {"canon", "", 0, -1, kNone, kNone},
    // Only notes without "Nikon\0"; the others carry their own base.
    {"nikon", "", 0, -1, kNone, kNone},
    {"panasonic", "Panasonic", 12, -1, kNone, kNone},
    {"fuji", "", -1, -1, kNone, kNone},  // self-contained
    {"pentax", std::string_view("AOC\0", 4), 6, 4, kNone, kNone},
    {"olympus", std::string_view("OLYMP\0", 6), 8, -1, kOlympusFixedOrder, kOlympusDirectories},
    {"casio", "", 0, -1, kNone, kNone},
    {"minolta", "", 0, -1, kMinoltaFixedOrder, kNone},
    {"sigma", std::string_view("SIGMA\0\0\0", 8), 10, -1, kNone, kNone},
}};

constexpr std::string_view kNikonSignature{"Nikon\0", 6};
constexpr std::string_view kCasioRefused{"QVC\0", 4};
// The TIFF type of an entry whose value is the offset of a directory.
constexpr uint16_t kIfdType = 13;
// Directories leading to directories: deeper ones are left as they are.
constexpr int kDeepestDirectory = 4;

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
  return {true, vendor.directory, bigEndian, vendor.orderAt < 0, vendor.fixedOrderTags,
          vendor.directoryTags};
}

bool listed(std::span<const uint16_t> tags, uint16_t tag) {
  return std::find(tags.begin(), tags.end(), tag) != tags.end();
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
    case ttSRational:
    case kIfdType: return 4;
    case ttDouble: return 8;
    default: return 1;
  }
}

uint32_t elementSizeOf(uint16_t type) {
  if (type == kIfdType) return 4;
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
  std::vector<int64_t> directoriesDone;
};

bool editDirectory(NoteEdit& edit, int64_t directory, int depth);

// Where inside the note an offset counted from the TIFF header points, or -1 outside it.
int64_t insideNote(const NoteEdit& edit, int64_t offset, int64_t size) {
  const int64_t length = static_cast<int64_t>(edit.note.size());
  const bool inside = offset >= edit.oldOffset && offset - edit.oldOffset <= length - size;
  return inside ? offset - edit.oldOffset : -1;
}

// A directory the entry leads to: the one its single offset points at, or (for a listed tag
// holding a block) the block itself; -1 for none.
int64_t ledDirectory(const NoteEdit& edit, uint16_t tag, uint16_t type, uint32_t count,
                     int64_t valueAt, int64_t size) {
  const bool listedTag = listed(edit.layout.directoryTags, tag);
  const bool pointer = (type == kIfdType || (listedTag && type == ttLong)) && count == 1;
  if (pointer) return insideNote(edit, readUint32(edit.note, valueAt, edit.layout.bigEndian), 2);
  if (listedTag && size > 4 && (type == ttUndefined || type == ttByte)) return valueAt;
  return -1;
}

bool putMoved(NoteEdit& edit, int64_t at, int64_t offset) {
  constexpr int64_t kMaxOffset = std::numeric_limits<uint32_t>::max();
  const int64_t moved = offset + edit.delta;
  if (moved < 0 || moved > kMaxOffset) return false;
  base::putU32(edit.out, at, static_cast<uint32_t>(moved), edit.layout.bigEndian);
  return true;
}

// Moves (and turns) one entry and the directory it leads to; false when an offset would leave
// the 32-bit range.
bool editEntry(NoteEdit& edit, int64_t entry, int depth) {
  const bool be = edit.layout.bigEndian;
  const uint16_t tag = readUint16(edit.note, entry, be);
  const uint16_t type = readUint16(edit.note, entry + 2, be);
  const uint32_t count = readUint32(edit.note, entry + 4, be);
  const int64_t size = int64_t{elementSizeOf(type)} * count;
  const bool turn = edit.swap && !listed(edit.layout.fixedOrderTags, tag);
  const bool inEntry = size <= 4;
  int64_t valueAt = entry + 8;  // where the value lies inside the note, -1 outside it
  if (!inEntry) {
    const int64_t offset = readUint32(edit.note, entry + 8, be);
    // Values outside the note were not carried along; their offsets are left as they were.
    valueAt = insideNote(edit, offset, size);
    if (valueAt >= 0 && !putMoved(edit, entry + 8, offset)) return false;
  }
  const int64_t led = valueAt < 0 ? -1 : ledDirectory(edit, tag, type, count, valueAt, size);
  if (led >= 0 && !editDirectory(edit, led, depth + 1)) return false;
  const bool pointer = inEntry && led >= 0;
  if (pointer && !putMoved(edit, entry + 8, readUint32(edit.note, entry + 8, be))) return false;
  if (edit.swap) {
    reverseUnits(edit.out, entry, 2, 2);
    reverseUnits(edit.out, entry + 2, 2, 2);
    reverseUnits(edit.out, entry + 4, 4, 4);
    if (!inEntry || pointer) reverseUnits(edit.out, entry + 8, 4, 4);  // an offset
  }
  // The numbers of the value, unless it is of a fixed order or a directory turned above.
  const bool directoryBlock = !inEntry && led == valueAt;
  if (turn && valueAt >= 0 && !pointer && !directoryBlock) {
    reverseUnits(edit.out, valueAt, size, numberUnit(type));
  }
  return true;
}

bool editDirectory(NoteEdit& edit, int64_t directory, int depth) {
  if (depth > kDeepestDirectory || !inBounds(edit.note, directory, 2)) return true;
  auto& done = edit.directoriesDone;
  if (std::find(done.begin(), done.end(), directory) != done.end()) return true;
  done.push_back(directory);
  const uint16_t entries = readUint16(edit.note, directory, edit.layout.bigEndian);
  int64_t entry = directory + 2;
  for (int64_t i = 0; i < entries && inBounds(edit.note, entry, kEntrySize);
       ++i, entry += kEntrySize) {
    if (!editEntry(edit, entry, depth)) return false;
  }
  if (edit.swap) {
    reverseUnits(edit.out, directory, 2, 2);
    if (inBounds(edit.note, entry, 4)) reverseUnits(edit.out, entry, 4, 4);  // the next offset
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
  NoteEdit edit{note, unchanged, layout, oldOffset, newOffset - oldOffset, swap, {}};
  if (!editDirectory(edit, layout.directory, 0)) return unchanged;
  return std::move(edit.out);
}

}  // namespace orvel::metadata::makernotes
