// Writing an editable record as a self-contained TIFF block: little-endian, IFD0, then the
// Exif and GPS directories when they hold tags, then one data area whose values start on even
// offsets. The record is not changed.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "metadata/edit/edit.h"

namespace orvel::metadata::edit {

// The whole block. Throws std::range_error for a signed value outside its 32- or 16-bit type
// and std::overflow_error for a block beyond 32-bit offsets.
std::vector<uint8_t> serialize(const ExifEdit& edit);

struct EncodedValue {
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> bytes;
};

// One value's type code, count and little-endian bytes; bigEndian says in which order FLOAT
// and DOUBLE bytes were read.
EncodedValue encode(const ExifValue& value, bool bigEndian);

// Size of a directory of n entries: count, entries, next offset.
constexpr int64_t ifdSize(int64_t n) { return 12 * n + 6; }

// The state of one serialisation: where the data area starts and what it holds so far.
struct BlockWriter {
  bool bigEndian = false;
  int64_t dataStart = 0;
  std::vector<uint8_t> data;
  const makernotes::NoteLayout* makerNote = nullptr;  // set while the Exif directory is emitted
};

// One directory (entries in ascending tag order, next offset 0); long values go to the data
// area, each starting on an even offset.
std::vector<uint8_t> emitIfd(const TagValues& tags, BlockWriter& writer);

}  // namespace orvel::metadata::edit
