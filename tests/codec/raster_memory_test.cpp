// Inputs of a few bytes that declare images of up to 2^30 pixels fail with their message while
// the peak resident memory grows by less than 64 MB: no decoder commits memory for an image
// its data cannot fill.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "codec/bmp/bmp.h"
#include "codec/gif/gif.h"
#include "codec/jpeg/jpeg.h"
#include "codec/pcx/pcx.h"
#include "codec/png/png.h"
#include "codec/pnm/pnm.h"
#include "codec/qoi/qoi.h"
#include "codec/raster_reference.h"
#include "codec/tga/tga.h"
#include "codec/tiff/tiff.h"
#include "codec/webp/webp.h"
#include "deflate/zlib.h"
#include "support/chunk_builder.h"

namespace orvel::codec {
namespace {

using orvel::testing::Bytes;
using orvel::testing::bytesOf;
using orvel::testing::patched;

long peakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Decodes in a forked child, away from what this process did before; the child first restarts
// the peak-memory mark it inherits. Exit 0: the expected failure within the limit.
int decodeInChild(const std::function<void()>& decode, const std::string& message) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!(std::ofstream("/proc/self/clear_refs") << "5" << std::flush)) _exit(1);
    const long before = peakKb();
    try {
      decode();
    } catch (const image::OrvelException& e) {
      _exit(e.what() != message ? 2 : peakKb() - before >= 64 * 1024 ? 3 : 0);
    }
    _exit(4);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// `head` followed by `unit` `times` times.
Bytes repeated(Bytes head, const Bytes& unit, int times) {
  for (int i = 0; i < times; ++i) head.insert(head.end(), unit.begin(), unit.end());
  return head;
}

// Values of the given bit widths, least significant bit first.
Bytes packBits(std::initializer_list<std::pair<uint32_t, int>> values) {
  Bytes out;
  uint64_t window = 0;
  int count = 0;
  for (const auto& [value, width] : values) {
    window |= uint64_t{value} << count;
    for (count += width; count >= 8; count -= 8, window >>= 8) out.push_back(static_cast<uint8_t>(window));
  }
  if (count > 0) out.push_back(static_cast<uint8_t>(window));
  return out;
}

// A little-endian TIFF of one strip: 8-bit gray, `width` × `height`, Deflate, the strip `data`.
Bytes deflateTiff(uint32_t width, uint32_t height, const Bytes& data) {
  const uint32_t fields[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8}, {259, 3, 8},
                                {262, 3, 1},     {273, 4, 110},     {277, 3, 1}, {279, 4, 0}};
  Bytes out = patched(Bytes(110), {{0, 'I'}, {1, 'I'}, {2, 42}, {4, 8, 4}, {8, 8, 2}});
  for (int i = 0; i < 8; ++i) {
    const uint32_t value = fields[i][0] == 279 ? static_cast<uint32_t>(data.size()) : fields[i][2];
    out = patched(out, {{10u + 12u * i, fields[i][0], 2}, {12u + 12u * i, fields[i][1], 2},
                        {14u + 12u * i, 1, 4}, {18u + 12u * i, value, 4}});
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

TEST(HostileInput, HugeDeclaredImagesCommitNoMemory) {
  // 32768 × 32768 pixels each, with runs where the format has them, then the data ends.
  const Bytes bmp = patched(Bytes(100), {{0, 'B'},
                                         {1, 'M'},
                                         {10, 54, 4},
                                         {14, 40, 4},
                                         {18, 32768, 4},
                                         {22, 32768, 4},
                                         {26, 1},
                                         {28, 32}});
  const Bytes qoi = repeated(
      patched(Bytes(14), {{0, 0x66696F71, 4}, {6, 0x80}, {10, 0x80}, {12, 4}}), {0xFD}, 86);
  const Bytes tga =
      repeated(patched(Bytes(18), {{2, 10}, {12, 32768, 2}, {14, 32768, 2}, {16, 32}}),
               {0xFF, 1, 2, 3, 4}, 16);
  const Bytes pcx = repeated(patched(Bytes(128), {{0, 10},
                                                  {1, 5},
                                                  {2, 1},
                                                  {3, 8},
                                                  {8, 32767, 2},
                                                  {10, 32767, 2},
                                                  {65, 3},
                                                  {66, 32768, 2}}),
                             {0xFF, 7}, 30);
  // 32768 × 32768 RGBA, and image data that inflates to a few kilobytes.
  Bytes header = {0, 0, 0x80, 0, 0, 0, 0x80, 0, 8, 6, 0, 0, 0};
  const Bytes png = orvel::testing::pngFile(
      {orvel::testing::pngChunk("IHDR", header),
       orvel::testing::pngChunk("IDAT", deflate::zlibDeflate(Bytes(12000, 0))),
       orvel::testing::pngChunk("IEND", {})});
  // Baseline JPEG, three components: one-code Huffman tables (every block is two bits), then
  // four bytes of scan data.
  auto jpeg = [](uint8_t sideHigh, uint8_t sideLow) {
    Bytes f(200);
    f.clear();
    f.insert(f.end(), {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0});
    f.insert(f.end(), 64, 1);
    f.insert(f.end(), {0xFF, 0xC0, 0, 17, 8, sideHigh, sideLow, sideHigh, sideLow, 3, 1, 0x22, 0, 2,
                       0x11, 0, 3, 0x11, 0, 0xFF, 0xC4, 0, 38, 0x00, 1});
    f.insert(f.end(), 15, 0);
    f.insert(f.end(), {0, 0x10, 1});
    f.insert(f.end(), 15, 0);
    f.insert(f.end(), {0, 0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 63, 0, 0, 0, 0, 0});
    return f;
  };
  // 16384 × 16384 lossless WebP: no transform, cache or meta codes; green a two-symbol code of
  // one bit, the other codes single symbols of no bits; then 64 bytes of pixels.
  Bytes vp8l = {0x2F, 0xFF, 0xFF, 0xFF, 0x0F};
  const Bytes codes = packBits({{0, 3}, {1, 1}, {1, 1}, {1, 1}, {0, 8}, {1, 8}, {1, 4}, {1, 4},
                                {1, 4}, {1, 4}});
  vp8l.insert(vp8l.end(), codes.begin(), codes.end());
  vp8l.resize(vp8l.size() + 64, 0x5A);
  Bytes webp(20 + vp8l.size());
  std::ranges::copy(vp8l, webp.begin() + 20);
  webp = patched(webp, {{0, 'R'}, {1, 'I'}, {2, 'F'}, {3, 'F'}, {8, 'W'}, {9, 'E'},
                                   {10, 'B'}, {11, 'P'}, {12, 'V'}, {13, 'P'}, {14, '8'},
                                   {15, 'L'}, {16, static_cast<uint32_t>(vp8l.size()), 4},
                                   {4, static_cast<uint32_t>(vp8l.size() + 12), 4}});
  // 32768 × 32768 GIF whose codes (clear, 0, 1, end) give two indices.
  Bytes gif = bytesOf("GIF89a");
  const Bytes gifRest = {0, 0x80, 0, 0x80, 0x80, 0,   0,   0, 0,    0,    255,  255, 255,
                         0x2C, 0, 0,   0,   0,   0, 0x80, 0, 0x80, 0,    2,    2,   0x44,
                         0x0A, 0, 0x3B};
  gif.insert(gif.end(), gifRest.begin(), gifRest.end());
  const std::tuple<std::function<image::Image(base::ByteView)>, Bytes, const char*> cases[] = {
      {webp::decodeWebp, webp, "webp: bitstream truncated"},
      {gif::decodeGif, gif, "gif: LZW output too short"},
      {tiff::decodeTiff, deflateTiff(32768, 32768, deflate::zlibDeflate(Bytes(12000, 7))),
       "tiff: decoded strip/tile too short"},
      {jpeg::decodeJpeg, jpeg(0x80, 0), "jpeg: entropy stream truncated"},
      {jpeg::decodeJpeg, jpeg(0xFF, 0xFF), "jpeg: dimensions too large"},
      {png::decodePng, png, "png: filtered data too short"},
      {bmp::decodeBmp, bmp, "bmp: pixel data truncated"},
      {qoi::decodeQoi, qoi, "qoi: pixel stream truncated"},
      {tga::decodeTga, tga, "tga: RLE stream truncated"},
      {pcx::decodePcx, pcx, "pcx: pixel data truncated"},
      {pnm::decodePnm, bytesOf("P3 32768 32768 255\n1 2 3 4 5 6 7 8 9\n"),
       "pnm: expected an integer"},
      {pnm::decodePnm, bytesOf("P6 32768 32768 65535\n123456789"), "pnm: P6 data truncated"},
      {pnm::decodePnm, bytesOf("P7\nWIDTH 32768\nHEIGHT 32768\nDEPTH 4\nMAXVAL 255\nENDHDR\n1"),
       "pnm: PAM data truncated"},
  };
  for (const auto& c : cases) {
    const Bytes& input = std::get<1>(c);
    EXPECT_LE(input.size(), 200u);
    EXPECT_EQ(decodeInChild([&] { std::get<0>(c)(input); }, std::get<2>(c)), 0) << std::get<2>(c);
  }
}

}  // namespace
}  // namespace orvel::codec
