// Turning text into typed values, setting tags by name, and the fixed setters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "metadata/edit/edit.h"
#include "container/tiff.h"
#include "metadata/edit/typed_value.h"

namespace orvel::metadata::edit {

using namespace orvel::container;
using namespace orvel::metadata;

namespace {

using Pairs = std::vector<std::pair<int64_t, int64_t>>;

std::string failureOf(uint8_t type, std::string_view text) {
  try {
    parseTyped(type, text);
  } catch (const ExifValueError& e) {
    return e.what();
  }
  return "";
}

TEST(ParseTyped, IntegersSplitOnSpacesAndCommasAndCheckTheirType) {
  EXPECT_EQ(parseTyped(ttShort, "1,,2").ints, (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(parseTyped(ttShort, "1 , 2").ints, (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(parseTyped(ttLong, "+4294967295").ints, (std::vector<int64_t>{4294967295}));
  EXPECT_EQ(parseTyped(ttSShort, "-32768 32767").ints, (std::vector<int64_t>{-32768, 32767}));
  EXPECT_EQ(parseTyped(ttSLong, "1_000_000").ints, (std::vector<int64_t>{1000000}));
  EXPECT_TRUE(parseTyped(ttShort, "").ints.empty());
  EXPECT_EQ(parseTyped(ttShort, "7").kind, ttShort);
  EXPECT_EQ(parseTyped(ttShort, "7").count, 0u);

  EXPECT_EQ(failureOf(ttShort, "65536"), "EXIF integer out of range");
  EXPECT_EQ(failureOf(ttShort, "-1"), "EXIF integer out of range");
  EXPECT_EQ(failureOf(ttLong, "4294967296"), "EXIF integer out of range");
  EXPECT_EQ(failureOf(ttSShort, "32768"), "EXIF integer out of range");
  EXPECT_EQ(failureOf(ttSLong, "-2147483649"), "EXIF integer out of range");
  EXPECT_EQ(failureOf(ttShort, "0.5"), "invalid integer: 0.5");
  EXPECT_EQ(failureOf(ttShort, "1 x2"), "invalid integer: x2");
  EXPECT_EQ(failureOf(ttShort, "-"), "invalid integer: -");
  EXPECT_EQ(failureOf(ttShort, "_1"), "invalid integer: _1");
  EXPECT_EQ(failureOf(ttShort, "1_"), "invalid integer: 1_");
  EXPECT_EQ(failureOf(ttLong, "9223372036854775808"), "Parsed integer outside of valid range");
  EXPECT_EQ(failureOf(ttSLong, "-9223372036854775809"), "Parsed integer outside of valid range");
  // The extremes of 64 bits still parse, and then fail the type's range.
  EXPECT_EQ(failureOf(ttSLong, "-9223372036854775808"), "EXIF integer out of range");
  EXPECT_EQ(failureOf(ttSLong, "9223372036854775807"), "EXIF integer out of range");
}

TEST(ParseTyped, RationalsTakeNumeratorSlashDenominatorOrAWholeNumber) {
  EXPECT_EQ(parseTyped(ttRational, "1/250").rationals, (Pairs{{1, 250}}));
  EXPECT_EQ(parseTyped(ttRational, "5").rationals, (Pairs{{5, 1}}));
  EXPECT_EQ(parseTyped(ttRational, "1/250 1/125").rationals, (Pairs{{1, 250}, {1, 125}}));
  EXPECT_EQ(parseTyped(ttRational, "28/10").rationals, (Pairs{{28, 10}}));
  EXPECT_EQ(parseTyped(ttRational, "1/0").rationals, (Pairs{{1, 0}}));
  EXPECT_EQ(parseTyped(ttSRational, "-2/3").rationals, (Pairs{{-2, 3}}));

  EXPECT_EQ(failureOf(ttRational, "5/"), "invalid integer: ");
  EXPECT_EQ(failureOf(ttRational, "/5"), "invalid integer: /5");
  EXPECT_EQ(failureOf(ttRational, "1/2/3"), "invalid integer: 2/3");
  EXPECT_EQ(failureOf(ttRational, "0.5"), "invalid integer: 0.5");
  EXPECT_EQ(failureOf(ttRational, "-1/2"), "EXIF rational out of range");
  EXPECT_EQ(failureOf(ttRational, "1/4294967296"), "EXIF rational out of range");
  EXPECT_EQ(failureOf(ttSRational, "2147483648/1"), "EXIF rational out of range");
}

TEST(ParseTyped, BytesAreNumbersOrElseTheTextItself) {
  EXPECT_EQ(parseTyped(ttByte, "1 2 255 256").bytes, (std::vector<uint8_t>{1, 2, 255, 0}));
  EXPECT_EQ(parseTyped(ttSByte, "-1").bytes, (std::vector<uint8_t>{255}));
  EXPECT_EQ(parseTyped(ttUndefined, "0 hi").bytes, (std::vector<uint8_t>{'0', ' ', 'h', 'i'}));
  EXPECT_EQ(parseTyped(ttUndefined, " , ").bytes, (std::vector<uint8_t>{' ', ',', ' '}));
  EXPECT_TRUE(parseTyped(ttUndefined, "").bytes.empty());
  // ASCII and the floating types keep the text unchanged.
  EXPECT_EQ(parseTyped(ttAscii, " a,b ").text, " a,b ");
  EXPECT_EQ(parseTyped(ttDouble, "1.5").text, "1.5");
}

TEST(SetTagByName, AcceptsExactNamesAndRefusesBadValuesWithoutChange) {
  ExifEdit edit;
  EXPECT_FALSE(setTagByName(edit, "orientation", "6"));
  EXPECT_TRUE(setTagByName(edit, "Orientation", "6"));
  EXPECT_EQ(edit.ifd0.find(0x0112)->ints, (std::vector<int64_t>{6}));
  EXPECT_FALSE(setTagByName(edit, "Orientation", "70000"));
  EXPECT_FALSE(setTagByName(edit, "Orientation", "-1"));
  EXPECT_EQ(edit.ifd0.find(0x0112)->ints, (std::vector<int64_t>{6}));

  EXPECT_TRUE(setTagByName(edit, "ExposureTime", "1/250"));
  EXPECT_FALSE(setTagByName(edit, "ExposureTime", "0.5"));
  EXPECT_EQ(edit.exif.find(0x829A)->rationals, (Pairs{{1, 250}}));
  EXPECT_TRUE(setTagByName(edit, "ExposureCompensation", "-2/3"));
  EXPECT_EQ(edit.exif.find(0x9204)->kind, ttSRational);
  EXPECT_FALSE(setTagByName(edit, "GPSLatitude", "1"));  // GPS only through setGps
  EXPECT_TRUE(edit.gps.empty());

  EXPECT_TRUE(setTagByName(edit, "UserComment", "hi"));
  const std::vector<uint8_t> comment = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i'};
  EXPECT_EQ(edit.exif.find(0x9286)->bytes, comment);
  EXPECT_EQ(edit.exif.find(0x9286)->kind, ttUndefined);

  for (const EditableTag& tag : editableTags) {
    if (tag.type != ttAscii) continue;
    EXPECT_TRUE(setTagByName(edit, tag.name, "text")) << tag.name;
    const TagValues& directory = tag.directory == 0 ? edit.ifd0 : edit.exif;
    EXPECT_EQ(directory.find(tag.tag)->text, "text") << tag.name;
  }
}

TEST(SetTagByName, ReplacesInPlaceKeepingOneEntryPerTag) {
  ExifEdit edit;
  ASSERT_TRUE(setTagByName(edit, "Artist", "one"));
  ASSERT_TRUE(setTagByName(edit, "Make", "cam"));
  ASSERT_TRUE(setTagByName(edit, "Artist", "two"));
  EXPECT_EQ(edit.ifd0.size(), 2u);
  EXPECT_EQ(edit.ifd0.begin()->first, 0x013B);
  EXPECT_EQ(edit.ifd0.begin()->second.text, "two");
}

TEST(FixedSetters, StoreTextAsGivenInTheirTags) {
  ExifEdit edit;
  setArtist(edit, " Ann ");
  setSoftware(edit, "");
  setDateTimeOriginal(edit, "yesterday");
  EXPECT_EQ(edit.ifd0.find(0x013B)->text, " Ann ");
  EXPECT_EQ(edit.ifd0.find(0x0131)->text, "");
  EXPECT_EQ(edit.exif.find(0x9003)->text, "yesterday");
  EXPECT_EQ(edit.exif.find(0x9004)->text, "yesterday");
  EXPECT_EQ(edit.ifd0.find(0x0132)->text, "yesterday");
  stripAll(edit);
  EXPECT_TRUE(edit.ifd0.empty() && edit.exif.empty() && edit.gps.empty());
  EXPECT_THROW(setTag(edit, 3, 1, asciiVal("x")), std::out_of_range);
}

TEST(SetGps, WritesTheSixPositionTags) {
  ExifEdit edit;
  edit.gps.set(0x0000, byteVal({2, 3, 0, 0}));
  setGps(edit, -33.5, 151.25, -10);
  EXPECT_EQ(edit.gps.find(0x0001)->text, "S");
  EXPECT_EQ(edit.gps.find(0x0002)->rationals, (Pairs{{33, 1}, {30, 1}, {0, 10000}}));
  EXPECT_EQ(edit.gps.find(0x0003)->text, "E");
  EXPECT_EQ(edit.gps.find(0x0004)->rationals, (Pairs{{151, 1}, {15, 1}, {0, 10000}}));
  EXPECT_EQ(edit.gps.find(0x0005)->bytes, (std::vector<uint8_t>{1}));
  EXPECT_EQ(edit.gps.find(0x0006)->rationals, (Pairs{{1000, 100}}));
  EXPECT_NE(edit.gps.find(0x0000), nullptr);  // other GPS tags stay
  EXPECT_EQ(edit.gps.size(), 7u);

  setGps(edit, 41.4033806, -2.17403, 120.255);
  EXPECT_EQ(edit.gps.find(0x0001)->text, "N");
  EXPECT_EQ(edit.gps.find(0x0003)->text, "W");
  EXPECT_EQ(edit.gps.find(0x0005)->bytes, (std::vector<uint8_t>{0}));
  EXPECT_EQ(edit.gps.find(0x0006)->rationals, (Pairs{{12026, 100}}));
  EXPECT_EQ(edit.gps.find(0x0002)->rationals, (Pairs{{41, 1}, {24, 1}, {121702, 10000}}));
}

TEST(SetGps, SecondsNeverReachSixtyAndUnwritablePositionsChangeNothing) {
  EXPECT_EQ(dms(10.999999999), (Pairs{{10, 1}, {59, 1}, {599999, 10000}}));
  EXPECT_EQ(dms(0), (Pairs{{0, 1}, {0, 1}, {0, 10000}}));

  ExifEdit edit;
  setGps(edit, std::nan(""), 1, 1);
  setGps(edit, 1, std::numeric_limits<double>::infinity(), 1);
  setGps(edit, 1, 1, 1e12);  // hundredths beyond 32 bits
  setGps(edit, 5e9, 1, 1);
  EXPECT_TRUE(edit.gps.empty());
}

}  // namespace
}  // namespace orvel::metadata::edit
