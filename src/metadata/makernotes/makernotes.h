// Camera makers' private notes (the EXIF MakerNote entry) decoded into "Vendor:Field" tags.
// Every parser starts from an empty map and returns it unchanged when its header test fails
// or its directory does not fit in the data; a code missing from a field's table adds no tag.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/bytes.h"
#include "metadata/tag_map.h"

namespace orvel::metadata::makernotes {

using base::ByteView;

// Chooses the vendor parser from the Make (case-insensitive substring: canon, nikon, panasonic,
// fuji, pentax, olympus, casio, minolta, sigma, in that order). tiff is the whole byte
// sequence holding the TIFF block, noteOffset the absolute position of the maker note's value
// bytes, base the absolute position of the TIFF header.
TagMap parseMakerNote(std::string_view make, std::string_view model, ByteView tiff,
                      int64_t noteOffset, int64_t base, bool bigEndian);

// Apple notes carry their own header and offsets; they never reach the dispatcher.
bool isAppleMakerNote(ByteView note);
TagMap parseAppleMakerNote(ByteView note);

TagMap parseCanonMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);
TagMap parseNikonMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);
TagMap parsePanasonicMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);
TagMap parseFujiMakerNote(ByteView tiff, int64_t noteOffset);
TagMap parsePentaxMakerNote(std::string_view model, ByteView tiff, int64_t noteOffset,
                            int64_t base, bool bigEndian);
TagMap parseOlympusMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);
TagMap parseCasioMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);
TagMap parseMinoltaMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);
TagMap parseSigmaMakerNote(ByteView tiff, int64_t noteOffset, int64_t base, bool bigEndian);

}  // namespace orvel::metadata::makernotes
