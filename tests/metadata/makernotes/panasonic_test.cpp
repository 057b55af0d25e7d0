// Panasonic notes: the padded "Panasonic" header, a directory in the file's byte order with
// offsets from the TIFF header, table fields and the version, serial and timer formats.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_reading.h"

using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

NoteIfdBuilder lumixNote(bool bigEndian) {
  NoteIfdBuilder ifd(bigEndian);
  ifd.shorts(0x01, {2})
      .bytes(0x02, 7, {0, 1, 2, 1})
      .shorts(0x03, {12})
      .shorts(0x07, {4})
      .shorts(0x0F, {16, 0})           // AFAreaMode: not decoded
      .shorts(0x1A, {4})
      .shorts(0x1C, {257})
      .shorts(0x1F, {7})
      .shorts(0x20, {2})
      .bytes(0x25, 7, bytesOf(std::string_view("F541005180345\0\0\0", 16)))
      .bytes(0x26, 7, bytesOf("0260"))
      .shorts(0x28, {5})
      .longs(0x29, {370000})
      .shorts(0x2A, {4})
      .longs(0x2B, {0})
      .shorts(0x2C, {2})
      .shorts(0x2D, {3})
      .shorts(0x2E, {3});
  return ifd;
}

NoteInTiff lumixFile(bool bigEndian, const NoteIfdBuilder& ifd) {
  return tiffWithMakerNote(bigEndian, "Panasonic", "DMC-FZ100",
                           [&](uint32_t at) { return panasonicNote(ifd, at); });
}

void expectLumixTags(const TagMap& tags) {
  EXPECT_EQ(tagOr(tags, "Panasonic:ImageQuality"), "High");
  EXPECT_EQ(tagOr(tags, "Panasonic:FirmwareVersion"), "0.1.2.1");
  EXPECT_EQ(tagOr(tags, "Panasonic:WhiteBalance"), "Shade");
  EXPECT_EQ(tagOr(tags, "Panasonic:FocusMode"), "Auto, Focus button");
  EXPECT_EQ(tagOr(tags, "Panasonic:ImageStabilization"), "On, Mode 2");
  EXPECT_EQ(tagOr(tags, "Panasonic:MacroMode"), "Tele-macro");
  EXPECT_EQ(tagOr(tags, "Panasonic:ShootingMode"), "Aperture Priority");
  EXPECT_EQ(tagOr(tags, "Panasonic:Audio"), "No");
  EXPECT_EQ(tagOr(tags, "Panasonic:InternalSerialNumber"), "(F54) 2010:05:18 no. 0345");
  EXPECT_EQ(tagOr(tags, "Panasonic:PanasonicExifVersion"), "0260");
  EXPECT_EQ(tagOr(tags, "Panasonic:ColorEffect"), "Sepia");
  EXPECT_EQ(tagOr(tags, "Panasonic:TimeSincePowerOn"), "01:01:40.00");
  EXPECT_EQ(tagOr(tags, "Panasonic:BurstMode"), "Unlimited");
  EXPECT_EQ(tagOr(tags, "Panasonic:SequenceNumber"), "0");
  EXPECT_EQ(tagOr(tags, "Panasonic:ContrastMode"), "High");
  EXPECT_EQ(tagOr(tags, "Panasonic:NoiseReduction"), "Lowest (-2)");
  EXPECT_EQ(tagOr(tags, "Panasonic:SelfTimer"), "2 s");
  EXPECT_EQ(countWithPrefix(tags, "Panasonic:"), 17u);
}

}  // namespace

TEST(PanasonicNote, FullNoteInEitherByteOrder) {
  for (bool be : {false, true}) {
    SCOPED_TRACE(be ? "big-endian" : "little-endian");
    const NoteInTiff file = lumixFile(be, lumixNote(be));
    expectLumixTags(parsePanasonicMakerNote(file.tiff, file.noteOffset, 0, be));
  }
}

TEST(PanasonicNote, FieldsThatNeedEnoughOrValidData) {
  NoteIfdBuilder ifd;
  ifd.bytes(0x02, 7, {0, 1, 2})                         // three version bytes
      .ascii(0x25, "F54100518034")                      // 12-character serial
      .ascii(0x26, "   ")                               // blank version
      .slongs(0x29, {-5})                               // negative time
      .slongs(0x2B, {-1})                               // negative sequence number
      .shorts(0x01, {4})                                // no quality 4
      .shorts(0x1A, {1})                                // no stabilisation 1
      .shorts(0x03, {6});                               // no white balance 6
  const NoteInTiff file = lumixFile(false, ifd);
  EXPECT_TRUE(parsePanasonicMakerNote(file.tiff, file.noteOffset, 0, false).empty());
}

TEST(PanasonicNote, SerialWhoseDateIsNotDigitsIsLeftOut) {
  NoteIfdBuilder ifd(true);
  ifd.ascii(0x25, "F54100518X345").ascii(0x2B, "17");
  const NoteInTiff file = lumixFile(true, ifd);
  const TagMap tags = parsePanasonicMakerNote(file.tiff, file.noteOffset, 0, true);
  EXPECT_TRUE(tags.contains("Panasonic:InternalSerialNumber"));  // position 9 is free text
  EXPECT_EQ(tagOr(tags, "Panasonic:SequenceNumber"), "17");

  NoteIfdBuilder badDay(true);
  badDay.ascii(0x25, "F5410051X0345").ascii(0x2B, "17");
  const NoteInTiff bad = lumixFile(true, badDay);
  const TagMap badTags = parsePanasonicMakerNote(bad.tiff, bad.noteOffset, 0, true);
  EXPECT_FALSE(badTags.contains("Panasonic:InternalSerialNumber"));
  EXPECT_EQ(badTags.size(), 1u);
}

TEST(PanasonicNote, HeaderMustMatchAndFit) {
  const NoteInTiff file = lumixFile(false, lumixNote(false));
  Bytes wrong = file.tiff;
  wrong[file.noteOffset] = 'p';  // "panasonic"
  EXPECT_TRUE(parsePanasonicMakerNote(wrong, file.noteOffset, 0, false).empty());
  const Bytes headerOnly = bytesOf(std::string_view("Panasonic\0\0", 11));
  EXPECT_TRUE(parsePanasonicMakerNote(headerOnly, 0, 0, false).empty());
  EXPECT_TRUE(parsePanasonicMakerNote(file.tiff, -1, 0, false).empty());
  EXPECT_TRUE(parsePanasonicMakerNote(file.tiff, static_cast<int64_t>(file.tiff.size()) - 11, 0,
                                      false).empty());
}

TEST(PanasonicNote, MalformedDirectoryKeepsWhatWasRead) {
  NoteIfdBuilder ifd;
  ifd.shorts(0x01, {3}).shorts(0x03, {1}).rawOffset(0x25, 7, 16, 0xFFFFFFF0).claimedCount(9000);
  const NoteInTiff file = lumixFile(false, ifd);
  const Bytes cut(file.tiff.begin(), file.tiff.begin() + file.noteOffset + 12 + 2 + 36);
  const TagMap tags = parsePanasonicMakerNote(cut, file.noteOffset, 0, false);
  EXPECT_EQ(tags.size(), 2u);
  EXPECT_EQ(tagOr(tags, "Panasonic:ImageQuality"), "Normal");
  EXPECT_EQ(tagOr(tags, "Panasonic:WhiteBalance"), "Auto");
}

TEST(PanasonicNote, ReadFromAJpeg) {
  for (bool be : {false, true}) {
    const NoteIfdBuilder ifd = lumixNote(be);
    const Bytes jpeg = jpegWithMakerNote(be, "Panasonic", "DMC-FZ100",
                                         [&](uint32_t at) { return panasonicNote(ifd, at); });
    expectLumixTags(readJpeg(jpeg).tags);
  }
}
