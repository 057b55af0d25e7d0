// Inputs of a few bytes that declare images of up to 2^30 pixels fail with their message while
// the peak resident memory grows by less than 64 MB: no decoder commits memory for an image
// its data cannot fill.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "codec/bmp/bmp.h"
#include "codec/pcx/pcx.h"
#include "codec/pnm/pnm.h"
#include "codec/qoi/qoi.h"
#include "codec/raster_reference.h"
#include "codec/tga/tga.h"
#include "image/error.h"

namespace orvel::codec {
namespace {

using orvel::testing::bytesOf;
using orvel::testing::patched;

constexpr long kLimitKb = 64 * 1024;

long peakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Exit codes of the child that decodes one input.
enum Outcome { kFine = 0, kNoReset = 1, kWrongFailure = 2, kTooMuchMemory = 3 };

// Decodes in a forked child, so that nothing else this process did is in the measurement.
// The child restarts its peak-memory mark (which it inherits from this process) first.
int decodeInChild(const std::function<void()>& decode, const std::string& message) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5" << std::flush;
    if (!reset) _exit(kNoReset);
    const long before = peakKb();
    bool failedRight = false;
    try {
      decode();
    } catch (const image::OrvelException& e) {
      failedRight = e.what() == message;
    }
    _exit(!failedRight ? kWrongFailure : peakKb() - before >= kLimitKb ? kTooMuchMemory : kFine);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<uint8_t> repeated(std::vector<uint8_t> head, std::vector<uint8_t> unit, int times) {
  for (int i = 0; i < times; ++i) head.insert(head.end(), unit.begin(), unit.end());
  return head;
}

TEST(HostileInput, HugeDeclaredImagesCommitNoMemory) {
  std::vector<uint8_t> bmp = patched(std::vector<uint8_t>(100), {{0, 'B'},
                                                                 {1, 'M'},
                                                                 {10, 54, 4},
                                                                 {14, 40, 4},
                                                                 {18, 32768, 4},
                                                                 {22, 32768, 4},
                                                                 {26, 1, 2},
                                                                 {28, 32, 2}});
  // 32768 × 32768 RGBA: runs of 62 pixels, then the stream ends.
  std::vector<uint8_t> qoi = repeated(
      patched(std::vector<uint8_t>(14), {{0, 0x66696F71, 4}, {6, 0x80, 1}, {10, 0x80, 1}, {12, 4}}),
      {0xFD}, 86);
  std::vector<uint8_t> tga = repeated(
      patched(std::vector<uint8_t>(18), {{2, 10}, {12, 32768, 2}, {14, 32768, 2}, {16, 32}}),
      {0xFF, 1, 2, 3, 4}, 16);
  std::vector<uint8_t> pcx = repeated(patched(std::vector<uint8_t>(128), {{0, 0x0A},
                                                                          {1, 5},
                                                                          {2, 1},
                                                                          {3, 8},
                                                                          {8, 32767, 2},
                                                                          {10, 32767, 2},
                                                                          {65, 3},
                                                                          {66, 32768, 2}}),
                                      {0xFF, 7}, 30);
  const struct {
    const char* name;
    std::function<image::Image(base::ByteView)> decode;
    std::vector<uint8_t> input;
    const char* message;
  } cases[] = {
      {"bmp", bmp::decodeBmp, bmp, "bmp: pixel data truncated"},
      {"qoi", qoi::decodeQoi, qoi, "qoi: pixel stream truncated"},
      {"tga", tga::decodeTga, tga, "tga: RLE stream truncated"},
      {"pcx", pcx::decodePcx, pcx, "pcx: pixel data truncated"},
      {"p3", pnm::decodePnm, bytesOf("P3 32768 32768 255\n1 2 3 4 5 6 7 8 9 10\n"),
       "pnm: expected an integer"},
      {"p6", pnm::decodePnm, bytesOf("P6 32768 32768 65535\n123456789"), "pnm: P6 data truncated"},
      {"pam", pnm::decodePnm,
       bytesOf("P7\nWIDTH 32768\nHEIGHT 32768\nDEPTH 4\nMAXVAL 255\nENDHDR\n1234"),
       "pnm: PAM data truncated"},
  };
  for (const auto& c : cases) {
    EXPECT_LE(c.input.size(), 400u);
    EXPECT_EQ(decodeInChild([&] { c.decode(c.input); }, c.message), kFine) << c.name;
  }
}

}  // namespace
}  // namespace orvel::codec
