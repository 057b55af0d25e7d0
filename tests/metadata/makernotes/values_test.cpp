// The value helpers the Pentax, Olympus, Casio, Minolta and Sigma decoders share.
#include "metadata/makernotes/values.h"

#include <gtest/gtest.h>

using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;

namespace {

constexpr BitName kRows[] = {{0, "Upper-left"}, {5, "Center"}, {10, "Lower-right"}};

}  // namespace

TEST(NoteValues, BitmaskJoinsSetBitsInRowOrder) {
  EXPECT_EQ(bitmaskStr(0, "Auto", kRows), "Auto");
  EXPECT_EQ(bitmaskStr(0x0020, "Auto", kRows), "Center");
  EXPECT_EQ(bitmaskStr(0x0421, "Auto", kRows), "Upper-left, Center, Lower-right");
  // Set bits that no row names give nothing at all, not the default.
  EXPECT_EQ(bitmaskStr(0x0002, "Auto", kRows), "");
  EXPECT_EQ(bitmaskStr(0x8003, "Auto", kRows), "Upper-left");
}

TEST(NoteValues, PentaxExposureStepsFoldThirds) {
  EXPECT_NEAR(pentaxEv(3), (3 - 1.0 / 3) / 8, 1e-12);
  EXPECT_NEAR(pentaxEv(5), (5 + 1.0 / 3) / 8, 1e-12);
  EXPECT_NEAR(pentaxEv(-3), -(3 - 1.0 / 3) / 8, 1e-12);
  EXPECT_NEAR(pentaxEv(-5), -(5 + 1.0 / 3) / 8, 1e-12);
  EXPECT_NEAR(pentaxEv(11), (11 - 1.0 / 3) / 8, 1e-12);  // 11 mod 8 = 3
  EXPECT_NEAR(pentaxEv(13), (13 + 1.0 / 3) / 8, 1e-12);  // 13 mod 8 = 5
  EXPECT_DOUBLE_EQ(pentaxEv(8), 1.0);
  EXPECT_DOUBLE_EQ(pentaxEv(-12), -1.5);
  EXPECT_DOUBLE_EQ(pentaxEv(7), 7.0 / 8);  // other odd remainders are plain eighths
  EXPECT_DOUBLE_EQ(pentaxEv(1), 1.0 / 8);
  EXPECT_DOUBLE_EQ(pentaxEv(0), 0.0);
}

TEST(NoteValues, SignedEvAndExposureTimes) {
  EXPECT_EQ(signedEv(0), "0");
  EXPECT_EQ(signedEv(1), "+1.0");
  EXPECT_EQ(signedEv(-1), "-1.0");
  EXPECT_EQ(signedEv(pentaxEv(3)), "+0.3");
  EXPECT_EQ(signedEv(pentaxEv(-5)), "-0.7");

  EXPECT_EQ(pexpTime(0.25), "1/4");
  EXPECT_EQ(pexpTime(0.25001 - 1e-9), "1/4");
  EXPECT_EQ(pexpTime(0.3), "0.3");
  EXPECT_EQ(pexpTime(24), "24.0");
  EXPECT_EQ(pexpTime(0.01171875), "1/85");
  EXPECT_EQ(pexpTime(1.0 / 3), "0.3");
  EXPECT_EQ(pexpTime(0), "0.0");  // not a short time: no division by zero
}

TEST(NoteValues, TrimmedAndFixedDecimals) {
  EXPECT_EQ(trimFloat(1.5, 4), "1.5");
  EXPECT_EQ(trimFloat(2, 4), "2");
  EXPECT_EQ(trimFloat(-0.375, 4), "-0.375");
  EXPECT_EQ(trimFloat(1.0 / 3, 4), "0.3333");
  EXPECT_EQ(trimFloat(100, 0), "100");  // no point: zeros of the integer part stay
  EXPECT_EQ(trimFloat(0.00001, 4), "0");
  EXPECT_EQ(trimFloat(-0.00001, 4), "0");
  EXPECT_EQ(fixedDecimals(5.65685, 1), "5.7");
  EXPECT_EQ(fixedDecimals(22.627, 0), "23");
}

TEST(NoteValues, RatioTextsBecomeDecimals) {
  EXPECT_EQ(ratToDecimal("1/3"), "0.333333");
  EXPECT_EQ(ratToDecimal("43/2"), "21.5");
  EXPECT_EQ(ratToDecimal("-3/4"), "-0.75");
  EXPECT_EQ(ratToDecimal("5"), "");
  EXPECT_EQ(ratToDecimal("1/0"), "");
  EXPECT_EQ(ratToDecimal("1 /2"), "");
  EXPECT_EQ(ratToDecimal("1/2 3/4"), "");
  EXPECT_EQ(ratToDecimal("a/2"), "");
  EXPECT_EQ(ratToDecimal("2/"), "");
  EXPECT_EQ(ratToDecimal(""), "");
}

TEST(NoteValues, AfterColonKeepsTheStrippedValue) {
  EXPECT_EQ(afterColon("Contrast: +0.3"), "+0.3");
  EXPECT_EQ(afterColon("  Plain text \n"), "Plain text");
  EXPECT_EQ(afterColon("a: b:c "), "b:c");
  EXPECT_EQ(afterColon("Empty:   "), "");
}

TEST(NoteValues, IsoPaddingAndTextTables) {
  EXPECT_EQ(roundedIso(0), 100);
  EXPECT_EQ(roundedIso(1), 200);
  EXPECT_EQ(roundedIso(-1), 50);
  EXPECT_EQ(roundedIso(pentaxEv(3)), 126);  // 100 × 2^(1/3) = 125.99
  EXPECT_EQ(zeroPadded(5, 2), "05");
  EXPECT_EQ(zeroPadded(2005, 4), "2005");
  EXPECT_EQ(zeroPadded(123456, 4), "123456");
  EXPECT_EQ(zeroPadded(-7, 3), "-007");

  constexpr auto kTable = std::to_array<TextName>({{"A", "Average"}, {"C", "Center"}});
  static_assert(isSortedTable(kTable));
  EXPECT_EQ(lookupText(kTable, "C"), "Center");
  EXPECT_EQ(lookupText(kTable, "B"), "");
  EXPECT_EQ(lookupText(kTable, ""), "");
}

TEST(NoteValues, MinoltaElementsNeedTheirFourBytes) {
  const std::vector<uint8_t> bytes = {0x07, 0xD5, 0x0A, 0x1F, 0x01, 0x02, 0x03, 0x04, 0xFF};
  TiffTag tag;
  tag.data = bytes;
  tag.bigEndian = true;
  EXPECT_EQ(minoltaArr(tag, 0), 0x07D50A1Fu);
  EXPECT_EQ(minoltaArr(tag, 1), 0x01020304u);
  EXPECT_FALSE(minoltaArr(tag, 2).has_value());  // one stray byte is not an element
  EXPECT_FALSE(minoltaArr(tag, SIZE_MAX).has_value());
  tag.bigEndian = false;  // the note's order does not turn the block
  EXPECT_EQ(minoltaArr(tag, 0), 0x07D50A1Fu);

  EXPECT_EQ(rawBytesJoined(tag, 4, "."), "7.213.10.31");
  EXPECT_FALSE(rawBytesJoined(tag, 10, ".").has_value());
}
