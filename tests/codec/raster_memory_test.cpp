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
#include "codec/jpeg/jpeg.h"
#include "codec/pcx/pcx.h"
#include "codec/png/png.h"
#include "codec/pnm/pnm.h"
#include "codec/qoi/qoi.h"
#include "codec/raster_reference.h"
#include "codec/tga/tga.h"
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
  const std::tuple<std::function<image::Image(base::ByteView)>, Bytes, const char*> cases[] = {
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
