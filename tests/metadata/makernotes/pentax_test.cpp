// Pentax notes: the "AOC" header with its own byte order, the main fields, and the camera
// settings and AE information blocks.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "metadata/makernotes/pentax_settings.h"
#include "note_parse_util.h"

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

constexpr uint16_t kUndefined = 7;
constexpr uint16_t kByte = 1;
constexpr uint16_t kSByte = 6;

// Camera settings of a K10D: every field of the long form has a known decoding.
const Bytes kSettings = {
    5,           // PictureMode2: Aperture Priority
    0xE1,        // ProgramLine 1, EV steps 1/3, e-dial P Shift, aperture ring permitted
    0x31,        // flash option 3, metering bit 0
    0x22,        // AF point mode bit 1, focus mode 2
    0x00, 0x21,  // AF points: upper-left and center
    40,          // ISO floor code: 200
    0x09,        // drive: continuous and 2 s self-timer
    5,           // bracket step 0.7
    0,           // bracket shot number n/a
    0x71,        // white balance set 7, multiple exposure on
    0,           // (unused)
    0,           // (unused)
    37,          // RAW+JPEG (PEF, Better)
    0x01,        // 6 MP
    0,           // (unused)
    0x82,        // flash option 8, metering bit 1
    0xC6,        // SR active, rotation 2, ISO auto, sensitivity as EV steps
    124,         // Tv: 1/128
    108,         // Av: f/5.7
    48,          // Sv: ISO 400
    61,          // base exposure compensation +0.3
};

const Bytes kAeInfo = {
    120,   // 1/85 s
    100,   // f/4.0
    48,    // ISO 400
    68,    // Xv 0.5
    0xFD,  // BXv -3/8
    96,    // minimum exposure 0.09375 s: 1/11
    35,    // Standard
    0,     // (unused)
    3,     // aperture steps
    76,    // max aperture 1.4
    84,    // max aperture 2 2.0
    140,   // min aperture 22.6: 23
    2,     // spot metering
};

NoteIfdBuilder fullNote(bool bigEndian) {
  NoteIfdBuilder note(bigEndian);
  note.bytes(0x0000, kByte, {3, 0, 0, 0})
      .shorts(0x0001, {9})
      .shorts(0x0002, {640, 480})
      .longs(0x0003, {24000})
      .longs(0x0005, {76830})
      .shorts(0x0008, {2})
      .shorts(0x000E, {6})
      .shorts(0x0017, {2})
      .shorts(0x0019, {10})
      .shorts(0x0022, {1})
      .shorts(0x0025, {0})
      .shorts(0x0026, {1})
      .shorts(0x003D, {8192})
      .bytes(0x003E, kByte, {1, 2, 3, 4})
      .shorts(0x0041, {0})
      .bytes(0x0047, kSByte, {0xF6})
      .shorts(0x0048, {1})
      .shorts(0x0049, {0})
      .shorts(0x004F, {3})
      .bytes(0x005C, kUndefined, {1, 1, 0, 0})
      .shorts(0x0062, {1})
      .bytes(0x0205, kUndefined, kSettings)
      .bytes(0x0206, kUndefined, kAeInfo);
  // The date's year follows the note's byte order: 2006, November 25th; then 13:05:09.
  Bytes date = note.u16(2006);
  date.insert(date.end(), {11, 25});
  note.bytes(0x0006, kUndefined, date).bytes(0x0007, kUndefined, {13, 5, 9});
  return note;
}

NoteParser pentaxWithModel(std::string model) {
  return [model](ByteView tiff, int64_t offset, int64_t base, bool bigEndian) {
    return parsePentaxMakerNote(model, tiff, offset, base, bigEndian);
  };
}

TagMap settingsOf(const Bytes& raw, bool extended) {
  TagMap out;
  addPentaxCameraSettings(out, raw, extended);
  return out;
}

TagMap aeInfoOf(const Bytes& raw) {
  TagMap out;
  addPentaxAEInfo(out, raw);
  return out;
}

}  // namespace

TEST(PentaxNote, DecodesTheMainDirectory) {
  for (bool noteBigEndian : {true, false}) {
    SCOPED_TRACE(noteBigEndian);
    // The note's own byte-order mark wins over the file's, in both directions.
    const PlacedNote placed = placeNote("PENTAX Corporation", pentaxHeader(noteBigEndian),
                                        fullNote(noteBigEndian), !noteBigEndian);
    const TagMap tags = placed.parse(pentaxWithModel("PENTAX K10D"));
    EXPECT_EQ(valueOf(tags, "Pentax:PentaxVersion"), "3.0.0.0");
    EXPECT_EQ(valueOf(tags, "Pentax:PentaxModelType"), "9");
    EXPECT_EQ(valueOf(tags, "Pentax:PreviewImageSize"), "640x480");
    EXPECT_EQ(valueOf(tags, "Pentax:PreviewImageLength"), "24000");
    EXPECT_EQ(valueOf(tags, "Pentax:PentaxModelID"), "K10D");
    EXPECT_EQ(valueOf(tags, "Pentax:Date"), "2006:11:25");
    EXPECT_EQ(valueOf(tags, "Pentax:Time"), "13:05:09");
    EXPECT_EQ(valueOf(tags, "Pentax:Quality"), "Best");
    EXPECT_EQ(valueOf(tags, "Pentax:AFPointSelected"), "Center");
    EXPECT_EQ(valueOf(tags, "Pentax:MeteringMode"), "Spot");
    EXPECT_EQ(valueOf(tags, "Pentax:WhiteBalance"), "Cloudy");
    EXPECT_EQ(valueOf(tags, "Pentax:WorldTimeLocation"), "Destination");
    EXPECT_EQ(valueOf(tags, "Pentax:HometownDST"), "No");
    EXPECT_EQ(valueOf(tags, "Pentax:DestinationDST"), "Yes");
    EXPECT_EQ(valueOf(tags, "Pentax:DataScaling"), "8192");
    EXPECT_EQ(valueOf(tags, "Pentax:PreviewImageBorders"), "1 2 3 4");
    EXPECT_EQ(valueOf(tags, "Pentax:ImageEditCount"), "0");
    EXPECT_EQ(valueOf(tags, "Pentax:CameraTemperature"), "-10 C");
    EXPECT_EQ(valueOf(tags, "Pentax:AELock"), "On");
    EXPECT_EQ(valueOf(tags, "Pentax:NoiseReduction"), "Off");
    EXPECT_EQ(valueOf(tags, "Pentax:ImageTone"), "Landscape");
    EXPECT_EQ(valueOf(tags, "Pentax:SRResult"), "Stabilized");
    EXPECT_EQ(valueOf(tags, "Pentax:ShakeReduction"), "On");
    EXPECT_EQ(valueOf(tags, "Pentax:RawDevelopmentProcess"), "1 (K10D,K200D,K2000,K-m)");
    // Blocks at offsets relative to the TIFF header, read for a K10D in their long form.
    EXPECT_EQ(valueOf(tags, "Pentax:PictureMode2"), "Aperture Priority");
    EXPECT_EQ(valueOf(tags, "Pentax:BaseExposureCompensation"), "+0.3");
    EXPECT_EQ(valueOf(tags, "Pentax:AEExposureTime"), "1/85");
    EXPECT_EQ(valueOf(tags, "Pentax:AEMeteringMode"), "Spot");
    for (const auto& entry : tags) EXPECT_EQ(entry.first.rfind("Pentax:", 0), 0u) << entry.first;
  }
}

TEST(PentaxNote, AnyMarkOtherThanIIMeansBigEndian) {
  NoteIfdBuilder note(true);
  note.shorts(0x0008, {4}).bytes(0x0006, kUndefined, {0x07, 0xD9, 12, 31});
  const Bytes spaces = {'A', 'O', 'C', 0, ' ', ' '};
  const TagMap tags = placeNote("PENTAX", spaces, note, false).parse(pentaxWithModel(""));
  EXPECT_EQ(valueOf(tags, "Pentax:Quality"), "RAW");
  EXPECT_EQ(valueOf(tags, "Pentax:Date"), "2009:12:31");
  // The same big-endian directory under "II" is read little-endian: its tag numbers come out
  // byte-swapped (0x0008 as 0x0800) and name no Pentax field.
  const Bytes intel = {'A', 'O', 'C', 0, 'I', 'I'};
  const TagMap wrong = placeNote("PENTAX", intel, note, false).parse(pentaxWithModel(""));
  EXPECT_FALSE(wrong.contains("Pentax:Quality"));
  EXPECT_FALSE(wrong.contains("Pentax:Date"));
}

TEST(PentaxNote, CodesMissingFromTablesAddNothing) {
  NoteIfdBuilder note(true);
  note.shorts(0x0005, {12345})
      .shorts(0x0008, {9})
      .shorts(0x000E, {5})
      .shorts(0x0019, {11})
      .shorts(0x004F, {6})
      .bytes(0x005C, kUndefined, {2, 1})
      .shorts(0x0062, {2})
      .ascii(0x0001, "   ")
      .shorts(0x0002, {640})
      .bytes(0x0047, kSByte, {});
  const TagMap tags =
      placeNote("PENTAX", pentaxHeader(true), note, true).parse(pentaxWithModel("K10D"));
  // Only the shake-reduction byte that the table knows survives.
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(valueOf(tags, "Pentax:ShakeReduction"), "On");
}

TEST(PentaxNote, ShortRawValuesSkipOnlyTheirFields) {
  NoteIfdBuilder note(true);
  note.bytes(0x0000, kByte, {3, 0, 0})
      .bytes(0x0006, kUndefined, {7, 0xD6, 11})
      .bytes(0x0007, kUndefined, {13, 5})
      .bytes(0x003E, kByte, {1, 2})
      .bytes(0x005C, kUndefined, {1})
      .shorts(0x0008, {1});
  const TagMap tags =
      placeNote("PENTAX", pentaxHeader(true), note, true).parse(pentaxWithModel(""));
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(valueOf(tags, "Pentax:Quality"), "Better");
}

TEST(PentaxNote, ExtendedSettingsNeedAK10DOrGX10) {
  const auto placed = [](const Bytes& settings) {
    NoteIfdBuilder note(true);
    note.bytes(0x0205, kUndefined, settings);
    return placeNote("PENTAX", pentaxHeader(true), note, false);
  };
  const PlacedNote full = placed(kSettings);
  EXPECT_EQ(valueOf(full.parse(pentaxWithModel("PENTAX K10D")), "Pentax:BaseExposureCompensation"),
            "+0.3");
  EXPECT_EQ(valueOf(full.parse(pentaxWithModel("SAMSUNG GX10")), "Pentax:RawAndJpgRecording"),
            "RAW+JPEG (PEF, Better)");
  const TagMap other = full.parse(pentaxWithModel("PENTAX K100D"));
  EXPECT_FALSE(other.contains("Pentax:RawAndJpgRecording"));
  EXPECT_FALSE(other.contains("Pentax:BaseExposureCompensation"));
  EXPECT_EQ(valueOf(other, "Pentax:WhiteBalanceSet"), "Tungsten");

  const Bytes eleven(kSettings.begin(), kSettings.begin() + 11);
  const TagMap short11 = placed(eleven).parse(pentaxWithModel("PENTAX K10D"));
  EXPECT_FALSE(short11.contains("Pentax:RawAndJpgRecording"));
  EXPECT_EQ(valueOf(short11, "Pentax:MultipleExposureSet"), "On");
}

TEST(PentaxCameraSettings, DecodesEveryField) {
  const TagMap tags = settingsOf(kSettings, true);
  EXPECT_EQ(valueOf(tags, "Pentax:PictureMode2"), "Aperture Priority");
  EXPECT_EQ(valueOf(tags, "Pentax:ProgramLine"), "Hi Speed");
  EXPECT_EQ(valueOf(tags, "Pentax:EVSteps"), "1/3 EV Steps");
  EXPECT_EQ(valueOf(tags, "Pentax:E-DialInProgram"), "P Shift");
  EXPECT_EQ(valueOf(tags, "Pentax:ApertureRingUse"), "Permitted");
  EXPECT_EQ(valueOf(tags, "Pentax:FlashOptions"), "Auto, Red-eye reduction");
  EXPECT_EQ(valueOf(tags, "Pentax:MeteringMode2"), "Center-weighted average");
  EXPECT_EQ(valueOf(tags, "Pentax:AFPointMode"), "Fixed Center");
  EXPECT_EQ(valueOf(tags, "Pentax:FocusMode2"), "AF-C");
  EXPECT_EQ(valueOf(tags, "Pentax:AFPointSelected2"), "Upper-left, Center");
  EXPECT_EQ(valueOf(tags, "Pentax:ISOFloor"), "200");
  EXPECT_EQ(valueOf(tags, "Pentax:DriveMode2"), "Continuous, Self-timer (2 s)");
  EXPECT_EQ(valueOf(tags, "Pentax:ExposureBracketStepSize"), "0.7");
  EXPECT_EQ(valueOf(tags, "Pentax:BracketShotNumber"), "n/a");
  EXPECT_EQ(valueOf(tags, "Pentax:WhiteBalanceSet"), "Tungsten");
  EXPECT_EQ(valueOf(tags, "Pentax:MultipleExposureSet"), "On");
  EXPECT_EQ(valueOf(tags, "Pentax:RawAndJpgRecording"), "RAW+JPEG (PEF, Better)");
  EXPECT_EQ(valueOf(tags, "Pentax:JpgRecordedPixels"), "6 MP");
  EXPECT_EQ(valueOf(tags, "Pentax:FlashOptions2"), "Slow-sync");
  EXPECT_EQ(valueOf(tags, "Pentax:MeteringMode3"), "Spot");
  EXPECT_EQ(valueOf(tags, "Pentax:SRActive"), "Yes");
  EXPECT_EQ(valueOf(tags, "Pentax:Rotation"), "Rotate 90 CW");
  EXPECT_EQ(valueOf(tags, "Pentax:ISOSetting"), "Auto");
  EXPECT_EQ(valueOf(tags, "Pentax:SensitivitySteps"), "As EV Steps");
  EXPECT_EQ(valueOf(tags, "Pentax:TvExposureTimeSetting"), "1/128");
  EXPECT_EQ(valueOf(tags, "Pentax:AvApertureSetting"), "5.7");
  EXPECT_EQ(valueOf(tags, "Pentax:SvISOSetting"), "400");
  EXPECT_EQ(valueOf(tags, "Pentax:BaseExposureCompensation"), "+0.3");
  EXPECT_EQ(tags.size(), 28u);
}

TEST(PentaxCameraSettings, DefaultsUnknownCodesAndLengths) {
  Bytes raw(11, 0);
  raw[2] = 0x04;   // flash option 0, a metering bit no row names
  raw[6] = 32;     // ISO floor 100
  raw[8] = 6;      // no such bracket step
  raw[9] = 0x23;   // a shot number: no tag
  raw[10] = 0xA2;  // white balance 10 and multiple exposure 2: neither known
  const TagMap tags = settingsOf(raw, true);
  EXPECT_EQ(valueOf(tags, "Pentax:PictureMode2"), "Scene Mode");
  EXPECT_EQ(valueOf(tags, "Pentax:FlashOptions"), "Normal");
  EXPECT_FALSE(tags.contains("Pentax:MeteringMode2"));
  EXPECT_EQ(valueOf(tags, "Pentax:AFPointMode"), "Auto");
  EXPECT_EQ(valueOf(tags, "Pentax:FocusMode2"), "Manual");
  EXPECT_EQ(valueOf(tags, "Pentax:AFPointSelected2"), "Auto");
  EXPECT_EQ(valueOf(tags, "Pentax:ISOFloor"), "100");
  EXPECT_EQ(valueOf(tags, "Pentax:DriveMode2"), "Single-frame");
  EXPECT_FALSE(tags.contains("Pentax:ExposureBracketStepSize"));
  EXPECT_FALSE(tags.contains("Pentax:BracketShotNumber"));
  EXPECT_FALSE(tags.contains("Pentax:WhiteBalanceSet"));
  EXPECT_FALSE(tags.contains("Pentax:MultipleExposureSet"));
  EXPECT_FALSE(tags.contains("Pentax:RawAndJpgRecording"));  // 11 bytes: no long form

  EXPECT_TRUE(settingsOf(Bytes(10, 0), true).empty());
  EXPECT_TRUE(settingsOf({}, true).empty());

  // Each long-form field appears exactly when its byte exists.
  Bytes longer = kSettings;
  longer.resize(19);
  const TagMap part = settingsOf(longer, true);
  EXPECT_TRUE(part.contains("Pentax:TvExposureTimeSetting"));
  EXPECT_FALSE(part.contains("Pentax:AvApertureSetting"));
  longer.resize(14);
  EXPECT_FALSE(settingsOf(longer, true).contains("Pentax:JpgRecordedPixels"));
  EXPECT_TRUE(settingsOf(longer, true).contains("Pentax:RawAndJpgRecording"));
}

TEST(PentaxCameraSettings, ExposureCompensationSigns) {
  Bytes raw = kSettings;
  raw[21] = 64;
  EXPECT_EQ(valueOf(settingsOf(raw, true), "Pentax:BaseExposureCompensation"), "0");
  raw[21] = 69;  // 64 - 69 = -5: -(5 + 1/3) / 8
  EXPECT_EQ(valueOf(settingsOf(raw, true), "Pentax:BaseExposureCompensation"), "-0.7");
  raw[21] = 48;  // +2 EV
  EXPECT_EQ(valueOf(settingsOf(raw, true), "Pentax:BaseExposureCompensation"), "+2.0");
}

TEST(PentaxAEInfo, DecodesShortAndLongBlocks) {
  const TagMap full = aeInfoOf(kAeInfo);
  EXPECT_EQ(valueOf(full, "Pentax:AEExposureTime"), "1/85");
  EXPECT_EQ(valueOf(full, "Pentax:AEAperture"), "4.0");
  EXPECT_EQ(valueOf(full, "Pentax:AE_ISO"), "400");
  EXPECT_EQ(valueOf(full, "Pentax:AEXv"), "0.5");
  EXPECT_EQ(valueOf(full, "Pentax:AEBXv"), "-0.375");
  EXPECT_EQ(valueOf(full, "Pentax:AEMinExposureTime"), "1/11");
  EXPECT_EQ(valueOf(full, "Pentax:AEProgramMode"), "Standard");
  EXPECT_EQ(valueOf(full, "Pentax:AEApertureSteps"), "3");
  EXPECT_EQ(valueOf(full, "Pentax:AEMaxAperture"), "1.4");
  EXPECT_EQ(valueOf(full, "Pentax:AEMaxAperture2"), "2.0");
  EXPECT_EQ(valueOf(full, "Pentax:AEMinAperture"), "23");
  EXPECT_EQ(valueOf(full, "Pentax:AEMeteringMode"), "Spot");
  EXPECT_EQ(full.size(), 12u);

  Bytes raw = kAeInfo;
  raw[0] = 32;  // 24 s
  raw[6] = 5;   // not a program mode
  raw[8] = 255;
  raw[12] = 0;
  const TagMap other = aeInfoOf(raw);
  EXPECT_EQ(valueOf(other, "Pentax:AEExposureTime"), "24.0");
  EXPECT_FALSE(other.contains("Pentax:AEProgramMode"));
  EXPECT_EQ(valueOf(other, "Pentax:AEApertureSteps"), "n/a");
  EXPECT_EQ(valueOf(other, "Pentax:AEMeteringMode"), "Multi-segment");

  raw.resize(12);  // the fields from byte 5 on need all 13 bytes
  const TagMap five = aeInfoOf(raw);
  EXPECT_EQ(five.size(), 5u);
  EXPECT_FALSE(five.contains("Pentax:AEMinExposureTime"));
  EXPECT_TRUE(aeInfoOf(Bytes(4, 64)).empty());
}

TEST(PentaxNote, RefusesWrongHeadersAndWildOffsets) {
  const PlacedNote placed = placeNote("PENTAX", pentaxHeader(true), fullNote(true), false);
  const NoteParser parse = pentaxWithModel("K10D");
  expectWildOffsetsAreEmpty(placed, parse);
  const Bytes wrongHeaders[] = {
      {'A', 'O', 'D', 0, 'M', 'M'}, {'a', 'o', 'c', 0, 'M', 'M'}, {'A', 'O', 'C', '!', 'M', 'M'}};
  for (const Bytes& header : wrongHeaders) {
    NoteIfdBuilder note(true);
    note.shorts(0x0008, {2});
    EXPECT_TRUE(placeNote("PENTAX", header, note, false).parse(parse).empty());
  }
  // "AOC\0" with the byte-order mark cut off: fewer than 6 bytes remain.
  const Bytes tail = {'x', 'A', 'O', 'C', 0, 'M'};
  EXPECT_TRUE(parsePentaxMakerNote("K10D", tail, 1, 0, true).empty());
}

TEST(PentaxNote, MalformedDirectoriesKeepWhatWasRead) {
  NoteIfdBuilder note(true);
  note.shorts(0x0008, {2})
      .rawOffset(0x0205, kUndefined, 22, 0xFFFFFF00)  // camera settings far past the end
      .rawOffset(0x0206, kUndefined, 13, 0x7FFFFFFF)
      .shorts(0x0019, {1})
      .claimedCount(40);  // the directory claims more entries than the data holds
  const TagMap tags =
      placeNote("PENTAX", pentaxHeader(true), note, false).parse(pentaxWithModel("K10D"));
  EXPECT_EQ(valueOf(tags, "Pentax:Quality"), "Best");
  EXPECT_EQ(valueOf(tags, "Pentax:WhiteBalance"), "Daylight");
  EXPECT_FALSE(tags.contains("Pentax:PictureMode2"));
  EXPECT_FALSE(tags.contains("Pentax:AEExposureTime"));
}

TEST(PentaxNote, SurvivesTruncationAndDamage) {
  const PlacedNote placed = placeNote("PENTAX", pentaxHeader(true), fullNote(true), true);
  expectTruncationsAreSubsets(placed, pentaxWithModel("K10D"));
  expectDamageIsSurvived(placed, pentaxWithModel("K10D"), "Pentax:");
}

TEST(PentaxNote, ReadFromAJpeg) {
  for (bool tiffBigEndian : {false, true}) {
    const TagMap tags = readJpegWithNote("PENTAX Corporation", "PENTAX K10D", pentaxHeader(true),
                                         fullNote(true), tiffBigEndian);
    EXPECT_EQ(valueOf(tags, "Make"), "PENTAX Corporation");
    EXPECT_EQ(valueOf(tags, "Pentax:Date"), "2006:11:25");
    EXPECT_EQ(valueOf(tags, "Pentax:WhiteBalance"), "Cloudy");
    EXPECT_EQ(valueOf(tags, "Pentax:RawAndJpgRecording"), "RAW+JPEG (PEF, Better)");
    EXPECT_EQ(valueOf(tags, "Pentax:AEMinAperture"), "23");
  }
  // Under another maker's name the same bytes are not decoded as Pentax.
  const TagMap other = readJpegWithNote("RICOH", "GR", pentaxHeader(true), fullNote(true), false);
  EXPECT_FALSE(other.contains("Pentax:Quality"));
}
