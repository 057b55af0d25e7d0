// Olympus notes: the "OLYMP" header, special mode, zoom and lens texts.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_parse_util.h"

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

constexpr uint16_t kUndefined = 7;

const NoteParser kOlympus = [](ByteView tiff, int64_t offset, int64_t base, bool bigEndian) {
  return parseOlympusMakerNote(tiff, offset, base, bigEndian);
};

NoteIfdBuilder fullNote(bool bigEndian) {
  NoteIfdBuilder note(bigEndian);
  Bytes cameraId = bytesOf("OLYMPUS DIGITAL CAMERA");
  cameraId.resize(32, 0);
  note.longs(0x0200, {3, 1, 2})
      .shorts(0x0201, {3})
      .shorts(0x0202, {2})
      .shorts(0x0203, {0})
      .rationals(0x0204, {{3, 2}})
      .rationals(0x0205, {{649, 30}})
      .sshorts(0x0206, {0, -5, 12})
      .ascii(0x0207, "SR951")
      .ascii(0x0208, "[picture info]\r\nResolution=1\r\n[camera info]\r\nType=SR951")
      .bytes(0x0209, kUndefined, cameraId);
  return note;
}

TagMap parseSingle(const NoteIfdBuilder& note) {
  return placeNote("OLYMPUS OPTICAL CO.,LTD", olympusHeader(), note, true).parse(kOlympus);
}

}  // namespace

TEST(OlympusNote, DecodesEveryFieldInBothByteOrders) {
  for (bool bigEndian : {true, false}) {
    SCOPED_TRACE(bigEndian);
    const TagMap tags =
        placeNote("OLYMPUS OPTICAL CO.,LTD", olympusHeader(), fullNote(bigEndian), bigEndian)
            .parse(kOlympus);
    EXPECT_EQ(valueOf(tags, "Olympus:SpecialMode"),
              "Panorama, Sequence: 1, Panorama: Right to left");
    EXPECT_EQ(valueOf(tags, "Olympus:Quality"), "SHQ (Fine)");
    EXPECT_EQ(valueOf(tags, "Olympus:Macro"), "Super Macro");
    EXPECT_EQ(valueOf(tags, "Olympus:BWMode"), "Off");
    EXPECT_EQ(valueOf(tags, "Olympus:DigitalZoom"), "1.5");
    EXPECT_EQ(valueOf(tags, "Olympus:FocalPlaneDiagonal"), "21.633333 mm");
    EXPECT_EQ(valueOf(tags, "Olympus:LensDistortionParams"), "0 -5 12");
    EXPECT_EQ(valueOf(tags, "Olympus:CameraType"), "C2000Z");
    EXPECT_EQ(valueOf(tags, "Olympus:Resolution"), "1");
    EXPECT_EQ(valueOf(tags, "Olympus:CameraID"), "OLYMPUS DIGITAL CAMERA");
    EXPECT_EQ(tags.size(), 10u);
  }
}

TEST(OlympusNote, FieldsThatDecodeToNothing) {
  NoteIfdBuilder note(true);
  note.longs(0x0200, {7, 1, 2})  // no such mode
      .shorts(0x0201, {5})
      .shorts(0x0202, {3})
      .shorts(0x0203, {2})
      .rationals(0x0204, {{3, 0}})  // zero denominator
      .rationals(0x0205, {{0, 1}})
      .ascii(0x0206, "n/a")
      .ascii(0x0207, "D4029")
      .ascii(0x0208, "Resolution=high")
      .ascii(0x0209, "  ");
  EXPECT_TRUE(parseSingle(note).empty());

  NoteIfdBuilder shortMode(true);
  shortMode
      .longs(0x0200, {3, 1})  // only two parts
      .longs(0x0204, {2})     // 4 raw bytes: no room for a denominator
      .ascii(0x0208, "[picture info]");
  EXPECT_TRUE(parseSingle(shortMode).empty());
}

TEST(OlympusNote, SpecialModeAndLensTexts) {
  NoteIfdBuilder note(false);
  note.longs(0x0200, {0, 4, 0})
      .ascii(0x0206, " -3 1 ")
      .rationals(0x0204, {{10, 4}})
      .ascii(0x0208, "Resolution=2048x1536");
  const TagMap tags = placeNote("OLYMPUS", olympusHeader(), note, false).parse(kOlympus);
  EXPECT_EQ(valueOf(tags, "Olympus:SpecialMode"), "Normal, Sequence: 4, Panorama: (none)");
  EXPECT_EQ(valueOf(tags, "Olympus:LensDistortionParams"), "-3 1");
  EXPECT_EQ(valueOf(tags, "Olympus:DigitalZoom"), "2.5");
  EXPECT_EQ(valueOf(tags, "Olympus:Resolution"), "2048");
}

// A diagonal that is a whole number of millimetres renders without a slash; it is still a
// length and keeps its tag.
TEST(OlympusNote, WholeNumberDiagonalKeepsItsTag) {
  NoteIfdBuilder note(true);
  note.rationals(0x0205, {{86, 2}});
  EXPECT_EQ(valueOf(parseSingle(note), "Olympus:FocalPlaneDiagonal"), "43 mm");
  NoteIfdBuilder zero(true);
  zero.rationals(0x0205, {{0, 7}});  // renders as 0: no diagonal at all
  EXPECT_TRUE(parseSingle(zero).empty());
}

TEST(OlympusNote, RefusesOtherHeaders) {
  NoteIfdBuilder note(true);
  note.shorts(0x0201, {3});
  // The later "OLYMPUS\0II" layout and a bare directory are not this note.
  for (const Bytes& header : {Bytes{'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, 'I', 'I', 3, 0},
                              Bytes{'O', 'L', 'Y', 'M', 'P', 0x20, 1, 0}, Bytes{}}) {
    EXPECT_TRUE(placeNote("OLYMPUS", header, note, true).parse(kOlympus).empty());
  }
  EXPECT_EQ(
      valueOf(placeNote("OLYMPUS", olympusHeader(), note, true).parse(kOlympus), "Olympus:Quality"),
      "SHQ (Fine)");
}

TEST(OlympusNote, MalformedNotesNeverCrash) {
  const PlacedNote placed = placeNote("OLYMPUS", olympusHeader(), fullNote(false), false);
  expectWildOffsetsAreEmpty(placed, kOlympus);
  expectTruncationsAreSubsets(placed, kOlympus);
  expectDamageIsSurvived(placed, kOlympus, "Olympus:");

  NoteIfdBuilder note(true);
  note.shorts(0x0201, {1}).rawOffset(0x0205, 5, 1, 0xFFFFFFF0).claimedCount(300);
  const TagMap tags = parseSingle(note);
  EXPECT_EQ(valueOf(tags, "Olympus:Quality"), "SQ (Low)");
  EXPECT_FALSE(tags.contains("Olympus:FocalPlaneDiagonal"));
}

TEST(OlympusNote, ReadFromAJpeg) {
  for (bool bigEndian : {false, true}) {
    const TagMap tags = readJpegWithNote("OLYMPUS OPTICAL CO.,LTD", "C2000Z", olympusHeader(),
                                         fullNote(bigEndian), bigEndian);
    EXPECT_EQ(valueOf(tags, "Olympus:SpecialMode"),
              "Panorama, Sequence: 1, Panorama: Right to left");
    EXPECT_EQ(valueOf(tags, "Olympus:FocalPlaneDiagonal"), "21.633333 mm");
    EXPECT_EQ(valueOf(tags, "Olympus:CameraID"), "OLYMPUS DIGITAL CAMERA");
  }
}
