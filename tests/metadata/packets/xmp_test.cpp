// XMP: locating the APP1 packet and extracting Dublin Core fields and properties.
#include "metadata/xmp/xmp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/builders.h"
#include "support/packet_builders.h"

using namespace orvel::metadata;
using namespace orvel::metadata::xmp;
using orvel::testing::Bytes;
using orvel::testing::JpegBuilder;
using orvel::testing::TiffBuilder;
using orvel::testing::xmpApp1Payload;
using orvel::testing::xmpPacket;

namespace {

using Strings = std::vector<std::string>;

std::string propertyOf(const XmpRecord& record, std::string_view name) {
  const std::string* value = record.properties.find(name);
  return value == nullptr ? "<absent>" : *value;
}

Bytes exifBlock() {
  TiffBuilder tiff;
  int ifd0 = tiff.addIfd();
  tiff.ascii(ifd0, 0x010F, "Maker");
  return tiff.build();
}

const std::string kSimplePacket = xmpPacket(
    "<rdf:Description rdf:about='' xmp:CreatorTool='Tool'><dc:subject><rdf:Bag>"
    "<rdf:li>a</rdf:li></rdf:Bag></dc:subject></rdf:Description>");

}  // namespace

TEST(XmpLocate, SecondApp1AfterExifIsFound) {
  const Bytes payload = xmpApp1Payload(kSimplePacket);
  const Bytes jpeg = JpegBuilder().app0Jfif().app1Exif(exifBlock()).segment(0xE1, payload).finish();
  const XmpLocation found = findXmpApp1(jpeg);
  ASSERT_GT(found.offset, 0);
  EXPECT_EQ(found.length, static_cast<int64_t>(kSimplePacket.size()));
  EXPECT_EQ(std::string(jpeg.begin() + found.offset, jpeg.begin() + found.offset + found.length),
            kSimplePacket);
  const XmpRecord record = readXmpBytes(jpeg);
  EXPECT_EQ(record.subjects, Strings{"a"});
  EXPECT_EQ(propertyOf(record, "xmp:CreatorTool"), "Tool");
}

TEST(XmpLocate, SignatureWithoutItsNulIsNotXmp) {
  const Bytes jpeg = JpegBuilder().segment(0xE1, xmpApp1Payload(kSimplePacket, false)).finish();
  EXPECT_EQ(findXmpApp1(jpeg).length, 0);
  EXPECT_EQ(findXmpApp1(jpeg).offset, 0);
  EXPECT_TRUE(readXmpBytes(jpeg).properties.empty());
}

TEST(XmpLocate, OnlyTheFirstXmpSegmentCounts) {
  const std::string second = xmpPacket("<rdf:Description xmp:Label='Second'/>");
  const Bytes jpeg = JpegBuilder()
                         .segment(0xE1, xmpApp1Payload(kSimplePacket))
                         .segment(0xE1, xmpApp1Payload(second))
                         .finish();
  const XmpRecord record = readXmpBytes(jpeg);
  EXPECT_EQ(propertyOf(record, "xmp:CreatorTool"), "Tool");
  EXPECT_EQ(propertyOf(record, "xmp:Label"), "<absent>");
}

TEST(XmpLocate, SearchStopsAtScanDataAndOutsideJpeg) {
  Bytes afterScan = JpegBuilder().finish();
  const Bytes tail = JpegBuilder().segment(0xE1, xmpApp1Payload(kSimplePacket)).finish();
  afterScan.insert(afterScan.end(), tail.begin() + 2, tail.end());
  EXPECT_EQ(findXmpApp1(afterScan).length, 0);
  const Bytes notJpeg = orvel::testing::bytesOf("II*\0 not a jpeg at all, but long enough");
  EXPECT_EQ(findXmpApp1(notJpeg).length, 0);
  EXPECT_EQ(findXmpApp1(Bytes{0xFF, 0xD8}).length, 0);
  EXPECT_TRUE(readXmpBytes(Bytes{}).properties.empty());
}

TEST(XmpLocate, TruncatedOrUndersizedSegmentsGiveNothing) {
  const Bytes jpeg = JpegBuilder().segment(0xE1, xmpApp1Payload(kSimplePacket)).finish();
  // Cut inside the packet: the location still points at it, but no record is read.
  const Bytes truncated(jpeg.begin(), jpeg.begin() + 60);
  EXPECT_GT(findXmpApp1(truncated).length, 0);
  EXPECT_TRUE(readXmpBytes(truncated).properties.empty());
  // A segment too short for its own signature is not an XMP segment, whatever follows it.
  Bytes shortSegment = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x04};
  const Bytes signature = xmpApp1Payload("");
  shortSegment.insert(shortSegment.end(), signature.begin(), signature.end());
  EXPECT_EQ(findXmpApp1(shortSegment).length, 0);
}

TEST(XmpLocate, HeaderMatchesExactlyTheSignature) {
  const Bytes signature = xmpApp1Payload("");
  EXPECT_TRUE(headerMatches(signature, 0));
  EXPECT_FALSE(headerMatches(signature, 1));
  EXPECT_FALSE(headerMatches(signature, -1));
  EXPECT_FALSE(headerMatches(Bytes(signature.begin(), signature.end() - 1), 0));
  Bytes wrong = signature;
  wrong[12] = 'X';
  EXPECT_FALSE(headerMatches(wrong, 0));
}

TEST(XmpParse, AttributesAndChildElementsGiveTheSameProperties) {
  const XmpRecord asAttributes = parseXmp(xmpPacket(
      "<rdf:Description rdf:about='' xmp:Rating='4' photoshop:City=' Paris '/>"));
  const XmpRecord asElements = parseXmp(xmpPacket(
      "<rdf:Description rdf:about=''><xmp:Rating>4</xmp:Rating>"
      "<photoshop:City>\n  Paris\n </photoshop:City></rdf:Description>"));
  for (const XmpRecord* record : {&asAttributes, &asElements}) {
    ASSERT_EQ(record->properties.size(), 2u);
    EXPECT_EQ(propertyOf(*record, "xmp:Rating"), "4");
    EXPECT_EQ(propertyOf(*record, "photoshop:City"), "Paris");
  }
}

TEST(XmpParse, BagsAndSeqsGiveListsAndJoinedProperties) {
  const XmpRecord record = parseXmp(xmpPacket(
      "<rdf:Description><dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li> </rdf:li>"
      "<rdf:li>b</rdf:li><rdf:li/><rdf:li>c</rdf:li></rdf:Bag></dc:subject>"
      "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li></rdf:Seq></dc:creator>"
      "</rdf:Description>"));
  EXPECT_EQ(record.subjects, (Strings{"a", "b", "c"}));
  EXPECT_EQ(propertyOf(record, "dc:subject"), "a, b, c");
  EXPECT_EQ(record.creators, (Strings{"Ann", "Bob"}));
  EXPECT_EQ(propertyOf(record, "dc:creator"), "Ann, Bob");
}

TEST(XmpParse, AltGivesTheFirstAlternativeAndAllInTheProperty) {
  const XmpRecord record = parseXmp(xmpPacket(
      "<rdf:Description><dc:title><rdf:Alt><rdf:li xml:lang='x-default'> Hello </rdf:li>"
      "<rdf:li xml:lang='fr'>Bonjour</rdf:li></rdf:Alt></dc:title>"
      "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>Desc</rdf:li></rdf:Alt>"
      "</dc:description><dc:rights>Plain rights</dc:rights></rdf:Description>"));
  EXPECT_EQ(record.title, "Hello");
  EXPECT_EQ(propertyOf(record, "dc:title"), "Hello, Bonjour");
  EXPECT_EQ(record.description, "Desc");
  EXPECT_EQ(record.rights, "Plain rights");  // no rdf:li: the element's own text
}

TEST(XmpParse, PlainTextPropertiesAreStrippedAndBlankOnesDropped) {
  const XmpRecord record = parseXmp(xmpPacket(
      "<rdf:Description xmp:Blank='  \t '><xmp:Label>\n  Green &amp; blue\n</xmp:Label>"
      "<xmp:Nothing>   \n </xmp:Nothing><xmp:Empty/></rdf:Description>"));
  EXPECT_EQ(propertyOf(record, "xmp:Label"), "Green & blue");
  EXPECT_EQ(record.properties.size(), 1u);
}

TEST(XmpParse, NamespaceAndRdfAttributesAreNeverProperties) {
  const XmpRecord record = parseXmp(
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='r'>"
      "<rdf:Description rdf:about='uuid:1' xmlns:dc='d' xmlns='default' plain='no prefix'"
      " rdf:ID='id' xmp:Label='yes'><rdf:type>skip</rdf:type><noprefix>skip</noprefix>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>");
  ASSERT_EQ(record.properties.size(), 1u);
  EXPECT_EQ(propertyOf(record, "xmp:Label"), "yes");
}

TEST(XmpParse, LaterDescriptionsReplaceEarlierValuesInPlace) {
  const XmpRecord record = parseXmp(xmpPacket(
      "<rdf:Description xmp:A='1' xmp:B='2'/><rdf:Description><xmp:A>3</xmp:A></rdf:Description>"));
  std::vector<std::pair<std::string, std::string>> entries(record.properties.begin(),
                                                           record.properties.end());
  EXPECT_EQ(entries, (std::vector<std::pair<std::string, std::string>>{{"xmp:A", "3"},
                                                                      {"xmp:B", "2"}}));
}

TEST(XmpParse, StructuresAndNestedDescriptions) {
  // A structure's fields land both in its own property (inner text) and, being inside a
  // nested rdf:Description, as properties of their own.
  const XmpRecord record = parseXmp(xmpPacket(
      "<rdf:Description><xmp:Contact><rdf:Description xmp:City='Oslo'>"
      "<xmp:Street>Main 1</xmp:Street></rdf:Description></xmp:Contact></rdf:Description>"));
  EXPECT_EQ(propertyOf(record, "xmp:Contact"), "Main 1");
  EXPECT_EQ(propertyOf(record, "xmp:City"), "Oslo");
  EXPECT_EQ(propertyOf(record, "xmp:Street"), "Main 1");
}

TEST(XmpParse, NamesAreMatchedLiterallyWithoutResolvingNamespaces) {
  const XmpRecord record = parseXmp(
      "<rdf:RDF xmlns:rdf='r' xmlns:purl='http://purl.org/dc/elements/1.1/'><rdf:Description>"
      "<purl:title><rdf:Alt><rdf:li>T</rdf:li></rdf:Alt></purl:title></rdf:Description>"
      "</rdf:RDF>");
  EXPECT_TRUE(record.title.empty());
  EXPECT_EQ(propertyOf(record, "purl:title"), "T");
  // dc fields are found anywhere in the document, even outside rdf:Description.
  const XmpRecord loose = parseXmp("<root><dc:rights>R</dc:rights></root>");
  EXPECT_EQ(loose.rights, "R");
  EXPECT_TRUE(loose.properties.empty());
}

TEST(XmpParse, MalformedOrRefusedPacketsGiveAnEmptyRecord) {
  const std::string broken[] = {
      "",
      "not xml",
      xmpPacket("<rdf:Description xmp:A='1'><dc:title>unclosed</rdf:Description>"),
      "<!DOCTYPE x [<!ENTITY big 'aaaa'>]>" + xmpPacket("<rdf:Description xmp:A='&big;'/>"),
      xmpPacket("<rdf:Description xmp:A='1'/>").substr(0, 200),
  };
  for (const auto& text : broken) {
    const XmpRecord record = parseXmp(text);
    EXPECT_TRUE(record.properties.empty()) << text;
    EXPECT_TRUE(record.title.empty());
    EXPECT_TRUE(record.subjects.empty());
  }
}

TEST(XmpLiHelpers, FirstLiFallsBackToTheElementText) {
  const auto document = XmlDocument::parse(
      "<r><p> own text </p><q><rdf:Seq><rdf:li/><rdf:li>second</rdf:li></rdf:Seq></q></r>");
  const auto children = document.root().children();
  EXPECT_EQ(firstLi(children[0]), "own text");
  EXPECT_TRUE(allLi(children[0]).empty());
  // The first rdf:li counts even when it is empty; allLi leaves empty ones out.
  EXPECT_EQ(firstLi(children[1]), "");
  EXPECT_EQ(allLi(children[1]), Strings{"second"});
}

TEST(XmpTags, PrefixedNonEmptyPropertiesInOrder) {
  const Bytes jpeg =
      JpegBuilder()
          .segment(0xE1, xmpApp1Payload(xmpPacket(
                             "<rdf:Description xmp:B='2' xmp:A='1'><dc:subject><rdf:Bag>"
                             "<rdf:li>s</rdf:li></rdf:Bag></dc:subject></rdf:Description>")))
          .finish();
  EXPECT_EQ(xmpTags(jpeg), (std::vector<TagMap::Entry>{
                               {"XMP:xmp:B", "2"}, {"XMP:xmp:A", "1"}, {"XMP:dc:subject", "s"}}));
}
