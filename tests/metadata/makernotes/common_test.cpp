// Helpers shared by the maker-note decoders: number parsing, decimal rendering, the Apple and
// Panasonic value formats, hexadecimal names and 16-bit array access.
#include "metadata/makernotes/common.h"

#include <gtest/gtest.h>

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;

TEST(MakerNoteNum, FirstTokenAsDecimalOrMinusOne) {
  EXPECT_EQ(num("12 34"), 12);
  EXPECT_EQ(num("  -3"), -3);
  EXPECT_EQ(num("+5"), 5);
  EXPECT_EQ(num("256"), 256);
  EXPECT_EQ(num(""), -1);
  EXPECT_EQ(num("abc"), -1);
  EXPECT_EQ(num("1/3"), -1);  // a rational is not an integer
  EXPECT_EQ(num("99999999999999999999"), -1);
}

TEST(MakerNoteToDecimals, RationalsBecomeTrimmedDecimals) {
  EXPECT_EQ(toDecimals("1/3 5/2 7", 4), "0.3333 2.5 7");
  EXPECT_EQ(toDecimals("4/2", 4), "2");
  EXPECT_EQ(toDecimals("-1/50 981/1000 3/100", 4), "-0.02 0.981 0.03");
  EXPECT_EQ(toDecimals("2/3", 4), "0.6667");  // rounded, not cut
  EXPECT_EQ(toDecimals("5/0", 4), "0");
  EXPECT_EQ(toDecimals("x/2 3/y", 4), "0 3");  // unparsable parts count as 0 and 1
  EXPECT_EQ(toDecimals("  1/4   abc ", 4), "0.25 abc");  // empty pieces dropped
  EXPECT_EQ(toDecimals("", 4), "");
}

TEST(MakerNoteToDecimals, TinyNegativeQuotientReadsZeroNotMinusZero) {
  EXPECT_EQ(toDecimals("-1/100000", 4), "0");
  EXPECT_EQ(toDecimals("100/1", 0), "100");  // whole numbers keep their zeros
}

TEST(MakerNoteAppleCodes, KnownCodesNamedOthersKept) {
  EXPECT_EQ(getImageCaptureType("1"), "ProRAW");
  EXPECT_EQ(getImageCaptureType("2"), "Portrait");
  EXPECT_EQ(getImageCaptureType("10"), "Photo");
  EXPECT_EQ(getImageCaptureType("12"), "Scene");
  EXPECT_EQ(getImageCaptureType("11"), "11");
  EXPECT_EQ(getAppleCameraType("0"), "Back Wide Angle");
  EXPECT_EQ(getAppleCameraType("1"), "Back Normal");
  EXPECT_EQ(getAppleCameraType("6"), "Front");
  EXPECT_EQ(getAppleCameraType("2"), "2");
  EXPECT_EQ(getAppleCameraType(""), "");
}

TEST(MakerNotePanasonicFormats, SerialNumberLayout) {
  EXPECT_EQ(panaSerial("F541005180345"), "(F54) 2010:05:18 no. 0345");
  EXPECT_EQ(panaSerial("K061102250012AB"), "(K06) 2011:02:25 no. 0012AB");
  EXPECT_EQ(panaSerial("F54100518034"), "");   // 12 characters
  EXPECT_EQ(panaSerial("F5X1005180345"), "");  // position 2 must be a digit
  EXPECT_EQ(panaSerial("F5410051X0345"), "");  // so must the date digits
  EXPECT_EQ(panaSerial("F541005X80345"), "");  // including the day's first digit
}

TEST(MakerNoteHex, PaddedUpperCaseNeverCut) {
  EXPECT_EQ(toHex(9, 4), "0009");
  EXPECT_EQ(toHex(0xABCDE, 4), "ABCDE");
}

TEST(MakerNotePanasonicFormats, PowerOnTime) {
  EXPECT_EQ(panaPowerTime(370000), "01:01:40.00");
  EXPECT_EQ(panaPowerTime(0), "00:00:00.00");
  EXPECT_EQ(panaPowerTime(6099), "00:01:00.99");
  EXPECT_EQ(panaPowerTime(36000000), "100:00:00.00");  // hours may need three digits
  EXPECT_EQ(panaPowerTime(-1), "");
}

TEST(MakerNoteCanonArr, SignedElementsInTheEntryByteOrder) {
  const std::vector<uint8_t> bytes = {0x01, 0x00, 0xFF, 0xFF, 0x07};  // 1, -1, then half an element
  TiffTag le;
  le.data = bytes;
  EXPECT_EQ(canonArr(le, 0), 1);
  EXPECT_EQ(canonArr(le, 1), -1);
  EXPECT_FALSE(canonArr(le, 2).has_value());
  EXPECT_FALSE(canonArr(le, SIZE_MAX).has_value());
  TiffTag be = le;
  be.bigEndian = true;
  EXPECT_EQ(canonArr(be, 0), 256);
}

TEST(MakerNoteTables, LookupHitsAndMisses) {
  constexpr std::array<CodeText, 3> table = {{{-1, "n/a"}, {0, "Off"}, {16, "External"}}};
  static_assert(isSortedTable(table));
  EXPECT_EQ(lookupCode(table, 16), "External");
  EXPECT_EQ(lookupCode(table, -1), "n/a");
  EXPECT_FALSE(lookupCode(table, 7).has_value());
  TagMap out;
  setFromTable(out, "X:Flash", table, 7);
  EXPECT_TRUE(out.empty());
  setFromTable(out, "X:Flash", table, 0);
  EXPECT_EQ(*out.find("X:Flash"), "Off");
  setStripped(out, "X:Empty", " \t ");
  setStripped(out, "X:Text", " FINE ");
  EXPECT_FALSE(out.contains("X:Empty"));
  EXPECT_EQ(*out.find("X:Text"), "FINE");
  constexpr std::array<CodeText, 2> unsorted = {{{2, "b"}, {1, "a"}}};
  static_assert(!isSortedTable(unsorted));
}

