// The JPEG segment, PNG chunk and RIFF chunk walks: where each stops and why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/jpeg.h"
#include "container/png.h"
#include "container/riff.h"
#include "support/builders.h"
#include "support/chunk_builder.h"

using namespace orvel::container;
using orvel::testing::Bytes;

namespace {

Bytes seg(uint8_t marker, std::size_t payload) {
  Bytes out = {0xFF, marker};
  orvel::testing::appendBE16(out, static_cast<uint16_t>(payload + 2));
  out.resize(out.size() + payload, 0x11);
  return out;
}

Bytes jpeg(std::initializer_list<Bytes> parts) {
  Bytes out = {0xFF, 0xD8};
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct JpegCase {
  const char* name;
  Bytes data;
  std::vector<uint8_t> markers;  // the segments yielded
  JpegWalkEnd end;
  int64_t endPosition;
};

}  // namespace

TEST(JpegSegmentWalk, StopsAtTheSamePlacesForEveryCaller) {
  const JpegCase cases[] = {
      {"scan",
       jpeg({seg(0xE0, 3), seg(0xE1, 0), {0xFF, 0xDA, 0, 2}}),
       {0xE0, 0xE1},
       JpegWalkEnd::startOfScan,
       13},
      {"end of image before a scan",
       jpeg({seg(0xE1, 2), {0xFF, 0xD9}, seg(0xE1, 8)}),
       {0xE1},
       JpegWalkEnd::endOfImage,
       8},
      {"length 1",
       jpeg({seg(0xE0, 0), {0xFF, 0xE1, 0, 1}, seg(0xE1, 8)}),
       {0xE0},
       JpegWalkEnd::badLength,
       6},
      {"length 0", jpeg({{0xFF, 0xE1, 0, 0}, seg(0xE1, 8)}), {}, JpegWalkEnd::badLength, 2},
      {"no marker", jpeg({seg(0xE0, 1), {0x00, 0xE1, 0, 8}}), {0xE0}, JpegWalkEnd::badMarker, 7},
      {"data ends", jpeg({seg(0xE0, 1), {0xFF, 0xE1, 0}}), {0xE0}, JpegWalkEnd::dataEnd, 7},
      {"nothing after the start", jpeg({}), {}, JpegWalkEnd::dataEnd, 2},
  };
  for (const JpegCase& c : cases) {
    JpegSegmentWalk walk(c.data);
    std::vector<uint8_t> markers;
    while (const auto segment = walk.next()) markers.push_back(segment->marker);
    EXPECT_EQ(markers, c.markers) << c.name;
    EXPECT_EQ(walk.ended(), c.end) << c.name;
    EXPECT_EQ(walk.position(), c.endPosition) << c.name;
    EXPECT_FALSE(walk.next()) << c.name;  // an ended walk stays ended
  }
}

TEST(JpegSegmentWalk, SegmentsRunningPastTheDataAreHandedOver) {
  Bytes data = jpeg({seg(0xE1, 10)});
  data.resize(data.size() - 3);
  JpegSegmentWalk walk(data);
  const auto segment = walk.next();
  ASSERT_TRUE(segment);
  EXPECT_EQ(segment->payload(), 6);
  EXPECT_EQ(segment->end(), 16);
  EXPECT_FALSE(segment->fits(data));
  EXPECT_FALSE(walk.next());
  EXPECT_EQ(walk.ended(), JpegWalkEnd::dataEnd);
  EXPECT_TRUE(isJpeg(data));
  EXPECT_FALSE(isJpeg(Bytes{0xFF}));
}

TEST(PngChunkWalk, EachStopRule) {
  using namespace orvel::testing;
  Bytes png = pngFile({pngIhdr(), pngChunk("tEXt", Bytes(10, 'a'))});
  png.resize(png.size() - 2);  // the text chunk's CRC is cut
  Bytes shortData = png;
  shortData.resize(shortData.size() - 5);  // and now its data too
  const struct {
    const Bytes& data;
    PngWalkStop stop;
    std::string types;
    int64_t end;
  } cases[] = {
      {png, PngWalkStop::atShortHeader, "IHDR tEXt ", 55},
      {png, PngWalkStop::atShortData, "IHDR tEXt ", 55},
      {png, PngWalkStop::atShortChunk, "IHDR ", 33},
      {shortData, PngWalkStop::atShortData, "IHDR ", 33},
      {shortData, PngWalkStop::atShortHeader, "IHDR tEXt ", 55},
  };
  for (const auto& c : cases) {
    PngChunkWalk walk(c.data, c.stop);
    std::string types;
    while (const auto chunk = walk.next()) types += std::string(chunk->type) + " ";
    EXPECT_EQ(types, c.types);
    EXPECT_EQ(walk.position(), c.end);
  }
}

TEST(RiffChunkWalk, EachStopRuleAndPadding) {
  using namespace orvel::testing;
  Bytes webp = webpFile({riffChunk("VP8X", Bytes(3, 0)), riffChunk("EXIF", Bytes(10, 1))});
  webp.resize(webp.size() - 4);  // the EXIF payload is cut
  const struct {
    RiffWalkStop stop;
    std::string chunks;
  } cases[] = {
      {RiffWalkStop::atShortHeader, "VP8X@12 EXIF@24 "},  // 3 bytes + pad
      {RiffWalkStop::atShortPayload, "VP8X@12 "},
  };
  for (const auto& c : cases) {
    RiffChunkWalk walk(webp, c.stop);
    std::string chunks;
    while (const auto chunk = walk.next())
      chunks += std::string(chunk->fourcc) + "@" + std::to_string(chunk->start) + " ";
    EXPECT_EQ(chunks, c.chunks);
  }
  EXPECT_TRUE(isWebp(webp));
  EXPECT_TRUE(isRiffForm(webp, "WEBP"));
  EXPECT_FALSE(isRiffForm(webp, "AVI "));
  EXPECT_EQ(orvel::container::riffChunk("ABCD", Bytes(3, 7)),
            (Bytes{'A', 'B', 'C', 'D', 3, 0, 0, 0, 7, 7, 7, 0}));
  EXPECT_EQ(
      assembleRiff("WEBP", {orvel::container::riffChunk("ABCD", Bytes{})}),
      (Bytes{'R', 'I', 'F', 'F', 12, 0, 0, 0, 'W', 'E', 'B', 'P', 'A', 'B', 'C', 'D', 0, 0, 0, 0}));
}
