// Canon notes: a bare directory in the file's byte order with offsets from the TIFF header;
// named fields, number formats and the camera-settings and shot-information arrays.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_reading.h"

using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

// CameraSettings as an EOS body writes it: element 0 is the array's byte size.
std::vector<uint16_t> cameraSettings() {
  std::vector<uint16_t> s(46, 0);
  s[0] = 92;
  s[3] = 3;                            // Fine
  s[4] = 16;                           // External flash
  s[5] = 1;                            // Continuous
  s[7] = 1;                            // AI Servo AF
  s[9] = 7;                            // CR2+JPEG
  s[10] = 0;                           // Large
  s[11] = 1;                           // Manual
  s[17] = 3;                           // Evaluative
  s[20] = 3;                           // Aperture-priority AE
  return s;
}

std::vector<uint16_t> shotInfo() {
  std::vector<uint16_t> s(34, 0);
  s[0] = 68;
  s[7] = 8;                            // Shade
  s[8] = 3;                            // None
  s[16] = 2;                           // On (shot 2)
  s[18] = 1;                           // Camera Local Control
  s[26] = 248;                         // EOS High-end
  s[27] = 1;                           // Rotate 90 CW
  return s;
}

NoteIfdBuilder eosNote(bool bigEndian) {
  NoteIfdBuilder ifd(bigEndian);
  ifd.shorts(1, cameraSettings())
      .shorts(2, {0, 105, 24, 0})      // FocalLength: not decoded
      .shorts(4, shotInfo())
      .ascii(6, "Canon EOS 5D Mark II")
      .ascii(7, "Firmware Version 2.1.0")
      .longs(8, {1000123})
      .ascii(9, "")
      .longs(12, {1234})
      .longs(16, {0x80000218})
      .ascii(149, "EF24-105mm f/4L IS USM");
  return ifd;
}

NoteInTiff eosFile(bool bigEndian, const NoteIfdBuilder& ifd) {
  return tiffWithMakerNote(bigEndian, "Canon", "Canon EOS 5D Mark II",
                           [&](uint32_t at) { return canonNote(ifd, at); });
}

void expectEosTags(const TagMap& tags) {
  EXPECT_EQ(tagOr(tags, "Canon:Quality"), "Fine");
  EXPECT_EQ(tagOr(tags, "Canon:CanonFlashMode"), "External flash");
  EXPECT_EQ(tagOr(tags, "Canon:ContinuousDrive"), "Continuous");
  EXPECT_EQ(tagOr(tags, "Canon:FocusMode"), "AI Servo AF");
  EXPECT_EQ(tagOr(tags, "Canon:RecordMode"), "CR2+JPEG");
  EXPECT_EQ(tagOr(tags, "Canon:CanonImageSize"), "Large");
  EXPECT_EQ(tagOr(tags, "Canon:EasyMode"), "Manual");
  EXPECT_EQ(tagOr(tags, "Canon:MeteringMode"), "Evaluative");
  EXPECT_EQ(tagOr(tags, "Canon:CanonExposureMode"), "Aperture-priority AE");
  EXPECT_EQ(tagOr(tags, "Canon:WhiteBalance"), "Shade");
  EXPECT_EQ(tagOr(tags, "Canon:SlowShutter"), "None");
  EXPECT_EQ(tagOr(tags, "Canon:AutoExposureBracketing"), "On (shot 2)");
  EXPECT_EQ(tagOr(tags, "Canon:ControlMode"), "Camera Local Control");
  EXPECT_EQ(tagOr(tags, "Canon:CameraType"), "EOS High-end");
  EXPECT_EQ(tagOr(tags, "Canon:AutoRotate"), "Rotate 90 CW");
  EXPECT_EQ(tagOr(tags, "Canon:ImageType"), "Canon EOS 5D Mark II");
  EXPECT_EQ(tagOr(tags, "Canon:FirmwareVersion"), "Firmware Version 2.1.0");
  EXPECT_EQ(tagOr(tags, "Canon:FileNumber"), "100-0123");
  EXPECT_EQ(tagOr(tags, "Canon:SerialNumber"), "0000001234");
  EXPECT_EQ(tagOr(tags, "Canon:CanonModelID"), "0x80000218");
  EXPECT_EQ(tagOr(tags, "Canon:LensModel"), "EF24-105mm f/4L IS USM");
  EXPECT_FALSE(tags.contains("Canon:OwnerName"));  // empty text
  EXPECT_EQ(countWithPrefix(tags, "Canon:"), 21u);
}

}  // namespace

TEST(CanonNote, FullNoteInEitherByteOrder) {
  for (bool be : {false, true}) {
    SCOPED_TRACE(be ? "big-endian" : "little-endian");
    const NoteInTiff file = eosFile(be, eosNote(be));
    expectEosTags(parseCanonMakerNote(file.tiff, file.noteOffset, 0, be));
  }
}

TEST(CanonNote, OffsetsCountFromTheTiffHeaderNotTheBuffer) {
  // The same block behind 100 bytes of something else: the caller names where it starts.
  const NoteInTiff file = eosFile(true, eosNote(true));
  Bytes shifted(100, 0xEE);
  shifted.insert(shifted.end(), file.tiff.begin(), file.tiff.end());
  expectEosTags(parseCanonMakerNote(shifted, 100 + file.noteOffset, 100, true));
  // A wrong base misplaces every out-of-line value: strings and arrays vanish.
  const TagMap wrongBase = parseCanonMakerNote(shifted, 100 + file.noteOffset, 0, true);
  EXPECT_FALSE(wrongBase.contains("Canon:LensModel"));
  EXPECT_FALSE(wrongBase.contains("Canon:Quality"));
  EXPECT_EQ(tagOr(wrongBase, "Canon:SerialNumber"), "0000001234");  // inline values survive
}

TEST(CanonNote, NumberFormats) {
  struct Case {
    uint16_t tag;
    uint32_t value;
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {16, 1042, "Canon:CanonModelID", "0x00000412"},
      {16, 3131, "Canon:CanonModelID", "0x00000c3b"},
      {12, 1234, "Canon:SerialNumber", "0000001234"},
      {12, 3755744309u, "Canon:SerialNumber", "3755744309"},  // no padding needed
      {8, 1000123, "Canon:FileNumber", "100-0123"},
      {8, 1000000, "Canon:FileNumber", "100-0000"},
      {8, 42, "Canon:FileNumber", "0-0042"},
  };
  for (const Case& c : cases) {
    NoteIfdBuilder ifd;
    ifd.longs(c.tag, {c.value});
    const NoteInTiff file = eosFile(false, ifd);
    EXPECT_EQ(tagOr(parseCanonMakerNote(file.tiff, file.noteOffset, 0, false), c.name), c.expected)
        << c.value;
  }
}

TEST(CanonNote, UnparsableSpecialNumbersReadZero) {
  NoteIfdBuilder ifd;
  ifd.ascii(8, "n/a").ascii(12, "none").ascii(16, "0x12");
  const NoteInTiff file = eosFile(false, ifd);
  const TagMap tags = parseCanonMakerNote(file.tiff, file.noteOffset, 0, false);
  EXPECT_EQ(tagOr(tags, "Canon:FileNumber"), "0-0000");
  EXPECT_EQ(tagOr(tags, "Canon:SerialNumber"), "0000000000");
  EXPECT_EQ(tagOr(tags, "Canon:CanonModelID"), "0x00000000");
}

TEST(CanonNote, SettingsArraysNeedShortTypeAndEnoughElements) {
  NoteIfdBuilder asLongs;
  asLongs.longs(1, {0, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0, 0}).longs(4, std::vector<uint32_t>(30, 0));
  NoteInTiff file = eosFile(false, asLongs);
  EXPECT_TRUE(parseCanonMakerNote(file.tiff, file.noteOffset, 0, false).empty());

  std::vector<uint16_t> tenElements = cameraSettings();
  tenElements.resize(10);
  NoteIfdBuilder shortArray;
  shortArray.shorts(1, tenElements);
  file = eosFile(false, shortArray);
  const TagMap tags = parseCanonMakerNote(file.tiff, file.noteOffset, 0, false);
  EXPECT_EQ(tagOr(tags, "Canon:RecordMode"), "CR2+JPEG");  // element 9, the last one there
  EXPECT_FALSE(tags.contains("Canon:CanonImageSize"));     // element 10 is missing
  EXPECT_FALSE(tags.contains("Canon:MeteringMode"));
  EXPECT_EQ(tags.size(), 5u);
}

TEST(CanonNote, CodesMissingFromTablesAddNothing) {
  std::vector<uint16_t> settings = cameraSettings();
  settings[4] = 7;                         // no flash mode 7
  settings[3] = static_cast<uint16_t>(-1); // n/a
  settings[20] = 9;
  std::vector<uint16_t> shots = shotInfo();
  shots[26] = 249;
  shots[18] = 0;
  NoteIfdBuilder ifd;
  ifd.shorts(1, settings).shorts(4, shots);
  const NoteInTiff file = eosFile(false, ifd);
  const TagMap tags = parseCanonMakerNote(file.tiff, file.noteOffset, 0, false);
  for (const char* name : {"Canon:CanonFlashMode", "Canon:Quality", "Canon:CanonExposureMode",
                           "Canon:CameraType", "Canon:ControlMode"}) {
    EXPECT_FALSE(tags.contains(name)) << name;
  }
  EXPECT_EQ(tagOr(tags, "Canon:FocusMode"), "AI Servo AF");
}

TEST(CanonNote, MalformedNotesAddNothingOrWhatWasRead) {
  const NoteInTiff file = eosFile(false, eosNote(false));
  const auto size = static_cast<int64_t>(file.tiff.size());
  EXPECT_TRUE(parseCanonMakerNote(file.tiff, size - 1, 0, false).empty());
  EXPECT_TRUE(parseCanonMakerNote(file.tiff, size, 0, false).empty());
  EXPECT_TRUE(parseCanonMakerNote(file.tiff, -5, 0, false).empty());
  EXPECT_TRUE(parseCanonMakerNote({}, 0, 0, false).empty());

  // Values far past the end are skipped; the inline ones stay.
  NoteIfdBuilder stray;
  stray.rawOffset(1, 3, 46, 0xFFFFFF00).rawOffset(149, 2, 30, 0x7FFFFFFF).longs(12, {77});
  NoteInTiff strayFile = eosFile(false, stray);
  TagMap tags = parseCanonMakerNote(strayFile.tiff, strayFile.noteOffset, 0, false);
  EXPECT_EQ(tags.size(), 1u);
  EXPECT_EQ(tagOr(tags, "Canon:SerialNumber"), "0000000077");

  // A count that runs off the end of the block: the entries that fit are kept.
  NoteIfdBuilder overlong;
  overlong.longs(12, {5}).longs(16, {1042}).claimedCount(4000);
  NoteInTiff cut = eosFile(false, overlong);
  Bytes truncated(cut.tiff.begin(), cut.tiff.begin() + cut.noteOffset + 2 + 24);
  tags = parseCanonMakerNote(truncated, cut.noteOffset, 0, false);
  EXPECT_EQ(tags.size(), 2u);
  EXPECT_EQ(tagOr(tags, "Canon:CanonModelID"), "0x00000412");
}

TEST(CanonNote, ReadFromAJpeg) {
  for (bool be : {false, true}) {
    const NoteIfdBuilder ifd = eosNote(be);
    const Bytes jpeg = jpegWithMakerNote(be, "Canon", "Canon EOS 5D Mark II",
                                         [&](uint32_t at) { return canonNote(ifd, at); });
    const Metadata meta = readJpeg(jpeg);
    expectEosTags(meta.tags);
    EXPECT_EQ(meta.camera, "Canon Canon EOS 5D Mark II");
    EXPECT_EQ(tagOr(meta.tags, "ExposureTime"), "1/250");
  }
}
