#include "codec/pcx/pcx.h"

#include <gtest/gtest.h>

#include "codec/raster_reference.h"

namespace orvel::codec::pcx {
namespace {

using orvel::testing::patched;

TEST(Pcx, ReadsLikePillowAndNetpbm) {
  orvel::testing::checkAgainstReferences("pcx", decodePcx, nullptr);
}

// A version 5 header: {encoding, bits, width, height, planes, bytes per line, palette info}
// followed by `body`.
std::vector<uint8_t> pcx(uint8_t encoding, uint8_t bits, uint16_t width, uint16_t height,
                         uint8_t planes, uint16_t bpl, uint16_t paletteInfo,
                         std::vector<uint8_t> body) {
  body.insert(body.begin(), 128, uint8_t{0});
  return patched(std::move(body), {{0, 0x0A},
                                   {1, 5},
                                   {2, encoding},
                                   {3, bits},
                                   {4, 10, 2},
                                   {8, 10u + width - 1, 2},
                                   {10, height - 1u, 2},
                                   {65, planes},
                                   {66, bpl, 2},
                                   {68, paletteInfo, 2}});
}

TEST(Pcx, RefusesWhatItCannotRead) {
  const std::vector<uint8_t> gray = pcx(1, 8, 3, 2, 1, 4, 2, {0xC4, 9, 1, 2, 3, 4});
  const std::vector<uint8_t> raw = pcx(0, 8, 3, 2, 1, 3, 2, {1, 2, 3, 4, 5, 6});
  const std::vector<uint8_t> huge = pcx(1, 8, 20000, 20000, 1, 20000, 2, {0xFF, 1, 0xFF, 1});
  orvel::testing::expectRefusals(
      decodePcx,
      {
          {"pcx: header truncated", image::iekTruncated, {gray.begin(), gray.begin() + 127}},
          {"pcx: not a ZSoft PCX", image::iekUnsupported, patched(gray, {{0, 0x0B}})},
          {"pcx: unsupported version", image::iekUnsupported, patched(gray, {{1, 6}})},
          {"pcx: unsupported encoding", image::iekUnsupported, patched(gray, {{2, 2}})},
          {"pcx: bad dimensions", image::iekInvalid, patched(gray, {{8, 9, 2}})},
          {"pcx: too many pixels", image::iekInvalid,
           patched(gray, {{4, 0, 2}, {8, 65535, 2}, {10, 16384, 2}})},
          {"pcx: unsupported pixel layout", image::iekUnsupported, patched(gray, {{65, 4}})},
          {"pcx: unsupported pixel layout", image::iekUnsupported, patched(gray, {{3, 2}})},
          {"pcx: bpl too small for mono", image::iekInvalid, pcx(1, 1, 9, 1, 1, 1, 1, {})},
          {"pcx: bpl smaller than width", image::iekInvalid, patched(gray, {{66, 2, 2}})},
          {"pcx: bpl too large for width", image::iekInvalid, patched(gray, {{66, 5, 2}})},
          {"pcx: bpl too large for width", image::iekInvalid, pcx(1, 1, 9, 1, 1, 4, 1, {})},
          {"pcx: missing 256-color palette", image::iekInvalid, patched(gray, {{68, 1, 2}})},
          {"pcx: RLE value truncated", image::iekTruncated, {gray.begin(), gray.begin() + 129}},
          {"pcx: RLE overruns scanline", image::iekInvalid, patched(gray, {{128, 0xC5}})},
          {"pcx: pixel data truncated", image::iekTruncated, {gray.begin(), gray.end() - 1}},
          {"pcx: pixel data truncated", image::iekTruncated, {raw.begin(), raw.end() - 1}},
          // Declared far larger than the stream can fill: checked without the image.
          {"pcx: pixel data truncated", image::iekTruncated, huge},
          {"pcx: RLE overruns scanline", image::iekInvalid,
           pcx(1, 8, 1, 65535, 1, 2, 2, {0xC3, 7})},
      });
  // Runs stop at each plane's end; bytes per line one above the minimum are accepted.
  const image::Image image = decodePcx(gray);
  EXPECT_EQ(std::vector<uint8_t>(image.pixels.begin(), image.pixels.end()),
            (std::vector<uint8_t>{9, 9, 9, 1, 2, 3}));
}

}  // namespace
}  // namespace orvel::codec::pcx
