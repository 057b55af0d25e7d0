// IPTC and XMP reach the metadata record through the reading pipeline: prefixed names, file
// order, and no effect on whether the record counts as valid.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "metadata/pipeline/read.h"
#include "support/builders.h"

using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;

namespace {

std::vector<uint8_t> fixture(const std::string& file) {
  std::ifstream in(std::string(ORVEL_FIXTURES) + "/packets/" + file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string tagOr(const Metadata& meta, const std::string& name, const std::string& absent = "<absent>") {
  const std::string* value = meta.tags.find(name);
  return value ? *value : absent;
}

}  // namespace

TEST(PacketPipeline, JpegWithExifIptcAndXmp) {
  const Metadata meta = readMetadataFromBytes(fixture("combined.jpg"));
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tagOr(meta, "Make"), "Maker");
  EXPECT_EQ(tagOr(meta, "IPTC:Keywords"), "both");
  EXPECT_EQ(tagOr(meta, "IPTC:Caption-Abstract"), "Shared caption");
  EXPECT_EQ(tagOr(meta, "XMP:dc:description"), "Shared caption");
  EXPECT_EQ(tagOr(meta, "XMP:dc:subject"), "both");
}

TEST(PacketPipeline, XmpFromPngAndWebpCarriers) {
  for (const char* file : {"xmp_itxt.png", "xmp_itxt_zipped.png", "xmp_chunk.webp"}) {
    const Metadata meta = readMetadataFromBytes(fixture(file));
    EXPECT_NE(tagOr(meta, "XMP:dc:subject"), "<absent>") << file;
    EXPECT_NE(tagOr(meta, "XMP:dc:title"), "<absent>") << file;
  }
}

namespace {

std::vector<uint8_t> xmpApp1(const std::string& packet) {
  auto payload = orvel::testing::bytesOf("http://ns.adobe.com/xap/1.0/");
  payload.push_back(0);
  payload.insert(payload.end(), packet.begin(), packet.end());
  return payload;
}

const std::string kFormatPacket =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/' dc:format='image/jpeg'/>"
      "</rdf:RDF></x:xmpmeta>";

}  // namespace

TEST(PacketPipeline, XmpOnlyJpegHasTagsButIsNotValid) {
  const auto jpeg = orvel::testing::JpegBuilder().app0Jfif().segment(0xE1, xmpApp1(kFormatPacket)).finish();
  const Metadata meta = readMetadataFromBytes(jpeg);
  EXPECT_FALSE(meta.isValid);
  EXPECT_EQ(tagOr(meta, "XMP:dc:format"), "image/jpeg");
}

TEST(PacketPipeline, ExifAndXmpTogetherInOneJpeg) {
  orvel::testing::TiffBuilder t;
  t.ascii(t.addIfd(), 0x010F, "Canon");
  const auto jpeg =
      orvel::testing::JpegBuilder().app1Exif(t.build()).segment(0xE1, xmpApp1(kFormatPacket)).finish();
  const Metadata meta = readMetadataFromBytes(jpeg);
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tagOr(meta, "Make"), "Canon");
  EXPECT_EQ(tagOr(meta, "XMP:dc:format"), "image/jpeg");
}
