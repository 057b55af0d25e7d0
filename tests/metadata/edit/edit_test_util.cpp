#include "edit_test_util.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>

namespace orvel::testing {
namespace {

// An 8×8 grey baseline JPEG without its SOI: APP0, DQT, SOF0, DHT, SOS, scan, EOI.
constexpr std::array<uint8_t, 157> kTinyJpegBody = {
  0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00,
  0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x10,
  0x0b, 0x0c, 0x0e, 0x0c, 0x0a, 0x10, 0x0e, 0x0d, 0x0e, 0x12, 0x11, 0x10,
  0x13, 0x18, 0x28, 0x1a, 0x18, 0x16, 0x16, 0x18, 0x31, 0x23, 0x25, 0x1d,
  0x28, 0x3a, 0x33, 0x3d, 0x3c, 0x39, 0x33, 0x38, 0x37, 0x40, 0x48, 0x5c,
  0x4e, 0x40, 0x44, 0x57, 0x45, 0x37, 0x38, 0x50, 0x6d, 0x51, 0x57, 0x5f,
  0x62, 0x67, 0x68, 0x67, 0x3e, 0x4d, 0x71, 0x79, 0x70, 0x64, 0x78, 0x5c,
  0x65, 0x67, 0x63, 0xff, 0xc0, 0x00, 0x0b, 0x08, 0x00, 0x08, 0x00, 0x08,
  0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00,
  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
  0x00, 0x01, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00,
  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
  0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x1f, 0xff,
  0xd9
};

std::string run(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), got);
  ::pclose(pipe);
  return out;
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

ScratchDir::ScratchDir(const std::string& parent) {
  std::string pattern = parent + "/orvel-edit-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void writeBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

unsigned permissionsOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDirectory(const std::string& path) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    out.push_back(entry.path().filename().string());
  }
  return out;
}

std::vector<Segment> jpegSegments(const Bytes& jpeg) {
  std::vector<Segment> out;
  std::size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA) {
    const std::size_t length = std::size_t{jpeg[p + 2]} << 8 | jpeg[p + 3];
    if (p + 2 + length > jpeg.size()) break;
    out.push_back({jpeg[p + 1], Bytes(jpeg.begin() + p, jpeg.begin() + p + 2 + length)});
    p += 2 + length;
  }
  return out;
}

Bytes jpegScan(const Bytes& jpeg) {
  std::size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA) {
    p += 2 + (std::size_t{jpeg[p + 2]} << 8 | jpeg[p + 3]);
  }
  return p < jpeg.size() ? Bytes(jpeg.begin() + p, jpeg.end()) : Bytes{};
}

Bytes segmentOf(uint8_t marker, const Bytes& payload) {
  Bytes out = {0xFF, marker};
  appendBE16(out, static_cast<uint16_t>(payload.size() + 2));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes app1(const Bytes& payload) { return segmentOf(0xE1, payload); }

Bytes realJpeg(const std::vector<Bytes>& segmentsAfterSoi) {
  Bytes out = {0xFF, 0xD8};
  for (const Bytes& segment : segmentsAfterSoi) out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), kTinyJpegBody.begin(), kTinyJpegBody.end());
  return out;
}

bool haveExiftool() {
  static const bool found = std::system("command -v exiftool >/dev/null 2>&1") == 0;
  return found;
}

std::string exiftoolValidate(const std::string& path) {
  return trimmed(run("exiftool -validate -warning -a '" + path + "' 2>&1"));
}

std::string exiftoolTag(const std::string& path, const std::string& tag) {
  return trimmed(run("exiftool -s3 -n -" + tag + " '" + path + "' 2>&1"));
}

}  // namespace orvel::testing
