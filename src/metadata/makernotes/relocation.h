// Moving a camera maker note to a new place in a rewritten EXIF block. Most vendors address
// the values of their note's directory from the TIFF header, so when the note moves, every
// value offset inside it must move by the same distance; notes with their own base (Nikon's
// with its TIFF header, Fujifilm, Apple) are self-contained and travel unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace orvel::metadata::makernotes {

using base::ByteView;

struct NoteLayout {
  bool addressedFromHeader = false;  // value offsets count from the TIFF header
  int64_t directory = 0;             // where the note's directory starts inside the note
  bool bigEndian = false;            // the directory's byte order
  bool followsBlockOrder = false;    // read in the block's byte order, not one of its own
  // Blocks the camera stores in one byte order whatever the note's (Minolta's camera
  // settings are big-endian): never turned with the note.
  std::span<const uint16_t> fixedOrderTags;
  // Entries that lead to a directory of their own inside the note (Olympus's equipment and
  // camera-settings directories): an offset to it, or a block that is one. Entries of the TIFF
  // type IFD (13) always do.
  std::span<const uint16_t> directoryTags;
};

// The layout of a note as the vendor decoders read it, chosen by the camera's Make (and the
// note's own signature); unknown vendors and self-contained notes give addressedFromHeader
// false.
NoteLayout makerNoteLayout(std::string_view make, ByteView note, bool blockBigEndian);

// The note as it must stand in a little-endian block at newOffset (counted from the TIFF
// header, as oldOffset is): the value offsets of its directory, and of the directories its
// entries lead to, moved by the distance the note moved, and a note read in the block's byte
// order turned little-endian (directories and the numbers of their values, but not the blocks
// of a fixed byte order). Only values that lay inside the note are moved; a directory that
// does not fit, or a shift that would leave the 32-bit range, gives the bytes unchanged.
std::vector<uint8_t> relocateMakerNote(ByteView note, const NoteLayout& layout, int64_t oldOffset,
                                       int64_t newOffset);

}  // namespace orvel::metadata::makernotes
