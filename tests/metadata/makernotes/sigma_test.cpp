// Sigma notes: the "SIGMA" header and text entries, some of them "Name: value".
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_parse_util.h"

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

const NoteParser kSigma = [](ByteView tiff, int64_t offset, int64_t base, bool bigEndian) {
  return parseSigmaMakerNote(tiff, offset, base, bigEndian);
};

NoteIfdBuilder fullNote(bool bigEndian) {
  NoteIfdBuilder note(bigEndian);
  note.ascii(2, "1000123")
      .ascii(3, "SINGLE")
      .ascii(4, "HI")
      .ascii(5, "AF-S")
      .ascii(6, "AF-S")
      .ascii(7, "Auto")
      .ascii(8, "A")
      .ascii(9, "8")
      .ascii(10, "18.0 - 50.0 mm")
      .ascii(11, "sRGB")
      .ascii(12, "Expo:+0.3")
      .ascii(13, "Cont: -1.0")
      .ascii(14, "Shad:+0.0")
      .ascii(15, "High:  0.3 ")
      .ascii(16, "Satu:+1.0")
      .ascii(17, "Shar:0.0")
      .ascii(18, "Fill:+0.2")
      .ascii(19, "ignored")
      .ascii(20, "CC:0,0")
      .ascii(21, "Custom  ")
      .ascii(22, "Qual:12")
      .ascii(23, " 1.0.3 ");
  return note;
}

TagMap parseSingle(const NoteIfdBuilder& note) {
  return placeNote("SIGMA", sigmaHeader(), note, note.bigEndian()).parse(kSigma);
}

}  // namespace

TEST(SigmaNote, DecodesEveryFieldInBothByteOrders) {
  for (bool bigEndian : {true, false}) {
    SCOPED_TRACE(bigEndian);
    const TagMap tags = parseSingle(fullNote(bigEndian));
    EXPECT_EQ(valueOf(tags, "Sigma:SerialNumber"), "1000123");
    EXPECT_EQ(valueOf(tags, "Sigma:DriveMode"), "SINGLE");
    EXPECT_EQ(valueOf(tags, "Sigma:ResolutionMode"), "HI");
    EXPECT_EQ(valueOf(tags, "Sigma:AFMode"), "AF-S");
    EXPECT_EQ(valueOf(tags, "Sigma:FocusSetting"), "AF-S");
    EXPECT_EQ(valueOf(tags, "Sigma:WhiteBalance"), "Auto");
    EXPECT_EQ(valueOf(tags, "Sigma:ExposureMode"), "Aperture Priority");
    EXPECT_EQ(valueOf(tags, "Sigma:MeteringMode"), "Multi-segment");
    EXPECT_EQ(valueOf(tags, "Sigma:LensFocalRange"), "18.0 - 50.0 mm");
    EXPECT_EQ(valueOf(tags, "Sigma:ColorSpace"), "sRGB");
    EXPECT_EQ(valueOf(tags, "Sigma:ExposureCompensation"), "+0.3");
    EXPECT_EQ(valueOf(tags, "Sigma:Contrast"), "-1.0");
    EXPECT_EQ(valueOf(tags, "Sigma:Shadow"), "+0.0");
    EXPECT_EQ(valueOf(tags, "Sigma:Highlight"), "0.3");
    EXPECT_EQ(valueOf(tags, "Sigma:Saturation"), "+1.0");
    EXPECT_EQ(valueOf(tags, "Sigma:Sharpness"), "0.0");
    EXPECT_EQ(valueOf(tags, "Sigma:X3FillLight"), "+0.2");
    EXPECT_EQ(valueOf(tags, "Sigma:ColorAdjustment"), "0,0");
    EXPECT_EQ(valueOf(tags, "Sigma:AdjustmentMode"), "Custom");
    EXPECT_EQ(valueOf(tags, "Sigma:Quality"), "12");
    EXPECT_EQ(valueOf(tags, "Sigma:Firmware"), "1.0.3");
    EXPECT_EQ(tags.size(), 21u);  // tag 19 has no name
  }
}

TEST(SigmaNote, TablesColonsAndEmptyTexts) {
  NoteIfdBuilder note(true);
  note.ascii(8, " M ")
      .ascii(9, "C")
      .ascii(13, "Contrast: +0.3")
      .ascii(16, "1.0")  // no colon: the whole stripped text
      .ascii(2, "   ")
      .ascii(12, "Expo:  ")
      .ascii(22, "");
  const TagMap tags = parseSingle(note);
  EXPECT_EQ(valueOf(tags, "Sigma:ExposureMode"), "Manual");
  EXPECT_EQ(valueOf(tags, "Sigma:MeteringMode"), "Center-weighted average");
  EXPECT_EQ(valueOf(tags, "Sigma:Contrast"), "+0.3");
  EXPECT_EQ(valueOf(tags, "Sigma:Saturation"), "1.0");
  EXPECT_EQ(tags.size(), 4u);

  NoteIfdBuilder unknown(true);
  unknown.ascii(8, "X").ascii(9, "a").ascii(8 + 100, "P");
  EXPECT_TRUE(parseSingle(unknown).empty());
}

TEST(SigmaNote, RefusesOtherHeaders) {
  NoteIfdBuilder note(true);
  note.ascii(7, "Auto");
  for (const Bytes& header : {Bytes{'F', 'O', 'V', 'E', 'O', 'N', 0, 0, 1, 0},
                              Bytes{'S', 'I', 'G', 'M', 'A', 0, 0, 1, 1, 0}, Bytes{}}) {
    EXPECT_TRUE(placeNote("SIGMA", header, note, true).parse(kSigma).empty());
  }
  // The header alone with fewer than 10 bytes left.
  const Bytes cut = {'S', 'I', 'G', 'M', 'A', 0, 0, 0, 1};
  EXPECT_TRUE(parseSigmaMakerNote(cut, 0, 0, true).empty());
}

TEST(SigmaNote, MalformedNotesNeverCrash) {
  const PlacedNote placed = placeNote("SIGMA", sigmaHeader(), fullNote(false), false);
  expectWildOffsetsAreEmpty(placed, kSigma);
  expectTruncationsAreSubsets(placed, kSigma);
  expectDamageIsSurvived(placed, kSigma, "Sigma:");

  NoteIfdBuilder note(true);
  note.ascii(7, "Daylight").rawOffset(3, 2, 64, 0xFFFFFFF0).claimedCount(500);
  const TagMap tags = parseSingle(note);
  EXPECT_EQ(valueOf(tags, "Sigma:WhiteBalance"), "Daylight");
  EXPECT_EQ(tags.size(), 1u);
}

TEST(SigmaNote, ReadFromAJpeg) {
  for (bool bigEndian : {false, true}) {
    const TagMap tags =
        readJpegWithNote("SIGMA", "SIGMA SD10", sigmaHeader(), fullNote(bigEndian), bigEndian);
    EXPECT_EQ(valueOf(tags, "Sigma:ExposureMode"), "Aperture Priority");
    EXPECT_EQ(valueOf(tags, "Sigma:Contrast"), "-1.0");
  }
}
