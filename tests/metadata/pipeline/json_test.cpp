// The JSON text of a metadata record: layout, member rules, numbers and escapes, byte for byte.
#include "metadata/pipeline/json.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  // A position no place on Earth has is no position.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Position {
    double latitude, longitude, altitude;
    bool kept;
  } const positions[] = {{90, -180, -430.5, true},   {-90, 180, 8848, true},
                         {90.000001, 0, 0, false},   {0, -180.000001, 0, false},
                         {inf, 151.2, 0, false},     {-33.9, -inf, 0, false},
                         {nan, 151.2, 0, false},     {-33.9, nan, 0, false},
                         {-33.9, 151.2, inf, false}, {-33.9, 151.2, nan, false}};
  for (const Position& p : positions) {
    meta.latitude = p.latitude;
    meta.longitude = p.longitude;
    meta.altitude = p.altitude;
    EXPECT_EQ(meta.hasGps(), p.kept) << p.latitude << " " << p.longitude << " " << p.altitude;
    EXPECT_EQ(metaToJson(meta).find("\"gps\"") != std::string::npos, p.kept);
  }
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

// Whether the text is UTF-8 as RFC 3629 defines it, decoded code point by code point.
bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) return false;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if (next >> 6 != 2) return false;
      code = code << 6 | (next & 0x3F);
    }
    constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(length);
  }
  return true;
}

TEST(JsonStrings, AlwaysUtf8WithStrayBytesReadAsLatin1) {
  struct Case {
    std::string_view bytes;
    std::string_view json;  // between the quotes
  } const cases[] = {
      {"/\x7f", "/\x7f"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb7", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb7"},
      {"\xa9 2024 Ren\xe9", "\xc2\xa9 2024 Ren\xc3\xa9"},                 // Latin-1 text
      {"\x80\xff", "\xc2\x80\xc3\xbf"},                                  // lone bytes
      {"\xe2\x82" "A", "\xc3\xa2\xc2\x82" "A"},                          // a sequence cut short
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                                  // an overlong form
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},                    // a surrogate
      {"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},      // above U+10FFFF
      {"\xc3\xa9\xe9\n", "\xc3\xa9\xc3\xa9\\n"},                        // mixed, then escaped
      {"x\x1fy", "x\\u001Fy"},
  };
  for (const Case& c : cases) {
    std::string expected = "\"";
    expected.append(c.json).push_back('"');
    EXPECT_EQ(jsonString(c.bytes), expected) << c.bytes;
  }
  // Whatever the bytes, the text is UTF-8, and text that already was passes through.
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 24, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 3 == 0 ? random() % 0x40 + 0x80 : random());
    const std::string json = jsonString(bytes);
    ASSERT_TRUE(isUtf8(json)) << json;
    if (isUtf8(bytes) && bytes.find_first_of(std::string("\"\\\0", 3)) == std::string::npos &&
        std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
      EXPECT_EQ(json.substr(1, json.size() - 2), bytes);
    }
  }
}
