// The PNG codec's own rules: every refusal with its message and kind, the filters against their
// per-byte definitions, and what an encoded file holds.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/png/png.h"
#include "codec/png/unfilter.h"
#include "container/png.h"
#include "deflate/zlib.h"
#include "image/error.h"
#include "support/chunk_builder.h"

namespace {

using orvel::image::OrvelException;
using orvel::testing::Bytes;
using orvel::testing::pngChunk;
using namespace orvel::codec::png;

Bytes ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t type, uint8_t interlace = 0) {
  Bytes data;
  orvel::testing::appendBE32(data, width);
  orvel::testing::appendBE32(data, height);
  data.insert(data.end(), {depth, type, 0, 0, interlace});
  return pngChunk("IHDR", data);
}

Bytes idat(const Bytes& raw) { return pngChunk("IDAT", orvel::deflate::zlibDeflate(raw)); }

Bytes file(std::initializer_list<Bytes> chunks) { return orvel::testing::pngFile(chunks); }

const Bytes kEnd = pngChunk("IEND", {});

struct Refusal {
  const char* name;
  Bytes bytes;
  std::string message;
  orvel::image::ImageErrorKind kind;
};

std::vector<Refusal> refusals() {
  using orvel::image::iekInvalid;
  using orvel::image::iekTruncated;
  using orvel::image::iekUnsupported;
  const Bytes gray = ihdr(2, 1, 8, 0);
  Bytes badCrc = file({gray, pngChunk("tEXt", {'a', 0, 'b'}), idat({0, 1, 2}), kEnd});
  badCrc[33 + 8 + 3] ^= 1;
  Bytes cut = file({gray, idat({0, 1, 2}), kEnd});
  cut.resize(cut.size() - 2);
  Bytes shortHeader = file({gray, idat({0, 1, 2})});
  shortHeader.insert(shortHeader.end(), {0, 0, 0});
  Bytes huge = file({gray});
  orvel::testing::appendBE32(huge, 0x80000000u);
  huge.insert(huge.end(), {'I', 'D', 'A', 'T'});
  return {
      {"short", Bytes{0x89, 'P', 'N'}, "png: signature truncated", iekTruncated},
      {"signature", Bytes{0x89, 'P', 'N', 'G', 0, 0, 0, 0}, "png: bad signature", iekUnsupported},
      {"header cut", shortHeader, "png: chunk header truncated", iekTruncated},
      {"length", huge, "png: chunk length exceeds the 2^31-1 limit", iekInvalid},
      {"chunk cut", cut, "png: chunk truncated", iekTruncated},
      {"crc of an ancillary chunk", badCrc, "png: chunk CRC mismatch", iekInvalid},
      {"IHDR length", file({pngChunk("IHDR", Bytes(12, 0)), kEnd}), "png: bad IHDR length", iekInvalid},
      {"interlace", file({ihdr(2, 1, 8, 0, 1), kEnd}), "png: Adam7 interlace unsupported", iekUnsupported},
      {"PLTE", file({gray, pngChunk("PLTE", Bytes(4, 0)), kEnd}), "png: bad PLTE", iekInvalid},
      {"no IHDR", file({idat({0, 1, 2}), kEnd}), "png: missing IHDR", iekTruncated},
      {"no IEND", file({gray, idat({0, 1, 2})}), "png: missing IEND", iekTruncated},
      {"zero width", file({ihdr(0, 1, 8, 0), kEnd}), "png: bad dimensions", iekInvalid},
      {"too many", file({ihdr(1 << 16, 1 << 15, 8, 0), kEnd}), "png: too many pixels", iekInvalid},
      {"depth", file({ihdr(2, 1, 4, 2), kEnd}), "png: unsupported color type/depth", iekUnsupported},
      {"no PLTE", file({ihdr(2, 1, 8, 3), kEnd}), "png: indexed image missing PLTE", iekInvalid},
      {"short data", file({gray, idat({0, 1}), kEnd}), "png: filtered data too short", iekTruncated},
      {"long data", file({gray, idat({0, 1, 2, 3}), kEnd}), "deflate: output exceeds the size cap", iekInvalid},
      {"filter", file({gray, idat({5, 1, 2}), kEnd}), "png: bad filter type", iekInvalid},
      {"index", file({ihdr(2, 1, 8, 3), pngChunk("PLTE", Bytes(6, 9)), idat({0, 1, 2}), kEnd}),
       "png: palette index out of range", iekInvalid},
      // A truncated zlib stream counts as unsupported, a corrupt one as truncated.
      {"zlib", file({gray, pngChunk("IDAT", {0x78}), kEnd}), "zlib: header truncated", iekUnsupported},
  };
}

TEST(Png, RefusalsCarryTheirMessageAndKind) {
  for (const Refusal& r : refusals()) {
    try {
      decodePng(r.bytes);
      ADD_FAILURE() << r.name << ": decoded";
    } catch (const OrvelException& e) {
      EXPECT_EQ(e.what(), r.message) << r.name;
      EXPECT_EQ(e.kind(), r.kind) << r.name;
    }
  }
}

TEST(Png, BytesAfterTheEndAndChunksTheDecoderIgnores) {
  const Bytes ok = file({ihdr(2, 1, 8, 0), pngChunk("tIME", Bytes(7, 1)), idat({0, 7, 9}), kEnd,
                         Bytes{1, 2, 3}});
  EXPECT_EQ(decodePng(ok).pixels[1], 9);
  // RGB with tRNS stays RGB; a later PLTE replaces an earlier one.
  const Bytes rgb = file({ihdr(1, 1, 8, 2), pngChunk("tRNS", Bytes(6, 0)), idat({0, 1, 2, 3}), kEnd});
  EXPECT_EQ(decodePng(rgb).colorspace, orvel::image::csRgb);
  const Bytes indexed = file({ihdr(1, 1, 8, 3), pngChunk("PLTE", {1, 2, 3}), pngChunk("PLTE", {4, 5, 6}),
                              idat({0, 0}), kEnd});
  EXPECT_EQ(decodePng(indexed).pixels[0], 4);
}

// The filters exactly as defined, one byte at a time.
void literalUnfilter(uint8_t type, const uint8_t* raw, const uint8_t* previous, uint8_t* out,
                     int64_t length, int unit) {
  for (int64_t i = 0; i < length; ++i) {
    const int a = i >= unit ? out[i - unit] : 0;
    const int b = previous[i];
    const int c = i >= unit ? previous[i - unit] : 0;
    int predicted = 0;
    if (type == 1) predicted = a;
    if (type == 2) predicted = b;
    if (type == 3) predicted = (a + b) / 2;
    if (type == 4) predicted = paeth(static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c));
    out[i] = static_cast<uint8_t>(raw[i] + predicted);
  }
}

TEST(Png, FiltersMatchTheirDefinitions) {
  std::mt19937 random(3);
  for (int unit : {1, 2, 3, 4, 6, 8}) {
    for (int64_t length : {0, 1, 2, 3, 4, 5, 7, 8, 12, 13, 33, 64, 97}) {
      Bytes raw(static_cast<size_t>(length) + 4), previous(raw.size());
      for (uint8_t& b : raw) b = static_cast<uint8_t>(random());
      for (uint8_t& b : previous) b = static_cast<uint8_t>(random() % 3 == 0 ? 255 : random());
      for (uint8_t type = 0; type <= 4; ++type) {
        Bytes fast(raw.size(), 0xAA), slow(raw.size(), 0xAA);
        ASSERT_TRUE(unfilterRow(type, raw.data(), previous.data(), fast.data(), length, unit));
        literalUnfilter(type, raw.data(), previous.data(), slow.data(), length, unit);
        EXPECT_EQ(fast, slow) << "type " << int(type) << " unit " << unit << " length " << length;
        // The same row unfiltered over itself, moved back by the filter bytes before it.
        for (int shift : {1, 2, 17}) {
          Bytes shared(static_cast<size_t>(shift), 0xCC);
          shared.insert(shared.end(), raw.begin(), raw.end());
          ASSERT_TRUE(unfilterRow(type, shared.data() + shift, previous.data(), shared.data(), length, unit));
          EXPECT_TRUE(std::equal(slow.begin(), slow.begin() + length, shared.begin())) << "shift " << shift;
        }
      }
    }
  }
  Bytes out(4);
  EXPECT_FALSE(unfilterRow(5, out.data(), out.data(), out.data(), 4, 1));
}

TEST(Png, PaethTiesAndPackedSamples) {
  EXPECT_EQ(paeth(10, 10, 10), 10);  // all equal: a
  EXPECT_EQ(paeth(4, 4, 2), 4);      // a and b as near: a
  EXPECT_EQ(paeth(5, 100, 0), 100);  // p = 105: b is nearest
  EXPECT_EQ(paeth(100, 90, 95), 95); // p = 95: c is nearest
  const Bytes row = {0b10110010, 0xF1};
  EXPECT_EQ(sampleBits(row, 0, 1), 1);
  EXPECT_EQ(sampleBits(row, 3, 1), 1);
  EXPECT_EQ(sampleBits(row, 1, 2), 3);
  EXPECT_EQ(sampleBits(row, 1, 4), 2);
  EXPECT_EQ(sampleBits(row, 1, 8), 0xF1);
}

TEST(Png, EncodedFileLayout) {
  orvel::image::Image one = orvel::image::newImage(1, 1, orvel::image::csRgba);
  one.pixels[0] = 1, one.pixels[1] = 2, one.pixels[2] = 3, one.pixels[3] = 4;
  const std::vector<uint8_t> out = encodePng(one);
  std::vector<std::string> types;
  orvel::container::PngChunkWalk walk(out, orvel::container::PngWalkStop::atShortChunk);
  while (const auto chunk = walk.next()) types.emplace_back(chunk->type);
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(out[8 + 8 + 9], 6);  // colour type RGBA
  EXPECT_EQ(decodePng(out).pixels, one.pixels);
  orvel::image::Image cmyk = orvel::image::newImage(1, 1, orvel::image::csCmyk);
  try {
    encodePng(cmyk);
    ADD_FAILURE();
  } catch (const OrvelException& e) {
    EXPECT_STREQ(e.what(), "png: encode needs csGray, csRgb, or csRgba");
    EXPECT_EQ(e.kind(), orvel::image::iekUnsupported);
  }
}

}  // namespace
