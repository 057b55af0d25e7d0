// Large hostile packets: deep nesting, many attributes, long text and many repeats must give
// the right results (the reader stores subtree extents and per-name element lists, so none of
// this re-walks the tree).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "metadata/iptc/iptc.h"
#include "metadata/xmp/xml.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"
#include "support/packet_builders.h"

using namespace orvel::metadata;
using namespace orvel::metadata::iptc;
using namespace orvel::metadata::xmp;
using orvel::testing::xmpPacket;

namespace {

// Property elements nested `levels` deep inside nested rdf:Descriptions, each holding a Bag of
// one item with its own word: level k sees the words k..levels-1.
std::string nestedStructures(int levels, const std::string& word) {
  std::string open;
  std::string close;
  for (int k = 0; k < levels; ++k) {
    open += "<rdf:Description><xmp:P" + std::to_string(k) + "><rdf:Bag><rdf:li>" + word +
            std::to_string(k);
    close = "</rdf:li></rdf:Bag></xmp:P" + std::to_string(k) + "></rdf:Description>" + close;
  }
  return open + close;
}

}  // namespace

TEST(AdversarialPackets, DeepNestingUpToTheCap) {
  // Four elements per level plus x:xmpmeta and rdf:RDF: 63 levels stay under 256.
  const XmpRecord record = parseXmp(xmpPacket(nestedStructures(63, "w")));
  ASSERT_EQ(record.properties.size(), 63u);
  // The outermost property lists every item below it, each li's text including its inner ones.
  const std::string* outer = record.properties.find("xmp:P0");
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->substr(0, 6), "w0w1w2");
  EXPECT_EQ(*record.properties.find("xmp:P62"), "w62");
  EXPECT_EQ(*record.properties.find("xmp:P61"), "w61w62, w62");
  // One more level passes the cap: the whole packet is refused.
  EXPECT_TRUE(parseXmp(xmpPacket(nestedStructures(64, "w"))).properties.empty());
}

TEST(AdversarialPackets, ManyAttributesAndDescriptions) {
  std::string attributes;
  const int count = 20000;
  for (int i = 0; i < count; ++i) {
    attributes += " xmp:A" + std::to_string(i) + "='v" + std::to_string(i) + "'";
  }
  std::string body = "<rdf:Description" + attributes + "/>";
  for (int i = 0; i < count; ++i) {
    body += "<rdf:Description><xmp:E" + std::to_string(i) + ">e</xmp:E" + std::to_string(i) +
            "></rdf:Description>";
  }
  const XmpRecord record = parseXmp(xmpPacket(body));
  ASSERT_EQ(record.properties.size(), 2u * count);
  EXPECT_EQ(*record.properties.find("xmp:A19999"), "v19999");
  EXPECT_EQ(*record.properties.find("xmp:E12345"), "e");
  // Duplicate detection among thousands of attributes.
  EXPECT_TRUE(parseXmp(xmpPacket("<rdf:Description" + attributes + " xmp:A7='again'/>"))
                  .properties.empty());
}

TEST(AdversarialPackets, LongTextAndManyListItems) {
  const std::string longText(4 << 20, 'x');
  std::string items;
  const int count = 50000;
  for (int i = 0; i < count; ++i) items += "<rdf:li>k" + std::to_string(i) + "</rdf:li>";
  const XmpRecord record = parseXmp(xmpPacket(
      "<rdf:Description><xmp:Long>" + longText + "</xmp:Long><dc:subject><rdf:Bag>" + items +
      "</rdf:Bag></dc:subject></rdf:Description>"));
  EXPECT_EQ(record.properties.find("xmp:Long")->size(), longText.size());
  ASSERT_EQ(record.subjects.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(record.subjects.back(), "k49999");
  EXPECT_EQ(record.properties.find("dc:subject")->substr(0, 8), "k0, k1, ");
}

TEST(AdversarialPackets, NestedArraysCannotBlowUpTheRecord) {
  // Every level repeats the large text below it; values past the budget are left out, and
  // what is stored stays proportional to the packet.
  const std::string big(200000, 'b');
  const std::string packet = xmpPacket(nestedStructures(60, big));
  const XmpRecord record = parseXmp(packet);
  std::size_t stored = 0;
  for (const auto& [name, value] : record.properties) stored += value.size();
  EXPECT_LE(stored, packet.size() * 8 + (std::size_t{1} << 20));
  // The innermost (smallest) values are still there.
  EXPECT_EQ(*record.properties.find("xmp:P59"), big + "59");
}

TEST(AdversarialPackets, ManyRepeatedIptcDatasetsJoinLinearly) {
  std::vector<orvel::testing::Bytes> datasets;
  const int count = 10000;
  for (int i = 0; i < count; ++i) datasets.push_back(orvel::testing::iptcDataset(2, 25, "k"));
  const IptcRecord record = parseIptc(orvel::testing::jpegWithIptc(datasets));
  EXPECT_EQ(record.keywords.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(record.names.find("Keywords")->size(), count * 3u - 2);
}
