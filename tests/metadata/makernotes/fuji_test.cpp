// Fujifilm notes: "FUJIFILM" and a directory offset, always little-endian, offsets counted
// from the note itself.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_reading.h"

using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

NoteIfdBuilder finePixNote() {
  NoteIfdBuilder ifd(false);
  ifd.bytes(0x0000, 7, bytesOf("0130"))
      .ascii(0x1000, "NORMAL ")
      .shorts(0x1001, {3})             // Sharpness: not decoded
      .shorts(0x1002, {256})
      .shorts(0x1010, {3})
      .shorts(0x1020, {1})
      .shorts(0x1021, {0})
      .shorts(0x1030, {0})
      .shorts(0x1031, {256})
      .shorts(0x1100, {2})
      .shorts(0x1300, {1})
      .shorts(0x1301, {0})
      .shorts(0x1302, {1});
  return ifd;
}

NoteInTiff fujiFile(bool bigEndian, const NoteIfdBuilder& ifd, std::string_view make = "FUJIFILM") {
  return tiffWithMakerNote(bigEndian, make, "FinePix S5Pro",
                           [&](uint32_t) { return fujiNote(ifd); });
}

void expectFinePixTags(const TagMap& tags) {
  EXPECT_EQ(tagOr(tags, "FujiFilm:Version"), "0130");
  EXPECT_EQ(tagOr(tags, "FujiFilm:Quality"), "NORMAL");
  EXPECT_EQ(tagOr(tags, "FujiFilm:WhiteBalance"), "Daylight");
  EXPECT_EQ(tagOr(tags, "FujiFilm:FujiFlashMode"), "Red-eye reduction");
  EXPECT_EQ(tagOr(tags, "FujiFilm:Macro"), "On");
  EXPECT_EQ(tagOr(tags, "FujiFilm:FocusMode"), "Auto");
  EXPECT_EQ(tagOr(tags, "FujiFilm:SlowSync"), "Off");
  EXPECT_EQ(tagOr(tags, "FujiFilm:PictureMode"), "Aperture-priority AE");
  EXPECT_EQ(tagOr(tags, "FujiFilm:AutoBracketing"), "No flash & flash");
  EXPECT_EQ(tagOr(tags, "FujiFilm:BlurWarning"), "Blur Warning");
  EXPECT_EQ(tagOr(tags, "FujiFilm:FocusWarning"), "Good");
  EXPECT_EQ(tagOr(tags, "FujiFilm:ExposureWarning"), "Bad exposure");
  EXPECT_EQ(countWithPrefix(tags, "FujiFilm:"), 12u);
}

}  // namespace

TEST(FujiNote, LittleEndianWhateverTheFileUses) {
  for (bool be : {false, true}) {
    SCOPED_TRACE(be ? "big-endian file" : "little-endian file");
    const NoteInTiff file = fujiFile(be, finePixNote());
    expectFinePixTags(parseFujiMakerNote(file.tiff, file.noteOffset));
  }
}

TEST(FujiNote, OffsetsCountFromTheNote) {
  // The note alone, outside any TIFF block, reads the same.
  const Bytes note = fujiNote(finePixNote());
  expectFinePixTags(parseFujiMakerNote(note, 0));
  Bytes shifted(37, 0);
  shifted.insert(shifted.end(), note.begin(), note.end());
  expectFinePixTags(parseFujiMakerNote(shifted, 37));
}

TEST(FujiNote, CodesMissingFromTablesAddNothing) {
  NoteIfdBuilder ifd(false);
  ifd.shorts(0x1002, {1}).shorts(0x1010, {16}).shorts(0x1031, {3}).shorts(0x1300, {2});
  const NoteInTiff file = fujiFile(false, ifd);
  EXPECT_TRUE(parseFujiMakerNote(file.tiff, file.noteOffset).empty());
}

TEST(FujiNote, MalformedNotesAddNothingOrWhatWasRead) {
  const Bytes note = fujiNote(finePixNote());
  Bytes wrong = note;
  wrong[4] = 'f';
  EXPECT_TRUE(parseFujiMakerNote(wrong, 0).empty());
  EXPECT_TRUE(parseFujiMakerNote(Bytes(note.begin(), note.begin() + 11), 0).empty());
  EXPECT_TRUE(parseFujiMakerNote(note, -3).empty());
  EXPECT_TRUE(parseFujiMakerNote(note, static_cast<int64_t>(note.size())).empty());

  Bytes farDirectory = note;
  farDirectory[8] = 0xF0;
  farDirectory[11] = 0xFF;  // offset 0xFF0000F0
  EXPECT_TRUE(parseFujiMakerNote(farDirectory, 0).empty());

  // Cut inside the fifth entry: Version (inline), Quality (out of line, lost), Sharpness
  // and WhiteBalance were read.
  const Bytes cut(note.begin(), note.begin() + 12 + 2 + 12 * 4 + 5);
  const TagMap tags = parseFujiMakerNote(cut, 0);
  EXPECT_EQ(tags.size(), 2u);
  EXPECT_EQ(tagOr(tags, "FujiFilm:Version"), "0130");
  EXPECT_EQ(tagOr(tags, "FujiFilm:WhiteBalance"), "Daylight");
}

TEST(FujiNote, ReadFromAJpeg) {
  const NoteIfdBuilder ifd = finePixNote();
  const Bytes jpeg = jpegWithMakerNote(true, "FUJIFILM", "FinePix S5Pro",
                                       [&](uint32_t) { return fujiNote(ifd); });
  const Metadata meta = readJpeg(jpeg);
  expectFinePixTags(meta.tags);
  EXPECT_EQ(tagOr(meta.tags, "Make"), "FUJIFILM");
}
