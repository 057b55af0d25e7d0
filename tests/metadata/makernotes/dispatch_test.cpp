// The choice of decoder by Make: case-insensitive substrings in a fixed order.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_reading.h"

using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

// One bare directory that every headerless decoder can read: Canon's tag 12 and Nikon's tag 4.
NoteInTiff bareNote(std::string_view make) {
  NoteIfdBuilder ifd(false);
  ifd.ascii(4, "FINE").longs(12, {1234});
  return tiffWithMakerNote(false, make, "", [&](uint32_t at) { return canonNote(ifd, at); });
}

TagMap dispatch(std::string_view make, const NoteInTiff& file) {
  return parseMakerNote(make, "", file.tiff, file.noteOffset, 0, false);
}

}  // namespace

TEST(MakerNoteDispatch, MakeChoosesTheDecoder) {
  for (std::string_view make : {"Canon", "CANON", "canon inc."}) {
    const TagMap tags = dispatch(make, bareNote(make));
    EXPECT_EQ(tagOr(tags, "Canon:SerialNumber"), "0000001234") << make;
    EXPECT_EQ(tags.size(), 1u);
  }
  for (std::string_view make : {"NIKON CORPORATION", "Nikon Corporation", "nikon"}) {
    const TagMap tags = dispatch(make, bareNote(make));
    EXPECT_EQ(tagOr(tags, "Nikon:Quality"), "Fine") << make;
    EXPECT_EQ(tags.size(), 1u);
  }
}

TEST(MakerNoteDispatch, UnknownOrEmptyMakeGivesNothing) {
  for (std::string_view make : {"", "Leica", "SONY", "Apple", "Kodak"}) {
    EXPECT_TRUE(dispatch(make, bareNote("x")).empty()) << make;
  }
}

TEST(MakerNoteDispatch, FirstSubstringInOrderWins) {
  // "canon" is tested before "nikon", whatever the order inside the Make.
  const NoteInTiff file = bareNote("x");
  EXPECT_EQ(dispatch("Nikon for Canon", file).size(), 1u);
  EXPECT_TRUE(dispatch("Nikon for Canon", file).contains("Canon:SerialNumber"));
}

TEST(MakerNoteDispatch, FujifilmAndPanasonicByTheirMakes) {
  NoteIfdBuilder fuji(false);
  fuji.shorts(0x1020, {1});
  NoteInTiff file = tiffWithMakerNote(true, "FUJIFILM", "", [&](uint32_t) { return fujiNote(fuji); });
  EXPECT_EQ(tagOr(parseMakerNote("FUJIFILM", "", file.tiff, file.noteOffset, 0, true),
                  "FujiFilm:Macro"),
            "On");

  NoteIfdBuilder pana(true);
  pana.shorts(0x20, {3});
  file = tiffWithMakerNote(true, "Panasonic", "DMC-GH1",
                           [&](uint32_t at) { return panasonicNote(pana, at); });
  EXPECT_EQ(tagOr(parseMakerNote("Panasonic", "", file.tiff, file.noteOffset, 0, true),
                  "Panasonic:Audio"),
            "Stereo");
}

TEST(MakerNoteDispatch, ArbitraryNoteBytesNeverCrashAnyDecoder) {
  // Deterministic pseudo-random notes under every Make, at many offsets of a small buffer;
  // a read outside the buffer shows under the sanitizer build.
  const std::string_view makes[] = {"Canon", "Nikon", "Panasonic", "FUJIFILM", "PENTAX",
                                    "OLYMPUS", "CASIO", "Minolta", "SIGMA"};
  uint32_t state = 12345;
  Bytes data(160);
  for (int round = 0; round < 40; ++round) {
    for (uint8_t& b : data) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(state >> 24);
    }
    for (std::string_view make : makes) {
      for (int64_t at = -2; at <= static_cast<int64_t>(data.size()) + 2; at += 7) {
        (void)parseMakerNote(make, "K10D", data, at, at % 3, (round & 1) != 0);
      }
    }
    (void)parseAppleMakerNote(data);
  }
}
