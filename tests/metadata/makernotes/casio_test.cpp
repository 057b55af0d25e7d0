// Casio notes: a bare directory; the "QVC" layout is refused.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_parse_util.h"

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

const NoteParser kCasio = [](ByteView tiff, int64_t offset, int64_t base, bool bigEndian) {
  return parseCasioMakerNote(tiff, offset, base, bigEndian);
};

NoteIfdBuilder fullNote(bool bigEndian) {
  NoteIfdBuilder note(bigEndian);
  note.shorts(1, {1})
      .shorts(2, {3})
      .shorts(3, {7})
      .shorts(4, {4})
      .shorts(5, {13})
      .longs(6, {1500})
      .shorts(7, {129})
      .longs(10, {0x10000})
      .shorts(11, {2})
      .shorts(12, {1})
      .shorts(13, {0})
      .longs(20, {123});  // not a decoded field
  return note;
}

TagMap parseSingle(const NoteIfdBuilder& note, bool tiffBigEndian = true) {
  return placeNote("CASIO COMPUTER CO.,LTD", {}, note, tiffBigEndian).parse(kCasio);
}

}  // namespace

TEST(CasioNote, DecodesEveryFieldInBothByteOrders) {
  for (bool bigEndian : {true, false}) {
    SCOPED_TRACE(bigEndian);
    const TagMap tags = parseSingle(fullNote(bigEndian), bigEndian);
    EXPECT_EQ(valueOf(tags, "Casio:RecordingMode"), "Single Shutter");
    EXPECT_EQ(valueOf(tags, "Casio:Quality"), "Fine");
    EXPECT_EQ(valueOf(tags, "Casio:FocusMode"), "Sport AF");
    EXPECT_EQ(valueOf(tags, "Casio:FlashMode"), "Red-eye Reduction");
    EXPECT_EQ(valueOf(tags, "Casio:FlashIntensity"), "Normal");
    EXPECT_EQ(valueOf(tags, "Casio:ObjectDistance"), "1.5 m");
    EXPECT_EQ(valueOf(tags, "Casio:WhiteBalance"), "Manual");
    EXPECT_EQ(valueOf(tags, "Casio:DigitalZoom"), "Off");
    EXPECT_EQ(valueOf(tags, "Casio:Sharpness"), "Hard");
    EXPECT_EQ(valueOf(tags, "Casio:Contrast"), "Low");
    EXPECT_EQ(valueOf(tags, "Casio:Saturation"), "Normal");
    EXPECT_EQ(tags.size(), 11u);
  }
}

TEST(CasioNote, DistancesAndUnknownCodes) {
  const auto distance = [](uint32_t millimetres) {
    NoteIfdBuilder note(true);
    note.longs(6, {millimetres});
    return valueOf(parseSingle(note), "Casio:ObjectDistance");
  };
  EXPECT_EQ(distance(1234), "1.234 m");
  EXPECT_EQ(distance(2000), "2 m");
  EXPECT_EQ(distance(0), "0 m");
  EXPECT_EQ(distance(7), "0.007 m");

  NoteIfdBuilder note(true);
  note.shorts(1, {6})
      .shorts(3, {1})
      .shorts(5, {12})
      .shorts(7, {6})
      .longs(10, {0x20000})
      .shorts(11, {3})
      .ascii(6, "far");  // not a number
  EXPECT_TRUE(parseSingle(note).empty());
}

TEST(CasioNote, RefusesTheQvcLayout) {
  // The same directory after "QVC\0" and a version word yields nothing at all.
  const Bytes qvc = {'Q', 'V', 'C', 0, 0, 0};
  EXPECT_TRUE(placeNote("CASIO", qvc, fullNote(true), true).parse(kCasio).empty());
  // Without that header the directory starts at the note's first byte.
  NoteIfdBuilder note(true);
  note.shorts(2, {2});
  EXPECT_EQ(valueOf(parseSingle(note), "Casio:Quality"), "Normal");
}

TEST(CasioNote, MalformedNotesNeverCrash) {
  const PlacedNote placed = placeNote("CASIO", {}, fullNote(false), false);
  expectWildOffsetsAreEmpty(placed, kCasio);
  expectTruncationsAreSubsets(placed, kCasio);
  expectDamageIsSurvived(placed, kCasio, "Casio:");

  NoteIfdBuilder note(true);
  note.shorts(2, {1}).rawOffset(6, 4, 3, 0xFFFFFFF8).claimedCount(0xFFFF);
  const TagMap tags = parseSingle(note);
  EXPECT_EQ(valueOf(tags, "Casio:Quality"), "Economy");
  EXPECT_FALSE(tags.contains("Casio:ObjectDistance"));
}

TEST(CasioNote, ReadFromAJpeg) {
  for (bool bigEndian : {false, true}) {
    const TagMap tags =
        readJpegWithNote("CASIO COMPUTER CO.,LTD", "QV-3000EX", {}, fullNote(bigEndian), bigEndian);
    EXPECT_EQ(valueOf(tags, "Casio:ObjectDistance"), "1.5 m");
    EXPECT_EQ(valueOf(tags, "Casio:WhiteBalance"), "Manual");
  }
  const TagMap refused = readJpegWithNote("CASIO COMPUTER CO.,LTD", "EX-Z750",
                                          {'Q', 'V', 'C', 0, 0, 0}, fullNote(true), true);
  EXPECT_EQ(valueOf(refused, "Model"), "EX-Z750");
  EXPECT_FALSE(refused.contains("Casio:Quality"));
}
