// The differential check of a raster codec: tests/codec/raster_refs.py makes files with Pillow
// and netpbm and the pixels those decoders read; ours must read the same, refuse the same files
// with the same message, and write files that the reference decoders read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "image/error.h"
#include "image/image.h"
#include "support/temp_dir.h"

namespace orvel::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes readBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

inline void writeBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
}

inline Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// A copy of `bytes` with values stored little-endian: {offset, value, width in bytes}.
struct Patch {
  std::size_t at;
  uint32_t value;
  int width = 1;
};
inline Bytes patched(Bytes bytes, std::initializer_list<Patch> patches) {
  for (const Patch& p : patches) {
    for (int i = 0; i < p.width; ++i) bytes.at(p.at + i) = static_cast<uint8_t>(p.value >> 8 * i);
  }
  return bytes;
}

// Expects `run` to raise OrvelException with exactly this message and kind.
template <class Run>
void expectFailure(Run run, const std::string& message, image::ImageErrorKind kind) {
  try {
    run();
    ADD_FAILURE() << "no failure, expected: " << message;
  } catch (const image::OrvelException& e) {
    EXPECT_EQ(e.what(), message);
    EXPECT_EQ(e.kind(), kind) << message;
  }
}

struct Refusal {
  std::string message;
  image::ImageErrorKind kind;
  Bytes input;
};
template <class Decode>
void expectRefusals(Decode decode, const std::vector<Refusal>& refusals) {
  for (const Refusal& r : refusals) expectFailure([&] { decode(r.input); }, r.message, r.kind);
}

// Runs the script with Debian's Python (where Pillow lives); its output joins a failure.
inline bool runReferenceScript(const std::string& arguments, const std::filesystem::path& dir) {
  const std::string command = "/usr/bin/python3 " ORVEL_SOURCE_DIR "/tests/codec/raster_refs.py " +
                              arguments + " >" + (dir / "log").string() + " 2>&1";
  if (std::system(command.c_str()) == 0) return true;
  const Bytes log = readBytes(dir / "log");
  ADD_FAILURE() << command << " failed (needs python3-pil and netpbm):\n"
                << std::string(log.begin(), log.end());
  return false;
}

// Decodes every reference file of `format`; with an encoder, also expects each decoded image
// back unchanged from our encoding and the reference decoders to read that encoding.
template <class Decode, class Encode>
void checkAgainstReferences(const std::string& format, Decode decode, Encode encode) {
  constexpr bool kEncodes = !std::is_same_v<Encode, std::nullptr_t>;
  TempDir dir;
  ASSERT_TRUE(runReferenceScript("make " + format + " " + dir.path().string(), dir.path()));
  std::ifstream manifest(dir.path() / "manifest.txt");
  std::ofstream checks(dir.path() / "check.txt");
  int decoded = 0;
  int refused = 0;
  for (std::string line; std::getline(manifest, line);) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    SCOPED_TRACE(f.at(1));
    const Bytes bytes = readBytes(dir.path() / f.at(2));
    if (f[0] == "refuse") {
      ++refused;
      expectFailure([&] { decode(bytes); }, f.at(4),
                    static_cast<image::ImageErrorKind>(std::stoi(f.at(3))));
      continue;
    }
    ++decoded;
    const image::Image image = decode(bytes);
    EXPECT_EQ(image.width, std::stoll(f.at(3)));
    EXPECT_EQ(image.height, std::stoll(f.at(4)));
    EXPECT_EQ(image.colorspace, std::stoi(f.at(5)));
    EXPECT_TRUE(std::ranges::equal(image.pixels, readBytes(dir.path() / f.at(6))));
    if constexpr (kEncodes) {
      const Bytes ours = encode(image);
      EXPECT_TRUE(decode(ours).pixels == image.pixels) << "the round trip changed the pixels";
      writeBytes(dir.path() / ("ours_" + f[1]), ours);
      writeBytes(dir.path() / ("ours_" + f[1] + ".raw"), image.pixels);
      checks << format << "\tours_" << f[1] << '\t' << image.width << '\t' << image.height << '\t'
             << int{image.colorspace} << "\tours_" << f[1] << ".raw\n";
    }
  }
  EXPECT_GE(decoded, 20);
  EXPECT_GE(refused, 1);
  checks.close();
  if (kEncodes) {
    EXPECT_TRUE(runReferenceScript("check " + dir.path().string(), dir.path()));
  }
}

}  // namespace orvel::testing
