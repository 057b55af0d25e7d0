// The JPEG segment, PNG chunk and RIFF chunk walks: where each stops and why.
#include <gtest/gtest.h>

#include <random>
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

// The scan walk's vector searches against the definition, over entropy-like data holding
// stuffed bytes, restart markers, fill bytes and table segments at every offset around the
// 64-byte steps and the search blocks, with and without copying what is searched.
namespace {

struct ScanResult {
  std::vector<int64_t> segments;  // positions of the segments met
  int64_t end = 0;
  Bytes searched;  // the bytes between segments, in order
};

bool startsMarkerByDefinition(const Bytes& d, std::size_t i) {
  if (d[i] != 0xFF || i + 1 >= d.size()) return false;
  const uint8_t next = d[i + 1];
  return next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7);
}

ScanResult scanByDefinition(const Bytes& d) {
  ScanResult r;
  std::size_t at = 0;
  while (true) {
    if (at + 2 > d.size()) return r.end = static_cast<int64_t>(d.size()), r;
    if (d[at + 1] == 0xD9) return r.end = static_cast<int64_t>(at), r;
    const std::size_t i0 = at + 4 <= d.size() ? at + 2 + (size_t{d[at + 2]} << 8 | d[at + 3]) : 0;
    if (i0 < at + 4 || i0 > d.size()) return r.end = static_cast<int64_t>(d.size()), r;
    r.segments.push_back(static_cast<int64_t>(at));
    std::size_t i = i0;
    const std::size_t start = i;
    while (i < d.size() && !startsMarkerByDefinition(d, i)) ++i;
    r.searched.insert(r.searched.end(), d.begin() + static_cast<long>(start),
                      d.begin() + static_cast<long>(i));
    at = i;
  }
}

ScanResult scanByWalk(const Bytes& d, bool copy) {
  ScanResult r;
  Bytes out(d.size());
  uint8_t* cursor = out.data();
  JpegScanWalk walk(d, 0);
  if (copy) walk.copySearchedTo(&cursor);
  Bytes told;
  JpegScanWalk telling(d, 0, [&](int64_t from, int64_t to) {
    told.insert(told.end(), d.begin() + from, d.begin() + to);
  });
  while (const auto segment = walk.next()) r.segments.push_back(segment->position);
  while (telling.next()) {
  }
  r.end = walk.position();
  r.searched = copy ? Bytes(out.data(), cursor) : told;
  return r;
}

}  // namespace

TEST(JpegScanWalk, VectorSearchesFindWhatTheDefinitionFinds) {
  std::mt19937 rng(11);
  const Bytes pieces[] = {{0xFF, 0x00}, {0xFF, 0xD3}, {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xD0},
                          {0xFF, 0xC4, 0x00, 0x04, 0x12, 0x34}, {0xFF, 0xE1, 0x00, 0x02}};
  for (int round = 0; round < 300; ++round) {
    Bytes d = {0xFF, 0xDA, 0x00, 0x04, 0x01, 0x02};
    const std::size_t size = round < 200 ? rng() % 400 : 65536 + rng() % 400 - 200;
    while (d.size() < size) {
      if (rng() % 8 == 0) {
        const Bytes& piece = pieces[rng() % std::size(pieces)];
        d.insert(d.end(), piece.begin(), piece.end());
      } else {
        const uint8_t b = static_cast<uint8_t>(rng());
        d.push_back(b == 0xFF ? 0x00 : b);
      }
    }
    if (rng() % 4 != 0) d.insert(d.end(), {0xFF, 0xD9});
    if (rng() % 4 == 0) d.push_back(0xFF);  // a lone 0xFF at the end
    const ScanResult want = scanByDefinition(d);
    for (bool portable : {false, true}) {
      chooseJpegSearchPortable(portable);
      for (bool copy : {false, true}) {
        const ScanResult got = scanByWalk(d, copy);
        const std::string where = "round " + std::to_string(round) + (copy ? ", copying" : "") +
                                  (portable ? ", SSE2" : "");
        EXPECT_EQ(got.segments, want.segments) << where;
        EXPECT_EQ(got.end, want.end) << where;
        EXPECT_EQ(got.searched, want.searched) << where;
      }
    }
  }
  chooseJpegSearchPortable(false);
}
