// Running a vendor parser over a note placed in a realistic EXIF block, and the robustness
// sweeps every vendor's tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>

#include "base/bytes.h"
#include "metadata/pipeline/read.h"
#include "metadata/tag_map.h"
#include "support/makernote_builder.h"

namespace orvel::testing {

using NoteParser = std::function<metadata::TagMap(base::ByteView tiff, int64_t noteOffset,
                                                  int64_t base, bool bigEndian)>;

// The note placed in an EXIF block that itself sits after a 6-byte "Exif\0\0" prefix, so
// value offsets only resolve when the parser adds the TIFF base.
struct PlacedNote {
  Bytes bytes;
  int64_t noteOffset = 0;
  int64_t base = 0;
  bool bigEndian = false;

  metadata::TagMap parse(const NoteParser& parser) const {
    return parser(bytes, noteOffset, base, bigEndian);
  }
};

// Vendor headers of the notes whose directory follows a fixed header.
inline Bytes pentaxHeader(bool bigEndian) {
  return bigEndian ? Bytes{'A', 'O', 'C', 0, 'M', 'M'} : Bytes{'A', 'O', 'C', 0, 'I', 'I'};
}
inline Bytes olympusHeader() { return {'O', 'L', 'Y', 'M', 'P', 0, 0x01, 0x00}; }
inline Bytes sigmaHeader() { return {'S', 'I', 'G', 'M', 'A', 0, 0, 0, 0x01, 0x00}; }

// The note (header, then the directory with offsets from the TIFF header) as the MakerNote of
// an EXIF block in the given byte order.
inline PlacedNote placeNote(std::string_view make, const Bytes& header, const NoteIfdBuilder& ifd,
                            bool tiffBigEndian, std::string_view model = "Test Model") {
  const NoteInTiff exif = tiffWithMakerNote(
      tiffBigEndian, make, model, [&](uint32_t at) { return noteWithHeader(header, ifd, at); });
  PlacedNote placed;
  placed.bytes = exifPayload(exif.tiff);
  placed.base = static_cast<int64_t>(placed.bytes.size() - exif.tiff.size());
  placed.noteOffset = placed.base + exif.noteOffset;
  placed.bigEndian = tiffBigEndian;
  return placed;
}

// The tags the reading pipeline finds in a JPEG whose Exif directory carries the note.
inline metadata::TagMap readJpegWithNote(std::string_view make, std::string_view model,
                                     const Bytes& header, const NoteIfdBuilder& ifd,
                                     bool tiffBigEndian) {
  const Bytes jpeg = jpegWithMakerNote(
      tiffBigEndian, make, model, [&](uint32_t at) { return noteWithHeader(header, ifd, at); });
  return metadata::pipeline::readMetadataFromBytes(jpeg).tags;
}

inline const std::string& valueOf(const metadata::TagMap& tags, std::string_view name) {
  static const std::string kMissing = "<missing>";
  const std::string* value = tags.find(name);
  return value ? *value : kMissing;
}

// Cutting the data anywhere yields a subset of the full result with the same values.
inline void expectTruncationsAreSubsets(const PlacedNote& placed, const NoteParser& parser) {
  const metadata::TagMap full = placed.parse(parser);
  ASSERT_FALSE(full.empty());
  for (std::size_t length = 0; length <= placed.bytes.size(); ++length) {
    const base::ByteView cut(placed.bytes.data(), length);
    const metadata::TagMap partial = parser(cut, placed.noteOffset, placed.base, placed.bigEndian);
    for (const auto& [name, value] : partial) {
      ASSERT_TRUE(full.contains(name)) << name << " at length " << length;
      EXPECT_EQ(value, valueOf(full, name)) << name << " at length " << length;
    }
  }
}

// Random byte damage anywhere in the note never crashes and only yields prefixed names.
inline void expectDamageIsSurvived(const PlacedNote& placed, const NoteParser& parser,
                                   std::string_view prefix, int rounds = 3000) {
  std::mt19937 random(20261208);
  const auto noteStart = static_cast<std::size_t>(placed.noteOffset);
  ASSERT_LT(noteStart, placed.bytes.size());
  std::uniform_int_distribution<std::size_t> where(noteStart, placed.bytes.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> hits(1, 8);
  for (int round = 0; round < rounds; ++round) {
    Bytes damaged = placed.bytes;
    for (int hit = hits(random); hit > 0; --hit)
      damaged[where(random)] = static_cast<uint8_t>(byte(random));
    const metadata::TagMap tags = parser(damaged, placed.noteOffset, placed.base, placed.bigEndian);
    for (const auto& entry : tags) ASSERT_EQ(entry.first.rfind(prefix, 0), 0u) << entry.first;
  }
}

// Offsets before the data, past it or absurdly large give nothing and never crash.
inline void expectWildOffsetsAreEmpty(const PlacedNote& placed, const NoteParser& parser) {
  const auto size = static_cast<int64_t>(placed.bytes.size());
  for (int64_t offset : {int64_t{-1}, size, size - 1, size + 100, INT64_MAX / 2}) {
    EXPECT_TRUE(parser(placed.bytes, offset, placed.base, placed.bigEndian).empty()) << offset;
  }
}

}  // namespace orvel::testing
