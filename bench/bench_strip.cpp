// Stripping every piece of metadata from JPEGs held in memory and writing the result to memory,
// and rewriting their EXIF (a new Artist), against exiv2 doing the same (clear the metadata or
// set the tag, write to a memory image). Inputs: eight small synthetic photos, and camera-like
// photos of 1 to 20 MB made at bench time by scripts/make-bench-photos.sh (cjpeg and
// exiftool), the largest about 19 MB. One iteration handles one file, so times are per file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "orvel.h"
#include "support/sample_photo.h"

namespace {

using orvel::testing::Bytes;
namespace fs = std::filesystem;
constexpr int kSetSize = 8;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Inputs {
  std::vector<Bytes> synthetic;
  std::vector<Bytes> photos;  // camera-like, 1 to 20 MB
  Bytes large;

  Inputs() {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    for (int i = 0; i < kSetSize; ++i) {
      synthetic.push_back(orvel::testing::samplePhotoJpeg({i % 2 == 1, i, 2048}));
    }
    const fs::path directory = ORVEL_BENCH_PHOTOS;
    if (!fs::exists(directory / "large.jpg")) {
      const std::string command = std::string("bash '") + ORVEL_SOURCE_DIR +
                                  "/scripts/make-bench-photos.sh' '" + directory.string() + "' >&2";
      if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cannot make the bench photos (scripts/deps.sh installs the tools)\n");
        std::exit(1);
      }
    }
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(directory)) {
      if (entry.path().filename().string().rfind("photo", 0) == 0) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) photos.push_back(readFile(path));
    large = readFile(directory / "large.jpg");
    std::size_t total = 0;
    for (const Bytes& photo : photos) total += photo.size();
    std::fprintf(stderr, "%zu photos, %.1f MB on average; large.jpg %.1f MB\n", photos.size(),
                 total / 1e6 / static_cast<double>(std::max<std::size_t>(photos.size(), 1)),
                 large.size() / 1e6);
  }
};

const Inputs& inputs() {
  static const Inputs all;
  return all;
}

const std::vector<Bytes>& setOf(int which) {
  static const std::vector<std::vector<Bytes>> sets = {inputs().synthetic, inputs().photos,
                                                       {inputs().large}};
  return sets[static_cast<std::size_t>(which)];
}

void stripOrvel(benchmark::State& state, int which) {
  const std::vector<Bytes>& set = setOf(which);
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& photo = set[i++ % set.size()];
    uint8_t* out = nullptr;
    int64_t length = 0;
    if (ov_exif_strip_buffer(photo.data(), static_cast<int64_t>(photo.size()), &out, &length) != 0) {
      state.SkipWithError("strip failed");
      break;
    }
    benchmark::DoNotOptimize(out);
    ov_exif_buffer_free(out);
  }
}

void stripExiv2(benchmark::State& state, int which) {
  const std::vector<Bytes>& set = setOf(which);
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& photo = set[i++ % set.size()];
    auto image = Exiv2::ImageFactory::open(photo.data(), static_cast<long>(photo.size()));
    image->readMetadata();
    image->clearMetadata();
    image->writeMetadata();
    benchmark::DoNotOptimize(image->io().size());
  }
}

// The least any strip into a new buffer does: one allocation and one copy of the whole file.
// Against it, "ratio strip_photos vs copy" shows how far a strip is from the memory's speed.
void copyOnly(benchmark::State& state, int which) {
  const std::vector<Bytes>& set = setOf(which);
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& photo = set[i++ % set.size()];
    auto* out = static_cast<uint8_t*>(std::malloc(photo.size()));
    std::memcpy(out, photo.data(), photo.size());
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
}

void writeOrvel(benchmark::State& state, int which) {
  const std::vector<Bytes>& set = setOf(which);
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& photo = set[i++ % set.size()];
    ov_edit* edit = nullptr;
    ov_exif_edit_open_buffer(photo.data(), static_cast<int64_t>(photo.size()), &edit);
    ov_exif_set_artist(edit, "Bench Artist");
    uint8_t* out = nullptr;
    int64_t length = 0;
    const ov_status status = ov_exif_edit_write_buffer(edit, &out, &length);
    ov_exif_edit_free(edit);
    if (status != 0) {
      state.SkipWithError("write failed");
      break;
    }
    benchmark::DoNotOptimize(out);
    ov_exif_buffer_free(out);
  }
}

void writeExiv2(benchmark::State& state, int which) {
  const std::vector<Bytes>& set = setOf(which);
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& photo = set[i++ % set.size()];
    auto image = Exiv2::ImageFactory::open(photo.data(), static_cast<long>(photo.size()));
    image->readMetadata();
    image->exifData()["Exif.Image.Artist"] = "Bench Artist";
    image->writeMetadata();
    benchmark::DoNotOptimize(image->io().size());
  }
}

}  // namespace

BENCHMARK_CAPTURE(stripOrvel, synthetic, 0)->Name("strip_memory/orvel");
BENCHMARK_CAPTURE(stripExiv2, synthetic, 0)->Name("strip_memory/exiv2");
BENCHMARK_CAPTURE(stripOrvel, photos, 1)->Name("strip_photos/orvel");
BENCHMARK_CAPTURE(stripExiv2, photos, 1)->Name("strip_photos/exiv2");
BENCHMARK_CAPTURE(copyOnly, photos, 1)->Name("strip_photos/copy");
BENCHMARK_CAPTURE(stripOrvel, large, 2)->Name("strip_large/orvel");
BENCHMARK_CAPTURE(stripExiv2, large, 2)->Name("strip_large/exiv2");
BENCHMARK_CAPTURE(copyOnly, large, 2)->Name("strip_large/copy");
BENCHMARK_CAPTURE(writeOrvel, photos, 1)->Name("write_photos/orvel");
BENCHMARK_CAPTURE(writeExiv2, photos, 1)->Name("write_photos/exiv2");
BENCHMARK_CAPTURE(writeOrvel, large, 2)->Name("write_large/orvel");
BENCHMARK_CAPTURE(writeExiv2, large, 2)->Name("write_large/exiv2");

BENCHMARK_MAIN();
