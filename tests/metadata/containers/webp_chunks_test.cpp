// WebP metadata chunks: locating EXIF and XMP, rebuilding with the VP8X flags and RIFF size.
#include <gtest/gtest.h>

#include <string>

#include "container/riff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"
#include "support/chunk_builder.h"

using namespace orvel::base;
using orvel::container::isWebp;
using namespace orvel::metadata;
using namespace orvel::metadata::xmp;
using namespace orvel::metadata::pipeline;
using namespace orvel::metadata::edit;
using namespace orvel::testing;
using namespace std::literals;

namespace {

const Bytes kTiff = bytesOf("II*\0\x08\0\0\0\0\0\0\0\0"sv);  // 13 bytes: odd on purpose

struct RiffChunk {
  std::string fourcc;
  Bytes payload;
  uint8_t pad = 0;
  bool padded = false;
};

// Parses a rebuilt file strictly: RIFF size = length - 8, every chunk whole, pads present.
std::vector<RiffChunk> chunksOf(const Bytes& webp) {
  std::vector<RiffChunk> chunks;
  EXPECT_TRUE(isWebp(webp));
  EXPECT_EQ(readUint32(webp, 4, false), webp.size() - 8);
  size_t p = 12;
  while (p + 8 <= webp.size()) {
    RiffChunk chunk;
    chunk.fourcc.assign(webp.begin() + static_cast<long>(p), webp.begin() + static_cast<long>(p) + 4);
    const uint32_t size = readUint32(webp, static_cast<int64_t>(p) + 4, false);
    chunk.payload.assign(webp.begin() + static_cast<long>(p) + 8, webp.begin() + static_cast<long>(p + 8 + size));
    if (size % 2 == 1) {
      chunk.padded = true;
      chunk.pad = webp.at(p + 8 + size);
    }
    chunks.push_back(chunk);
    p += 8 + size + size % 2;
  }
  EXPECT_EQ(p, webp.size());
  return chunks;
}

std::vector<std::string> fourccsOf(const Bytes& webp) {
  std::vector<std::string> names;
  for (const RiffChunk& chunk : chunksOf(webp)) names.push_back(chunk.fourcc);
  return names;
}

}  // namespace

TEST(WebpBasics, SignatureAndChunkWriters) {
  EXPECT_TRUE(isWebp(webpFile({})));
  EXPECT_TRUE(isWebp(bytesOf("RIFF\xFF\xFF\xFF\xFFWEBP")));  // the size is not checked
  EXPECT_FALSE(isWebp(bytesOf("RIFF\0\0\0\0WEBX"sv)));
  EXPECT_FALSE(isWebp(bytesOf("RIFF\0\0\0\0WEB"sv)));
  namespace container = orvel::container;
  EXPECT_EQ(container::riffChunk("EXIF", kTiff), orvel::testing::riffChunk("EXIF", kTiff));
  EXPECT_EQ(container::riffChunk("EXIF", kTiff).size(), 8 + 13 + 1u);
  EXPECT_EQ(container::riffChunk("ICCP", Bytes(4, 1)).size(), 12u);
  EXPECT_EQ(container::assembleRiff("WEBP", {container::riffChunk("VP8L", Bytes(3, 1))}),
            webpFile({orvel::testing::riffChunk("VP8L", Bytes(3, 1))}));
}

TEST(WebpFind, ExifPayloadWithOrWithoutJpegHeader) {
  const Bytes bare = webpFile({vp8xChunk(0x08), vp8lChunk(), riffChunk("EXIF", kTiff)});
  const int64_t exifChunk = 12 + 18 + 18;
  EXPECT_EQ(findExifInWebp(bare), exifChunk + 8);
  Bytes prefixed = bytesOf("Exif\0\0"sv);
  prefixed.insert(prefixed.end(), kTiff.begin(), kTiff.end());
  const Bytes jpegStyle = webpFile({vp8xChunk(0x08), vp8lChunk(), riffChunk("EXIF", prefixed)});
  EXPECT_EQ(findExifInWebp(jpegStyle), exifChunk + 14);
  Bytes oddBytes = bytesOf("ExifAB"sv);  // whatever the two bytes after the letters are
  oddBytes.insert(oddBytes.end(), kTiff.begin(), kTiff.end());
  EXPECT_EQ(findExifInWebp(webpFile({riffChunk("EXIF", oddBytes)})), 12 + 14);
  EXPECT_EQ(findExifInWebp(webpFile({vp8lChunk()})), 0);
  EXPECT_EQ(findExifInWebp(bytesOf("RIFF....WAVEfmt stuff")), 0);
}

TEST(WebpFind, XmpPayloadAndTruncation) {
  const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
  const Bytes webp = webpFile({vp8xChunk(0x04), vp8lChunk(), riffChunk("XMP ", bytesOf(packet)),
                               riffChunk("XMP ", bytesOf("second"))});
  EXPECT_EQ(findXmpInWebp(webp), packet);
  Bytes cut = webpFile({vp8xChunk(0x04), vp8lChunk(), riffChunk("XMP ", bytesOf(packet))});
  cut.resize(cut.size() - 3);
  EXPECT_EQ(findXmpInWebp(cut), "");
  EXPECT_EQ(findXmpInWebp(webpFile({vp8lChunk()})), "");
}

TEST(WebpRebuild, ReplaceOnExtendedFile) {
  const Bytes webp = webpFile({vp8xChunk(0x10 | 0x04 | 0x02), riffChunk("ICCP", Bytes(5, 7), 0xEE),
                               vp8lChunk(), riffChunk("EXIF", bytesOf("old exif")),
                               riffChunk("XMP ", bytesOf("<xmp/>")), riffChunk("EXIF", bytesOf("older"))});
  const Bytes out = replaceWebpExif(webp, kTiff);
  const auto chunks = chunksOf(out);
  EXPECT_EQ(fourccsOf(out), (std::vector<std::string>{"VP8X", "ICCP", "VP8L", "XMP ", "EXIF"}));
  EXPECT_EQ(chunks[0].payload[0], 0x10 | 0x08 | 0x04 | 0x02);
  EXPECT_EQ(chunks[1].pad, 0);  // pads are written as 0
  EXPECT_EQ(chunks[3].payload, bytesOf("<xmp/>"));
  EXPECT_EQ(chunks[4].payload, kTiff);
  EXPECT_TRUE(chunks[4].padded);
  EXPECT_EQ(findExifInWebp(out), static_cast<int64_t>(out.size()) - 14);  // last chunk, padded
}

TEST(WebpRebuild, SimpleFileGetsNoExif) {
  const Bytes webp = webpFile({vp8lChunk()});
  EXPECT_TRUE(replaceWebpExif(webp, kTiff).empty());
  EXPECT_TRUE(replaceWebpExif(bytesOf("RIFF\0\0\0\0AVI LIST"sv), kTiff).empty());
}

TEST(WebpRebuild, EmptyExifRemovesTheOldOne) {
  const Bytes webp = webpFile({vp8xChunk(0x08 | 0x04), vp8lChunk(), riffChunk("EXIF", kTiff),
                               riffChunk("XMP ", bytesOf("x"))});
  const Bytes out = replaceWebpExif(webp, {});
  EXPECT_EQ(fourccsOf(out), (std::vector<std::string>{"VP8X", "VP8L", "XMP "}));
  EXPECT_EQ(chunksOf(out)[0].payload[0], 0x04);
}

TEST(WebpRebuild, StripClearsFlagsAndDropsMetadata) {
  const Bytes webp = webpFile({vp8xChunk(0xFF), riffChunk("ALPH", Bytes(3, 9), 0x77), vp8lChunk(),
                               riffChunk("EXIF", kTiff), riffChunk("XMP ", bytesOf("<x/>"))});
  const Bytes out = stripWebp(webp);
  const auto chunks = chunksOf(out);
  EXPECT_EQ(fourccsOf(out), (std::vector<std::string>{"VP8X", "ALPH", "VP8L"}));
  EXPECT_EQ(chunks[0].payload[0], 0xF3);
  EXPECT_EQ(chunks[1].pad, 0);
  EXPECT_EQ(findExifInWebp(out), 0);
  EXPECT_EQ(findXmpInWebp(out), "");
  // A simple file is stripped too (of nothing); the RIFF size is recomputed.
  Bytes simple = webpFile({vp8lChunk()});
  simple[4] = 0xFF;
  EXPECT_EQ(stripWebp(simple), webpFile({vp8lChunk()}));
}

TEST(WebpRebuild, AnEmptyVp8xStillTakesTheExifFlagBit) {
  Bytes emptyVp8x = webpFile({riffChunk("VP8X", {}), vp8lChunk()});
  EXPECT_EQ(fourccsOf(replaceWebpExif(emptyVp8x, kTiff)), (std::vector<std::string>{"VP8X", "VP8L", "EXIF"}));
}
