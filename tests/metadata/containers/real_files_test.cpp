// Real files made by Debian's tools (scripts/make-container-fixtures.sh): HEIC and AVIF from
// heif-enc, movies from ffmpeg and exiftool, PNG from ImageMagick and exiftool, WebP from
// cwebp and webpmux.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "base/text.h"
#include "container/isobmff.h"
#include "container/png.h"
#include "container/riff.h"
#include "container/tiff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/movie/movie.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::xmp;
using namespace orvel::metadata::movie;
using namespace orvel::metadata::pipeline;
using namespace orvel::metadata::edit;
using orvel::testing::Bytes;
using orvel::testing::TiffBuilder;

namespace {

Bytes fixture(const std::string& name) {
  std::ifstream in(std::string(ORVEL_FIXTURES) + "/containers/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Ifd firstIfd(ByteView file, int64_t tiff) {
  const bool bigEndian = file[static_cast<size_t>(tiff)] != 'I';
  return readIFD(file, tiff + readUint32(file, tiff + 4, bigEndian), tiff, bigEndian);
}

std::string tagText(ByteView file, int64_t tiff, uint16_t tag) {
  const Ifd ifd = firstIfd(file, tiff);
  const auto it = ifd.tags.find(tag);
  return it == ifd.tags.end() ? std::string() : toString(it->second);
}

Bytes tiffWithMake(const std::string& make) {
  TiffBuilder tiff(false);
  tiff.ascii(tiff.addIfd(), 0x010F, make);
  return tiff.build();
}

// The payload of the first top-level "moov" box.
ByteView moovPayload(ByteView file) {
  BoxWalk walk(file, 0, static_cast<int64_t>(file.size()), {true, false});
  while (const auto box = walk.next()) {
    if (box->type == "moov") {
      return file.subspan(static_cast<size_t>(box->payload()),
                          static_cast<size_t>(box->size - box->headerLength));
    }
  }
  return {};
}

constexpr uint16_t kMake = 0x010F;
constexpr uint16_t kModel = 0x0110;

}  // namespace

class HeifStill : public ::testing::TestWithParam<std::string> {};

TEST_P(HeifStill, ExifAndXmpItemsAreFound) {
  const Bytes file = fixture(GetParam());
  ASSERT_TRUE(orvel::container::isIsobmff(file));
  const int64_t tiff = findExifTiffInIsobmff(file);
  ASSERT_GT(tiff, 0);
  EXPECT_EQ(tagText(file, tiff, kMake), "Apple");
  EXPECT_EQ(tagText(file, tiff, kModel), "iPhone 14");
  bool hasXmp = false;
  for (const auto& [id, item] : parseItemRecords(file)) {
    if (item.type == "mime" && item.contentType == "application/rdf+xml") {
      hasXmp = true;
      const std::string packet(file.begin() + item.offset, file.begin() + item.offset + item.length);
      EXPECT_NE(packet.find("Rose"), std::string::npos);
    }
  }
  EXPECT_TRUE(hasXmp);
}

TEST_P(HeifStill, StripBlanksExifAndXmpInPlace) {
  const Bytes file = fixture(GetParam());
  const Bytes out = stripIsobmff(file);
  ASSERT_EQ(out.size(), file.size());
  const int64_t tiff = findExifTiffInIsobmff(out);
  ASSERT_GT(tiff, 0);
  EXPECT_TRUE(firstIfd(out, tiff).tags.empty());
  const std::string text(out.begin(), out.end());
  EXPECT_EQ(text.find("iPhone"), std::string::npos);
  EXPECT_EQ(text.find("Rose"), std::string::npos);
  EXPECT_NE(text.find(kEmptyXmpPacket), std::string::npos);
}

TEST_P(HeifStill, WriteInPlaceAndAppended) {
  const Bytes file = fixture(GetParam());
  const Bytes small = writeExifIsobmff(file, tiffWithMake("Leica"));
  ASSERT_EQ(small.size(), file.size());
  EXPECT_EQ(tagText(small, findExifTiffInIsobmff(small), kMake), "Leica");
  const Bytes large = writeExifIsobmff(file, tiffWithMake(std::string(600, 'L')));
  ASSERT_GT(large.size(), file.size());
  EXPECT_EQ(tagText(large, findExifTiffInIsobmff(large), kMake), std::string(600, 'L'));
  EXPECT_EQ(textAt(large, static_cast<int64_t>(file.size()) + 4, 4), "mdat");
  // The picture items are untouched: the written file strips like the original.
  EXPECT_EQ(stripIsobmff(large).size(), large.size());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, HeifStill, ::testing::Values("still.heic", "still.avif"));

TEST(RealMovies, Mp4WithKeyedItems) {
  const VideoMeta video = parseIsobmff(moovPayload(fixture("movie_keys.mp4")));
  EXPECT_EQ(video.make, "Canon");
  EXPECT_EQ(video.model, "EOS R6");
  EXPECT_EQ(video.software, "Firmware 1.2");
  EXPECT_EQ(video.creation, "MP4-Time-V0:3768467696");  // 2023-06-01 12:34:56 UTC
  EXPECT_EQ(video.width, 64);
  EXPECT_EQ(video.height, 48);
}

TEST(RealMovies, PhoneStyleQuickTime) {
  const VideoMeta video = parseIsobmff(moovPayload(fixture("movie_phone.mov")));
  EXPECT_EQ(video.make, "Apple");
  EXPECT_EQ(video.model, "iPhone 14");
  EXPECT_EQ(video.software, "16.5");  // reachable only by walking the version-less "meta"
  EXPECT_EQ(video.creation, "MP4-Time-V0:3768467696");
  EXPECT_EQ(video.width, 64);
}

TEST(RealPng, EveryMetadataChunk) {
  const Bytes png = fixture("chunks.png");
  const int64_t tiff = findExifInPng(png);
  ASSERT_GT(tiff, 0);
  EXPECT_EQ(tagText(png, tiff, kMake), "Canon");
  const TextList texts = pngTextChunks(png);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], (std::pair<std::string, std::string>{"Title", "Rose"}));
  EXPECT_EQ(texts[1].first, "Author");  // compressed iTXt
  EXPECT_EQ(texts[1].second, "\xCE\xA9mega \xCE\xA9mega \xCE\xA9mega \xCE\xA9mega \xCE\xA9mega \xCE\xA9mega");
  EXPECT_EQ(texts[2].second, "A red rose, compressed, compressed, compressed");  // zTXt
  EXPECT_EQ(texts[3].second, "\xCE\xA9pen");
  EXPECT_EQ(texts[4].first, "XML:com.adobe.xmp");
  EXPECT_EQ(findXmpInPng(png), texts[4].second);
  EXPECT_NE(texts[4].second.find("Jane"), std::string::npos);
}

TEST(RealPng, StripAndReplace) {
  const Bytes png = fixture("chunks.png");
  const Bytes stripped = stripPng(png);
  EXPECT_LT(stripped.size(), png.size());
  EXPECT_EQ(findExifInPng(stripped), 0);
  EXPECT_TRUE(pngTextChunks(stripped).empty());
  EXPECT_EQ(chunkType(stripped, 12), "IHDR");
  const Bytes replaced = replacePngExif(stripped, tiffWithMake("Leica"));
  EXPECT_EQ(findExifInPng(replaced), 8 + 25 + 8);
  EXPECT_EQ(tagText(replaced, findExifInPng(replaced), kMake), "Leica");
}

TEST(RealWebp, ExtendedAndSimple) {
  const Bytes extended = fixture("extended.webp");
  const int64_t tiff = findExifInWebp(extended);
  ASSERT_GT(tiff, 0);
  EXPECT_EQ(tagText(extended, tiff, kMake), "Canon");
  EXPECT_NE(findXmpInWebp(extended).find("Jane"), std::string::npos);
  const Bytes simple = fixture("simple.webp");
  EXPECT_EQ(findExifInWebp(simple), 0);
  EXPECT_TRUE(replaceWebpExif(simple, tiffWithMake("Leica")).empty());

  const Bytes stripped = stripWebp(extended);
  EXPECT_EQ(findExifInWebp(stripped), 0);
  EXPECT_EQ(findXmpInWebp(stripped), "");
  EXPECT_EQ(stripped[20], extended[20] & 0xF3);  // the VP8X flags
  EXPECT_EQ(readUint32(stripped, 4, false), stripped.size() - 8);
  const Bytes replaced = replaceWebpExif(stripped, tiffWithMake("Leica"));
  EXPECT_EQ(tagText(replaced, findExifInWebp(replaced), kMake), "Leica");
  EXPECT_EQ(replaced[20] & 0x08, 0x08);
}
