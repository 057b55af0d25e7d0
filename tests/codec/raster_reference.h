// The differential check of a raster codec: tests/codec/raster_refs.py makes files with Pillow
// and netpbm together with the pixels those decoders read; ours must read the same, refuse the
// same files with the same message, and write files that the reference decoders read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "image/error.h"
#include "image/image.h"
#include "support/temp_dir.h"

namespace orvel::testing {

inline std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

inline void writeBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// Runs the reference script with Debian's Python (where Pillow lives); false on failure, with
// the script's output added to the test's failure message.
inline bool runReferenceScript(const std::string& arguments, const std::filesystem::path& dir) {
  const std::filesystem::path log = dir / "script.log";
  const std::string command = "/usr/bin/python3 " ORVEL_SOURCE_DIR "/tests/codec/raster_refs.py " +
                              arguments + " >" + log.string() + " 2>&1";
  if (std::system(command.c_str()) == 0) return true;
  const std::vector<uint8_t> output = readBytes(log);
  ADD_FAILURE() << command << " failed (Pillow: python3-pil, netpbm: netpbm):\n"
                << std::string(output.begin(), output.end());
  return false;
}

inline bool samePixels(const image::Image& image, const std::vector<uint8_t>& expected) {
  const std::span<const uint8_t> got = image.pixels;
  return std::equal(got.begin(), got.end(), expected.begin(), expected.end());
}

// A copy of `bytes` with little-endian values stored at offsets: {offset, value, width}.
struct Patch {
  std::size_t at;
  uint32_t value;
  int width = 1;
};
inline std::vector<uint8_t> patched(std::vector<uint8_t> bytes,
                                    std::initializer_list<Patch> patches) {
  for (const Patch& p : patches) {
    for (int i = 0; i < p.width; ++i) bytes.at(p.at + i) = static_cast<uint8_t>(p.value >> (8 * i));
  }
  return bytes;
}

inline std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// One refusal: the message and kind the decoder must raise for the input.
struct Refusal {
  std::string message;
  image::ImageErrorKind kind;
  std::vector<uint8_t> input;
};

template <class Decode>
void expectRefusals(Decode decode, const std::vector<Refusal>& refusals) {
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.message);
    try {
      decode(r.input);
      ADD_FAILURE() << "decoded";
    } catch (const image::OrvelException& e) {
      EXPECT_EQ(e.what(), r.message);
      EXPECT_EQ(e.kind(), r.kind);
    }
  }
}

inline std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
  return fields;
}

// Decodes every reference file of `format`; when `encode` is given, also encodes each decoded
// image, expects it back unchanged and the reference decoders to read it.
template <class Decode, class Encode>
void checkAgainstReferences(const std::string& format, Decode decode, Encode encode) {
  TempDir dir;
  ASSERT_TRUE(runReferenceScript("make " + format + " " + dir.path().string(), dir.path()));
  std::ifstream manifest(dir.path() / "manifest.txt");
  std::ofstream checks(dir.path() / "check.txt");
  int decoded = 0;
  int refused = 0;
  for (std::string line; std::getline(manifest, line);) {
    const std::vector<std::string> f = splitTabs(line);
    SCOPED_TRACE(f.at(1));
    const std::vector<uint8_t> bytes = readBytes(dir.path() / f.at(2));
    if (f[0] == "refuse") {
      ++refused;
      try {
        decode(bytes);
        ADD_FAILURE() << "decoded a file the decoder must refuse";
      } catch (const image::OrvelException& e) {
        EXPECT_EQ(e.what(), f.at(4));
        EXPECT_EQ(e.kind(), std::stoi(f.at(3)));
      }
      continue;
    }
    ++decoded;
    const image::Image image = decode(bytes);
    EXPECT_EQ(image.width, std::stoll(f.at(3)));
    EXPECT_EQ(image.height, std::stoll(f.at(4)));
    EXPECT_EQ(image.colorspace, std::stoi(f.at(5)));
    EXPECT_TRUE(samePixels(image, readBytes(dir.path() / f.at(6))));
    if constexpr (!std::is_same_v<Encode, std::nullptr_t>) {
      const std::vector<uint8_t> ours = encode(image);
      EXPECT_TRUE(decode(ours).pixels == image.pixels) << "round trip changed the pixels";
      const std::string name = "ours_" + f[1];
      writeBytes(dir.path() / name, ours);
      writeBytes(dir.path() / (name + ".raw"), image.pixels);
      checks << format << '\t' << name << '\t' << image.width << '\t' << image.height << '\t'
             << int{image.colorspace} << '\t' << name << ".raw\n";
    }
  }
  EXPECT_GE(decoded, 20);
  EXPECT_GE(refused, 1);
  checks.close();
  if constexpr (!std::is_same_v<Encode, std::nullptr_t>) {
    EXPECT_TRUE(runReferenceScript("check " + dir.path().string(), dir.path()));
  }
}

}  // namespace orvel::testing
