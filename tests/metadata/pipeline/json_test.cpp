// The JSON text of a metadata record: layout, member rules, numbers and escapes, byte for byte.
#include "metadata/pipeline/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;

namespace {

std::string number(double value) {
  std::string out;
  appendJsonNumber(out, value);
  return out;
}

std::string jsonString(std::string_view text) {
  std::string out;
  appendJsonString(out, text);
  return out;
}

Metadata canonRecord() {
  Metadata meta;
  meta.isValid = true;
  meta.orientation = 6;
  meta.camera = "Canon Canon EOS 5D";
  meta.latitude = -33.86666666666667;
  meta.longitude = 151.2;
  meta.altitude = 10;
  meta.latRef = 'S';
  meta.lonRef = 'E';
  meta.tags.set("Make", "Canon");
  meta.tags.set("FNumber", "f/2.8");
  return meta;
}

// Significant digits of a number text: no sign, exponent, point, or leading/trailing zeros.
std::size_t significantDigits(std::string_view text) {
  std::string digits;
  for (char c : text.substr(0, text.find('e'))) {
    if (c >= '0' && c <= '9') digits += c;
  }
  std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 1;
  return digits.find_last_not_of('0') - first + 1;
}

// The fewest significant digits that printf needs for the value to read back exactly.
std::size_t shortestDigitCount(double value) {
  for (int digits = 1; digits < 17; ++digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    if (std::strtod(text, nullptr) == value) return static_cast<std::size_t>(digits);
  }
  return 17;
}

}  // namespace

TEST(JsonDocument, DefaultRecordHasOnlyTheAlwaysPresentMembers) {
  EXPECT_EQ(metaToJson(Metadata{}),
            "{\n  \"isValid\": false,\n  \"orientation\": 0,\n  \"tags\": {}\n}");
}

TEST(JsonDocument, FullRecordLayout) {
  EXPECT_EQ(metaToJson(canonRecord()),
            "{\n"
            "  \"isValid\": true,\n"
            "  \"orientation\": 6,\n"
            "  \"camera\": \"Canon Canon EOS 5D\",\n"
            "  \"gps\": {\n"
            "    \"latitude\": -33.86666666666667,\n"
            "    \"longitude\": 151.2,\n"
            "    \"altitude\": 10.0\n"
            "  },\n"
            "  \"tags\": {\n"
            "    \"Make\": \"Canon\",\n"
            "    \"FNumber\": \"f/2.8\"\n"
            "  }\n"
            "}");
}

TEST(JsonDocument, SoftwareFollowsCameraAndNegativeOrientation) {
  Metadata meta;
  meta.orientation = -3;
  meta.camera = "X";
  meta.software = "GIMP \"2\"";
  std::string json = metaToJson(meta);
  EXPECT_NE(json.find("\"orientation\": -3,\n  \"camera\": \"X\",\n  \"software\": "
                      "\"GIMP \\\"2\\\"\",\n  \"tags\": {}\n}"),
            std::string::npos)
      << json;
}

TEST(JsonDocument, GpsNeedsBothReferences) {
  Metadata meta = canonRecord();
  meta.lonRef = 0;
  EXPECT_EQ(metaToJson(meta).find("\"gps\""), std::string::npos);
  meta.lonRef = 'W';
  meta.latRef = 'X';
  EXPECT_EQ(metaToJson(meta).find("\"gps\""), std::string::npos);
  meta.latRef = 'N';
  EXPECT_NE(metaToJson(meta).find("\"gps\""), std::string::npos);
}

TEST(JsonDocument, TagsKeepMapOrderAndEscapeNames) {
  Metadata meta;
  meta.tags.set("Zeta", "1");
  meta.tags.set("Al\"pha", "line\nbreak");
  meta.tags.set("Zeta", "2");  // replaced in place
  EXPECT_EQ(metaToJson(meta),
            "{\n  \"isValid\": false,\n  \"orientation\": 0,\n  \"tags\": {\n"
            "    \"Zeta\": \"2\",\n    \"Al\\\"pha\": \"line\\nbreak\"\n  }\n}");
}

TEST(JsonDocument, NoFinalLineFeedAndRepeatable) {
  std::string first = metaToJson(canonRecord());
  EXPECT_EQ(first.back(), '}');
  EXPECT_EQ(first, metaToJson(canonRecord()));
}

TEST(JsonNumbers, FixedNotationRange) {
  EXPECT_EQ(number(45), "45.0");
  EXPECT_EQ(number(0), "0.0");
  EXPECT_EQ(number(10), "10.0");
  EXPECT_EQ(number(151.2), "151.2");
  EXPECT_EQ(number(-0.000001), "-0.000001");
  EXPECT_EQ(number(1e-7), "0.0000001");  // point 6 places before the first digit
  EXPECT_EQ(number(0.1), "0.1");
  EXPECT_EQ(number(-33.86666666666667), "-33.86666666666667");
  EXPECT_EQ(number(1e16), "10000000000000000.0");  // point 17 places after the first digit
  EXPECT_EQ(number(12345678901234567.0), "12345678901234568.0");
  EXPECT_EQ(number(0.30000000000000004), "0.30000000000000004");
}

TEST(JsonNumbers, ScientificOutsideTheRange) {
  EXPECT_EQ(number(1e-8), "1e-8");
  EXPECT_EQ(number(1.5e-8), "1.5e-8");
  EXPECT_EQ(number(1e20), "1e+20");
  EXPECT_EQ(number(1e17), "1e+17");
  EXPECT_EQ(number(-2.5e100), "-2.5e+100");
  EXPECT_EQ(number(std::numeric_limits<double>::denorm_min()), "5e-324");
  EXPECT_EQ(number(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
}

TEST(JsonNumbers, NonFiniteAreStrings) {
  EXPECT_EQ(number(std::nan("")), "\"nan\"");
  EXPECT_EQ(number(std::numeric_limits<double>::infinity()), "\"inf\"");
  EXPECT_EQ(number(-std::numeric_limits<double>::infinity()), "\"-inf\"");
}

TEST(JsonNumbers, ShortestTextReadsBackExactly) {
  std::mt19937_64 random(12345);
  std::uniform_int_distribution<uint64_t> bits;
  int checked = 0;
  while (checked < 20000) {
    uint64_t pattern = bits(random);
    double value;
    std::memcpy(&value, &pattern, sizeof value);
    if (!std::isfinite(value)) continue;
    std::string text = number(value);
    double back = std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text;
    ASSERT_EQ(significantDigits(text), shortestDigitCount(value)) << text;
    ++checked;
  }
}

TEST(JsonStrings, EscapeTable) {
  std::string controls;
  for (int byte = 0; byte < 0x20; ++byte) controls += static_cast<char>(byte);
  EXPECT_EQ(jsonString(controls),
            "\"\\u0000\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r"
            "\\u000E\\u000F\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018"
            "\\u0019\\u001A\\u001B\\u001C\\u001D\\u001E\\u001F\"");
  EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(jsonString(""), "\"\"");
}

TEST(JsonStrings, OtherBytesCopiedUnchecked) {
  std::string bytes = "/\x7f\x80\xff\xc3\xa9";
  EXPECT_EQ(jsonString(bytes), "\"" + bytes + "\"");
  EXPECT_EQ(jsonString("x\x1fy"), "\"x\\u001Fy\"");
  EXPECT_EQ(jsonString("line\nfeed"), "\"line\\nfeed\"");
}
