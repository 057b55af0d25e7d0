// Real packets written by exiftool (scripts/make-packet-fixtures.sh), read here and compared
// with exiftool's own reading of the same files (the NAME.args files beside them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "metadata/iptc/iptc.h"
#include "metadata/xmp/xmp.h"

using namespace orvel::metadata;
using namespace orvel::metadata::iptc;
using namespace orvel::metadata::xmp;

namespace {

using Bytes = std::vector<uint8_t>;

struct ExiftoolTag {
  std::string group;  // "IPTC", "XMP-dc", ...
  std::string name;   // "Keywords", "Subject", ...
  std::string value;
};

std::string fixturePath(const std::string& file) {
  return std::string(ORVEL_FIXTURES) + "/packets/" + file;
}

Bytes readFixture(const std::string& file) {
  std::ifstream in(fixturePath(file), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Lines of the form "-Group:Name=value".
std::vector<ExiftoolTag> readExiftoolTags(const std::string& file) {
  std::vector<ExiftoolTag> tags;
  std::ifstream in(fixturePath(file));
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find(':');
    const auto equals = line.find('=');
    if (line.empty() || line[0] != '-' || colon == std::string::npos || equals < colon) continue;
    tags.push_back({line.substr(1, colon - 1), line.substr(colon + 1, equals - colon - 1),
                    line.substr(equals + 1)});
  }
  return tags;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string strip(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string withoutColons(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
  return text;
}

// Our property for exiftool's XMP-prefix:Name; exiftool capitalises local names.
const std::string* propertyFor(const XmpRecord& record, const ExiftoolTag& tag) {
  const std::string wanted = lower(tag.group.substr(4) + ":" + tag.name);
  for (const auto& [name, value] : record.properties) {
    if (lower(name) == wanted) return &value;
  }
  return nullptr;
}

void expectSameIptc(const std::string& stem) {
  const IptcRecord record = parseIptc(readFixture(stem + ".jpg"));
  std::size_t compared = 0;
  for (const auto& tag : readExiftoolTags(stem + ".args")) {
    if (tag.group != "IPTC") continue;
    const std::string* ours = record.names.find(tag.name);
    ASSERT_NE(ours, nullptr) << stem << " " << tag.name;
    // exiftool formats IPTC dates and times with colons; the raw values have none.
    const bool dateOrTime = tag.name.find("Date") != std::string::npos ||
                            tag.name.find("Time") != std::string::npos;
    EXPECT_EQ(*ours, dateOrTime ? withoutColons(tag.value) : tag.value) << stem << " " << tag.name;
    ++compared;
  }
  EXPECT_EQ(compared, record.names.size()) << stem << ": we read datasets exiftool did not";
  EXPECT_GT(compared, 0u);
}

void expectSameXmp(const std::string& file) {
  const std::string stem = file.substr(0, file.rfind('.'));
  const XmpRecord record = readXmpBytes(readFixture(file));
  std::size_t compared = 0;
  for (const auto& tag : readExiftoolTags(stem + ".args")) {
    // The toolkit name is an attribute of x:xmpmeta, outside every rdf:Description.
    if (tag.group.rfind("XMP-", 0) != 0 || tag.group == "XMP-x") continue;
    const std::string* ours = propertyFor(record, tag);
    ASSERT_NE(ours, nullptr) << stem << " " << tag.group << ":" << tag.name;
    // exiftool keeps leading white space; properties here are stripped at both ends.
    EXPECT_EQ(*ours, strip(tag.value)) << stem << " " << tag.name;
    ++compared;
  }
  EXPECT_EQ(compared, record.properties.size()) << stem << ": we read properties exiftool did not";
  EXPECT_GT(compared, 0u);
}

}  // namespace

TEST(PacketFixtures, IptcMatchesExiftool) {
  expectSameIptc("iptc");
  expectSameIptc("combined");
}

TEST(PacketFixtures, XmpMatchesExiftool) {
  expectSameXmp("xmp_elements.jpg");
  expectSameXmp("xmp_attributes.jpg");
  expectSameXmp("combined.jpg");
}

TEST(PacketFixtures, XmpInPngAndWebpChunksMatchesExiftool) {
  expectSameXmp("xmp_itxt.png");
  expectSameXmp("xmp_itxt_zipped.png");  // compressed iTXt: read after inflation
  expectSameXmp("xmp_chunk.webp");
  const XmpRecord zipped = readXmpBytes(readFixture("xmp_itxt_zipped.png"));
  EXPECT_EQ(zipped.title, "In a chunk");
  EXPECT_EQ(zipped.subjects, (std::vector<std::string>{"alpha", "beta"}));
  // A PNG or WebP without XMP is not searched any further.
  Bytes png = readFixture("xmp_itxt.png");
  const auto itxt = std::search(png.begin(), png.end(), std::begin("iTXt"), std::end("iTXt") - 1);
  ASSERT_NE(itxt, png.end());
  *itxt = 'x';  // an unknown ancillary chunk now
  EXPECT_TRUE(readXmpBytes(png).properties.empty());
}

TEST(PacketFixtures, XmpRecordFieldsFromTheSecondApp1) {
  const Bytes jpeg = readFixture("xmp_elements.jpg");
  // exiftool put EXIF first; the XMP segment is the second APP1.
  const XmpLocation found = findXmpApp1(jpeg);
  ASSERT_GT(found.offset, 0);
  int app1Before = 0;
  for (int64_t i = 2; i + 1 < found.offset; ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xE1) ++app1Before;
  }
  EXPECT_EQ(app1Before, 2);  // the EXIF segment and the XMP segment itself
  const XmpRecord record = readXmpBytes(jpeg);
  EXPECT_EQ(record.title, "A <small> title");
  EXPECT_EQ(record.description, "Line one");
  EXPECT_EQ(record.rights, "\xC2\xA9 2024 Ann");
  EXPECT_EQ(record.creators, (std::vector<std::string>{"Ann Example", "Bob"}));
  EXPECT_EQ(record.subjects, (std::vector<std::string>{"alpha", "beta", "gamma & delta"}));
  // Attributes and elements give the same properties.
  const XmpRecord attributes = readXmpBytes(readFixture("xmp_attributes.jpg"));
  for (const char* name :
       {"xmp:CreatorTool", "xmp:Rating", "photoshop:City", "photoshop:Headline"}) {
    ASSERT_NE(attributes.properties.find(name), nullptr) << name;
    EXPECT_EQ(*attributes.properties.find(name), *record.properties.find(name)) << name;
  }
}

TEST(PacketFixtures, IptcAndXmpAreIndependentOfEachOther) {
  const Bytes combined = readFixture("combined.jpg");
  EXPECT_EQ(parseIptc(combined).caption, "Shared caption");
  EXPECT_EQ(readXmpBytes(combined).description, "Shared caption");
  EXPECT_TRUE(parseIptc(readFixture("xmp_elements.jpg")).names.empty());
  EXPECT_TRUE(readXmpBytes(readFixture("iptc.jpg")).properties.empty());
}
