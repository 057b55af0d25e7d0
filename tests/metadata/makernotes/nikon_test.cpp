// Nikon notes in their three layouts: with an embedded TIFF header (offsets and byte order of
// their own), with the bare "Nikon" signature, and as a bare directory.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_reading.h"

using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

NoteIfdBuilder d300Note(bool bigEndian) {
  NoteIfdBuilder ifd(bigEndian);
  ifd.bytes(1, 7, {'0', '2', '1', '0'})        // MakerNoteVersion: not listed
      .ascii(3, "COLOR")
      .ascii(4, "FINE  ")
      .ascii(5, "AUTO        ")
      .ascii(6, "")
      .ascii(7, "AF-S  ")
      .ascii(15, "MANUAL")
      .ascii(128, "Custom 2")
      .ascii(130, "OFF         ")
      .rationals(132, {{18, 1}, {55, 1}, {35, 10}, {56, 10}});
  return ifd;
}

NoteInTiff nikonFile(bool fileBigEndian, std::string_view make, const NoteMaker& makeNote) {
  return tiffWithMakerNote(fileBigEndian, make, "NIKON D300", makeNote);
}

void expectD300Tags(const TagMap& tags) {
  EXPECT_EQ(tagOr(tags, "Nikon:ColorMode"), "Color");
  EXPECT_EQ(tagOr(tags, "Nikon:Quality"), "Fine");
  EXPECT_EQ(tagOr(tags, "Nikon:WhiteBalance"), "Auto");
  EXPECT_EQ(tagOr(tags, "Nikon:FocusMode"), "AF-S");  // not only letters: kept as is
  EXPECT_EQ(tagOr(tags, "Nikon:ISOSelection"), "Manual");
  EXPECT_EQ(tagOr(tags, "Nikon:ImageAdjustment"), "Custom 2");
  EXPECT_EQ(tagOr(tags, "Nikon:AuxiliaryLens"), "Off");
  EXPECT_EQ(tagOr(tags, "Nikon:Lens"), "18 55 7/2 28/5");
  EXPECT_FALSE(tags.contains("Nikon:Sharpness"));  // empty text
  EXPECT_EQ(countWithPrefix(tags, "Nikon:"), 8u);
}

}  // namespace

TEST(NikonNote, EmbeddedHeaderSetsByteOrderAndBase) {
  // Every combination of file and note byte order: the note's own header wins.
  for (bool fileBe : {false, true}) {
    for (bool noteBe : {false, true}) {
      SCOPED_TRACE(testing::Message() << "file " << fileBe << " note " << noteBe);
      const NoteIfdBuilder ifd = d300Note(noteBe);
      const NoteInTiff file =
          nikonFile(fileBe, "NIKON CORPORATION", [&](uint32_t) { return nikonNote(ifd); });
      expectD300Tags(parseNikonMakerNote(file.tiff, file.noteOffset, 0, fileBe));
    }
  }
}

TEST(NikonNote, BareDirectoryUsesTheFileOrderAndBase) {
  // Coolpix-era notes: no signature, a directory like the file's own.
  const NoteIfdBuilder ifd = d300Note(true);
  const NoteInTiff file = nikonFile(true, "Nikon Corporation",
                                    [&](uint32_t at) { return canonNote(ifd, at); });
  expectD300Tags(parseNikonMakerNote(file.tiff, file.noteOffset, 0, true));
}

TEST(NikonNote, SignatureWithoutTiffHeaderCountsFromTheNote) {
  const NoteIfdBuilder ifd = d300Note(false);
  const NoteInTiff file = nikonFile(false, "NIKON", [&](uint32_t) { return nikonPlainNote(ifd); });
  expectD300Tags(parseNikonMakerNote(file.tiff, file.noteOffset, 0, false));
}

TEST(NikonNote, ShortSignatureOnlyNoteIsSafe) {
  // "Nikon\0" and a few bytes, at the very end of the data: nothing to read, no crash.
  for (int extra = 0; extra <= 8; ++extra) {
    Bytes data = {'N', 'i', 'k', 'o', 'n', 0};
    data.insert(data.end(), static_cast<std::size_t>(extra), 'M');
    const TagMap tags = parseNikonMakerNote(data, 0, 0, false);
    EXPECT_TRUE(tags.empty()) << extra;
  }
}

TEST(NikonNote, MalformedNotesAddNothingOrWhatWasRead) {
  EXPECT_TRUE(parseNikonMakerNote(Bytes{0x01}, 0, 0, false).empty());
  EXPECT_TRUE(parseNikonMakerNote(Bytes{0x01, 0x00}, 5, 0, false).empty());

  // The embedded header names a directory far away.
  Bytes farAway = bytesOf(std::string_view("Nikon\0\x02\x10\0\0MM\0\x2A\x7F\xFF\xFF\xF0", 18));
  EXPECT_TRUE(parseNikonMakerNote(farAway, 0, 0, false).empty());

  // A count of 300 with the note cut after its third entry: those three are kept.
  NoteIfdBuilder inlineOnly(false);
  inlineOnly.ascii(4, "STD").ascii(5, "SUN").ascii(7, "A-S").ascii(15, "ON").claimedCount(300);
  const Bytes inlineNote = nikonNote(inlineOnly);
  const Bytes inlineCut(inlineNote.begin(), inlineNote.begin() + 18 + 2 + 12 * 3);
  const TagMap three = parseNikonMakerNote(inlineCut, 0, 0, false);
  EXPECT_EQ(three.size(), 3u);
  EXPECT_EQ(tagOr(three, "Nikon:Quality"), "Std");
  EXPECT_EQ(tagOr(three, "Nikon:FocusMode"), "A-S");
  EXPECT_FALSE(three.contains("Nikon:ISOSelection"));
}

TEST(NikonNote, ReadFromAJpeg) {
  const NoteIfdBuilder ifd = d300Note(true);
  const Bytes jpeg = jpegWithMakerNote(false, "NIKON CORPORATION", "NIKON D300",
                                       [&](uint32_t) { return nikonNote(ifd); });
  expectD300Tags(readJpeg(jpeg).tags);
  // The same note under a Make no decoder knows adds nothing.
  const Bytes unknown = jpegWithMakerNote(false, "Leica Camera AG", "M10",
                                          [&](uint32_t) { return nikonNote(ifd); });
  EXPECT_EQ(countWithPrefix(readJpeg(unknown).tags, "Nikon:"), 0u);
}
