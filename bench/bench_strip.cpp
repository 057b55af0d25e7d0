// Stripping every piece of metadata from camera JPEGs held in memory and writing the result to
// memory, against exiv2 doing the same (clear all metadata, write to a memory image). One
// iteration strips one file of the set, so times are per file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "orvel.h"
#include "support/sample_photo.h"

namespace {

using orvel::testing::Bytes;
constexpr int kSetSize = 8;

const std::vector<Bytes>& photos() {
  static const std::vector<Bytes> set = [] {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    std::vector<Bytes> out;
    for (int i = 0; i < kSetSize; ++i) {
      out.push_back(orvel::testing::samplePhotoJpeg({i % 2 == 1, i, 2048}));
    }
    return out;
  }();
  return set;
}

void stripMemoryOrvel(benchmark::State& state) {
  const std::vector<Bytes>& set = photos();
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

void stripMemoryExiv2(benchmark::State& state) {
  const std::vector<Bytes>& set = photos();
  std::size_t i = 0;
  for (auto _ : state) {
    const Bytes& photo = set[i++ % set.size()];
    auto image = Exiv2::ImageFactory::open(photo.data(), static_cast<long>(photo.size()));
    image->readMetadata();
    image->clearMetadata();
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    benchmark::DoNotOptimize(io.size());
  }
}

}  // namespace

BENCHMARK(stripMemoryOrvel)->Name("strip_memory/orvel");
BENCHMARK(stripMemoryExiv2)->Name("strip_memory/exiv2");

BENCHMARK_MAIN();
