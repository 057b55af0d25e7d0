// Tag names, enumeration texts and the second rendering stage (formatTagValue and helpers).
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "metadata/exif/enums.h"
#include "metadata/exif/format.h"
#include "metadata/exif/tags.h"
#include "metadata/pipeline/read.h"

using namespace orvel::metadata;
using namespace orvel::metadata::exif;
using namespace orvel::metadata::pipeline;

namespace {

std::string fmt(std::string_view name, std::string_view raw) {
  return formatTagValue(name, raw, Metadata{});
}

}  // namespace

TEST(TagTables, HoldEveryNameOnce) {
  EXPECT_EQ(exifTagTable().size(), 137u);
  EXPECT_EQ(gpsTagTable().size(), 32u);
  std::set<std::string_view> names;
  for (const TagName& entry : exifTagTable()) names.insert(entry.name);
  EXPECT_EQ(names.size(), 137u);
  // Every table entry is found by its number (the search relies on the order).
  for (const TagName& entry : exifTagTable()) EXPECT_EQ(exifTagName(entry.tag), entry.name);
}

TEST(TagTables, NamesAsCamerasWriteThem) {
  EXPECT_EQ(exifTagName(0x000B), "ProcessingSoftware");
  EXPECT_EQ(exifTagName(0x8827), "ISO");
  EXPECT_EQ(exifTagName(0x9216), "TIFF-EPStandardID");
  EXPECT_EQ(exifTagName(0xA005), "InteropOffset");
  EXPECT_EQ(exifTagName(0xC68B), "OriginalRawFileName");
  EXPECT_EQ(exifTagName(0x0201), "");
  EXPECT_EQ(exifTagName(0xFFFF), "");
  EXPECT_EQ(exifTagName(0x0000), "");
  EXPECT_EQ(gpsTagName(0), "GPSVersionID");
  EXPECT_EQ(gpsTagName(6), "GPSAltitude");
  EXPECT_EQ(gpsTagName(31), "GPSHPositioningError");
  EXPECT_EQ(gpsTagName(32), "");
}

TEST(Enumerations, KnownAndUnknownValues) {
  EXPECT_EQ(getOrientation(6), "Rotate 90 CW");
  EXPECT_EQ(getOrientation(9), "9");
  EXPECT_EQ(getResolutionUnit(2), "inches");
  EXPECT_EQ(getExposureProgram(0), "Not Defined");
  EXPECT_EQ(getMeteringMode(255), "Other");
  EXPECT_EQ(getLightSource(12), "Daylight fluorescent (D 5700 - 7100K)");
  EXPECT_EQ(getLightSource(5), "5");
  EXPECT_EQ(getWhiteBalance(1), "Manual");
  EXPECT_EQ(getColorSpace(0xFFFF), "Uncalibrated");
  EXPECT_EQ(getExposureMode(2), "Auto bracket");
  EXPECT_EQ(getSceneCaptureType(3), "Night");
  EXPECT_EQ(getSensingMethod(6), "6");
  EXPECT_EQ(getSensingMethod(8), "Color sequential linear");
  EXPECT_EQ(getGpsAltitudeRef(1), "Below Sea Level");
  EXPECT_EQ(getGpsAltitudeRef(-1), "-1");
  EXPECT_EQ(getInteropIndex("THM"), "THM - DCF thumbnail file");
  EXPECT_EQ(getInteropIndex("XYZ"), "XYZ");
}

TEST(Enumerations, FlashHasTwentySevenTextsAndAnUnknownForm) {
  EXPECT_EQ(parseFlash(0x59), "Auto, Fired, Red-eye reduction");
  EXPECT_EQ(parseFlash(16), "Off, Did not fire");
  EXPECT_EQ(parseFlash(95), "Auto, Fired, Red-eye reduction, Return detected");
  EXPECT_EQ(parseFlash(2), "Unknown (2)");
  int known = 0;
  for (int value = 0; value < 256; ++value) known += parseFlash(value).starts_with("Unknown (") ? 0 : 1;
  EXPECT_EQ(known, 27);
}

TEST(FormatNumbers, FixedDecimalsRoundTiesOfTheBinaryValueToEven) {
  EXPECT_EQ(fmtNum(2, 2.8), "2.8");
  EXPECT_EQ(fmtNum(2, 4.0), "4");
  EXPECT_EQ(fmtNum(1, 0.25), "0.2");   // exact tie, to even
  EXPECT_EQ(fmtNum(1, 0.35), "0.3");   // 0.35 is stored a little below .35
  EXPECT_EQ(fmtNum(0, 2.5), "2");
  EXPECT_EQ(fmtNum(0, 3.5), "4");
  EXPECT_EQ(fmtNum(3, 46.75), "46.75");
  EXPECT_EQ(fmtNum(0, 120.0), "120");  // no point: zeros before it stay
  EXPECT_EQ(fmtNum(6, -0.75), "-0.75");
  EXPECT_EQ(fmtNum(2, 1e20), "100000000000000000000");
  EXPECT_EQ(fmtNum(32, 0.1), "0.10000000000000000555111512312578");
  EXPECT_EQ(fmtNum(2, NAN), "nan");
}

TEST(FormatNumbers, RationalParsing) {
  EXPECT_DOUBLE_EQ(ratToFloat("1/250"), 0.004);
  EXPECT_DOUBLE_EQ(ratToFloat("3 5"), 3.0);      // first field only
  EXPECT_DOUBLE_EQ(ratToFloat(" 5"), 0.0);       // the first field is empty
  EXPECT_DOUBLE_EQ(ratToFloat("5/0"), 0.0);
  EXPECT_DOUBLE_EQ(ratToFloat("x/4"), 0.0);      // numerator 0
  EXPECT_DOUBLE_EQ(ratToFloat("6/x"), 6.0);      // denominator 1
  EXPECT_DOUBLE_EQ(ratToFloat("abc"), 0.0);
  EXPECT_DOUBLE_EQ(ratToFloat("-2.5"), -2.5);
  EXPECT_DOUBLE_EQ(ratToFloat("+7"), 7.0);
  EXPECT_DOUBLE_EQ(ratToFloat("+-7"), 0.0);
  EXPECT_DOUBLE_EQ(parseRational(" 3 / 4 "), 0.75);
  EXPECT_DOUBLE_EQ(parseGpsRationals("41 24 1217/100"), 1217.0 / 100 / 3600 + (24.0 / 60 + 41));
  EXPECT_DOUBLE_EQ(parseGpsRationals("  10  30 "), 10.5);   // empty fields are skipped
  EXPECT_DOUBLE_EQ(parseGpsRationals("1205/10"), 120.5);
  EXPECT_DOUBLE_EQ(parseGpsRationals("1 2 3 4"), 3.0 / 3600 + (2.0 / 60 + 1));
  EXPECT_DOUBLE_EQ(parseGpsRationals(""), 0.0);
}

TEST(FormatNumbers, ShutterSpeedFromApex) {
  EXPECT_EQ(fmtShutter(8), "1/256");
  EXPECT_EQ(fmtShutter(-1), "2");
  EXPECT_EQ(fmtShutter(0), "1");
  EXPECT_EQ(fmtShutter(6.643856), "1/100");
  EXPECT_EQ(fmtShutter(-0.5), "1.414");
  EXPECT_EQ(fmtShutter(100), "1/1267650600228229401496703205376");  // beyond 64 bits
  EXPECT_EQ(fmtShutter(1074), "0");  // the reciprocal overflows: the seconds instead
}

TEST(FormatTagValue, ExposureRows) {
  EXPECT_EQ(fmt("ExposureTime", "1/250"), "1/250");
  EXPECT_EQ(fmt("ExposureTime", "1/4"), "1/4");
  EXPECT_EQ(fmt("ExposureTime", "3/10"), "0.3");
  EXPECT_EQ(fmt("ExposureTime", "2"), "2");
  EXPECT_EQ(fmt("ExposureTime", "0"), "0");
  EXPECT_EQ(fmt("ExposureTime", "10/3"), "3.3");
  EXPECT_EQ(fmt("ExposureTime", "1/3"), "0.3");
  EXPECT_EQ(fmt("ExposureTime", "1e-320"), "0");  // reciprocal not representable
  EXPECT_EQ(fmt("FNumber", "14/5"), "f/2.8");
  EXPECT_EQ(fmt("FNumber", "8"), "f/8");
  EXPECT_EQ(fmt("ApertureValue", "3"), "f/2.83");
  EXPECT_EQ(fmt("MaxApertureValue", "4"), "f/4");
  EXPECT_EQ(fmt("ShutterSpeedValue", "8"), "1/256");
  EXPECT_EQ(fmt("ShutterSpeedValue", "-1"), "2");
  EXPECT_EQ(fmt("FocalLength", "50"), "50 mm");
  EXPECT_EQ(fmt("FocalLength", "187/4"), "46.75 mm");
  EXPECT_EQ(fmt("FocalLengthIn35mmFormat", "28"), "28 mm");
  EXPECT_EQ(fmt("ExposureCompensation", "-1/3"), "-0.33");
  EXPECT_EQ(fmt("BrightnessValue", "1234/100"), "12.34");
  EXPECT_EQ(fmt("DigitalZoomRatio", "0/0"), "0");
  EXPECT_EQ(fmt("GPSSpeed", "5/2"), "2.5");
}

TEST(FormatTagValue, EnumerationRows) {
  EXPECT_EQ(fmt("Orientation", "6"), "Rotate 90 CW");
  EXPECT_EQ(fmt("Orientation", "abc"), "abc");
  EXPECT_EQ(fmt("Orientation", "1 1"), "1 1");  // the whole text must be one number
  EXPECT_EQ(fmt("ResolutionUnit", "3"), "cm");
  EXPECT_EQ(fmt("ExposureProgram", "2"), "Program AE");
  EXPECT_EQ(fmt("MeteringMode", "5"), "Multi-segment");
  EXPECT_EQ(fmt("LightSource", "21"), "D65");
  EXPECT_EQ(fmt("WhiteBalance", "0"), "Auto");
  EXPECT_EQ(fmt("Flash", "89"), "Auto, Fired, Red-eye reduction");
  EXPECT_EQ(fmt("Flash", "2"), "Unknown (2)");
  EXPECT_EQ(fmt("ColorSpace", "65535"), "Uncalibrated");
  EXPECT_EQ(fmt("ColorSpace", "1 7"), "sRGB");  // the first field decides
  EXPECT_EQ(fmt("ExposureMode", "x"), "x");
  EXPECT_EQ(fmt("SceneCaptureType", "2"), "Portrait");
  EXPECT_EQ(fmt("SensingMethod", "2"), "One-chip color area");
  EXPECT_EQ(fmt("GPSAltitudeRef", ""), "Above Sea Level");  // byte 0 renders as no text
  EXPECT_EQ(fmt("GPSAltitudeRef", "01"), "Below Sea Level");
  EXPECT_EQ(fmt("GPSAltitudeRef", "zz"), "Above Sea Level");
}

TEST(FormatTagValue, VersionsAndMatrices) {
  EXPECT_EQ(fmt("DNGVersion", "01 04 00 00"), "1.4.0.0");
  EXPECT_EQ(fmt("DNGBackwardVersion", "01 01 00 00"), "1.1.0.0");
  EXPECT_EQ(fmt("TIFF-EPStandardID", "01 00 0A 00"), "1.0.10.0");
  EXPECT_EQ(fmt("DNGVersion", "01 QZ"), "01 QZ");
  EXPECT_EQ(fmt("ColorMatrix1", "1/2 -3/4 5/0"), "0.5 -0.75 0");
  EXPECT_EQ(fmt("AsShotNeutral", "1/3 2"), "0.333333 2");
  EXPECT_EQ(fmt("AnalogBalance", "/5 x/2"), "/5 0");  // a slash first stays as it is
  EXPECT_EQ(fmt("CameraCalibration2", ""), "");
}

TEST(FormatTagValue, GpsCoordinatesUseTheStoredReferences) {
  Metadata meta;
  EXPECT_EQ(formatTagValue("GPSLatitude", "41 24 1217/100", meta), "41 deg 24' 1217/100\" N");
  EXPECT_EQ(formatTagValue("GPSLongitude", "2 10 53/2", meta), "2 deg 10' 53/2\" W");
  EXPECT_EQ(formatTagValue("GPSLongitude", "2 10", meta), "2 10");
  EXPECT_EQ(formatTagValue("GPSAltitude", "1205/10", meta), "120.5 m");
  meta.tags.set("GPSLatitudeRef", "S");
  meta.tags.set("GPSLongitudeRef", "E");
  meta.tags.set("GPSAltitudeRef", "Below Sea Level");
  EXPECT_EQ(formatTagValue("GPSLatitude", "33 52 0", meta), "33 deg 52' 0\" S");
  EXPECT_EQ(formatTagValue("GPSLongitude", "151 12 30", meta), "151 deg 12' 30\" E");
  EXPECT_EQ(formatTagValue("GPSAltitude", "10", meta), "10 m Below Sea Level");
  EXPECT_EQ(formatGPSCoord("1 2 3 4", "N"), "1 deg 2' 3\" N");
}

TEST(FormatTagValue, NamesWithoutARuleKeepTheRawText) {
  EXPECT_EQ(fmt("Make", "  Canon "), "  Canon ");
  EXPECT_EQ(fmt("Unknown:0x0201", "1234"), "1234");
  EXPECT_EQ(fmt("exposuretime", "1/250"), "1/250");  // names are case-sensitive
  EXPECT_TRUE(hasFormatRule("WhiteBalance"));
  EXPECT_FALSE(hasFormatRule("Model"));
}

TEST(FormatTagValue, RulesByNumberMatchRulesByName) {
  Metadata meta;
  meta.tags.set("GPSLatitudeRef", "S");
  for (std::string_view raw : {"6", "1/250", "01 04 00 00", "1/2 3/4", "41 24 1217/100", "", "x"}) {
    for (const TagName& entry : exifTagTable()) {
      std::string byNumber;
      const bool ruled = formatExifTagIfRuled(entry.tag, raw, meta, byNumber);
      EXPECT_EQ(ruled, hasFormatRule(entry.name)) << entry.name;
      if (ruled) {
        EXPECT_EQ(byNumber, formatTagValue(entry.name, raw, meta)) << entry.name;
      }
    }
    for (uint16_t tag = 0; tag < 40; ++tag) {
      std::string byNumber;
      const std::string_view name = gpsTagName(tag);
      const bool ruled = formatGpsTagIfRuled(tag, raw, meta, byNumber);
      EXPECT_EQ(ruled, !name.empty() && hasFormatRule(name)) << tag;
      if (ruled) {
        EXPECT_EQ(byNumber, formatTagValue(name, raw, meta)) << name;
      }
    }
  }
}
