// Minolta notes: a bare directory whose camera settings are an array of 32-bit fields.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_parse_util.h"

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

constexpr uint16_t kUndefined = 7;

const NoteParser kMinolta = [](ByteView tiff, int64_t offset, int64_t base, bool bigEndian) {
  return parseMinoltaMakerNote(tiff, offset, base, bigEndian);
};

// Camera settings of a DiMAGE A1, element by element (byte offset ÷ 4).
std::vector<uint32_t> settings() {
  std::vector<uint32_t> v(51, 0);
  v[2] = 1;            // flash: red-eye reduction
  v[3] = 7;            // fluorescent
  v[4] = 5;            // 2560x1920
  v[5] = 1;            // super fine
  v[6] = 4;            // bracketing
  v[11] = 1;           // macro on
  v[12] = 2;           // 2x zoom
  v[20] = 1;           // flash fired
  v[21] = 0x07D50A1F;  // 2005:10:31
  v[22] = 0x000E1E05;  // 14:30:05
  v[26] = 0;           // file number memory off
  v[34] = 3;           // night portrait
  v[37] = 6;           // DiMAGE A1
  v[38] = 1;           // time-lapse
  v[39] = 0;           // standard form
  v[40] = 4;           // Adobe RGB
  v[43] = 1;           // internal flash fired
  v[47] = 3;           // left zone
  v[48] = 1;           // MF
  v[49] = 1;           // spot focus
  v[50] = 2;           // saturation
  return v;
}

// The camera writes its settings big-endian, whatever the note's byte order.
Bytes encoded(const std::vector<uint32_t>& values) {
  Bytes out;
  for (uint32_t value : values) appendBE32(out, value);
  return out;
}

NoteIfdBuilder fullNote(bool bigEndian) {
  NoteIfdBuilder note(bigEndian);
  note.bytes(0x0000, kUndefined, bytesOf("MLT0"))
      .bytes(0x0003, kUndefined, encoded(settings()))
      .longs(0x0040, {1234567})
      .longs(0x0089, {25000});
  return note;
}

TagMap parseSingle(const NoteIfdBuilder& note) {
  return placeNote("Minolta Co., Ltd.", {}, note, note.bigEndian()).parse(kMinolta);
}

}  // namespace

TEST(MinoltaNote, DecodesEveryFieldInBothByteOrders) {
  for (bool bigEndian : {true, false}) {
    SCOPED_TRACE(bigEndian);
    const TagMap tags = parseSingle(fullNote(bigEndian));
    EXPECT_EQ(valueOf(tags, "Minolta:MakerNoteVersion"), "MLT0");
    EXPECT_EQ(valueOf(tags, "Minolta:CompressedImageSize"), "1234567");
    EXPECT_EQ(valueOf(tags, "Minolta:PreviewImageLength"), "25000");
    EXPECT_EQ(valueOf(tags, "Minolta:FlashMode"), "Red-eye reduction");
    EXPECT_EQ(valueOf(tags, "Minolta:WhiteBalance"), "Fluorescent");
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaImageSize"), "2560x1920");
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaQuality"), "Super Fine");
    EXPECT_EQ(valueOf(tags, "Minolta:DriveMode"), "Bracketing");
    EXPECT_EQ(valueOf(tags, "Minolta:MacroMode"), "On");
    EXPECT_EQ(valueOf(tags, "Minolta:DigitalZoom"), "2x");
    EXPECT_EQ(valueOf(tags, "Minolta:FlashFired"), "Yes");
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaDate"), "2005:10:31");
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaTime"), "14:30:05");
    EXPECT_EQ(valueOf(tags, "Minolta:FileNumberMemory"), "Off");
    EXPECT_EQ(valueOf(tags, "Minolta:SubjectProgram"), "Night portrait");
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaModelID"), "DiMAGE A1");
    EXPECT_EQ(valueOf(tags, "Minolta:IntervalMode"), "Time-lapse Movie");
    EXPECT_EQ(valueOf(tags, "Minolta:FolderName"), "Standard Form");
    EXPECT_EQ(valueOf(tags, "Minolta:ColorMode"), "Adobe RGB");
    EXPECT_EQ(valueOf(tags, "Minolta:InternalFlash"), "Fired");
    EXPECT_EQ(valueOf(tags, "Minolta:WideFocusZone"), "Left zone");
    EXPECT_EQ(valueOf(tags, "Minolta:FocusMode"), "MF");
    EXPECT_EQ(valueOf(tags, "Minolta:FocusArea"), "Spot Focus");
    EXPECT_EQ(valueOf(tags, "Minolta:DECPosition"), "Saturation");
    EXPECT_EQ(tags.size(), 24u);
  }
}

TEST(MinoltaNote, AShortArrayStopsAtItsLastWholeElement) {
  std::vector<uint32_t> values = settings();
  values.resize(21);  // 84 bytes: FlashFired (80..83) fits, the date (84..87) does not
  NoteIfdBuilder note(true);
  note.bytes(0x0003, kUndefined, encoded(values));
  const TagMap tags = parseSingle(note);
  EXPECT_EQ(valueOf(tags, "Minolta:FlashFired"), "Yes");
  EXPECT_FALSE(tags.contains("Minolta:MinoltaDate"));
  EXPECT_EQ(tags.size(), 8u);

  Bytes ragged = encoded(settings());
  ragged.resize(87);  // the date's last byte is missing
  NoteIfdBuilder raggedNote(true);
  raggedNote.bytes(0x0003, kUndefined, ragged);
  const TagMap raggedTags = parseSingle(raggedNote);
  EXPECT_FALSE(raggedTags.contains("Minolta:MinoltaDate"));
  EXPECT_TRUE(raggedTags.contains("Minolta:FlashFired"));
}

TEST(MinoltaNote, ZeroDatesAndUnknownCodesAddNothing) {
  std::vector<uint32_t> values(51, 99);  // a code no table holds
  values[21] = 0;
  values[22] = 0;
  NoteIfdBuilder note(false);
  note.longs(0x0003, values).ascii(0x0000, " ").longs(0x0041, {5});
  EXPECT_TRUE(parseSingle(note).empty());
}

TEST(MinoltaNote, MalformedNotesNeverCrash) {
  const PlacedNote placed = placeNote("Minolta", {}, fullNote(true), true);
  expectWildOffsetsAreEmpty(placed, kMinolta);
  expectTruncationsAreSubsets(placed, kMinolta);
  expectDamageIsSurvived(placed, kMinolta, "Minolta:");

  NoteIfdBuilder note(true);
  note.longs(0x0040, {77}).rawOffset(0x0003, 4, 51, 0xFFFFFF00).claimedCount(12);
  const TagMap tags = parseSingle(note);
  EXPECT_EQ(valueOf(tags, "Minolta:CompressedImageSize"), "77");
  EXPECT_EQ(tags.size(), 1u);
  // A note offset that leaves fewer than 2 bytes.
  const Bytes one = {0};
  EXPECT_TRUE(parseMinoltaMakerNote(one, 0, 0, true).empty());
}

TEST(MinoltaNote, ReadFromAJpeg) {
  for (bool bigEndian : {false, true}) {
    const TagMap tags =
        readJpegWithNote("Minolta Co., Ltd.", "DiMAGE A1", {}, fullNote(bigEndian), bigEndian);
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaDate"), "2005:10:31");
    EXPECT_EQ(valueOf(tags, "Minolta:MinoltaModelID"), "DiMAGE A1");
    EXPECT_EQ(valueOf(tags, "Minolta:CompressedImageSize"), "1234567");
  }
}
