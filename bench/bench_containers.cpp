// Metadata of PNG, WebP and HEIF containers in memory: locating EXIF, XMP and text, and
// rebuilding without metadata; against exiv2 in the same run. Inputs are the committed
// container fixtures. One iteration handles one file.
#include <benchmark/benchmark.h>

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

#include "container/png.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"
#include "orvel.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fixture(const char* name) {
  const auto path = std::filesystem::path(__FILE__).parent_path() / "../tests/fixtures/containers" / name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("missing fixture " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Inputs {
  Bytes png = fixture("chunks.png");
  Bytes webp = fixture("extended.webp");
  Bytes heic = fixture("still.heic");
  Inputs() {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  }
};

const Inputs& inputs() {
  static const Inputs all;
  return all;
}

// exiv2 reads every metadata block of the file and renders each EXIF value as text.
size_t exiv2Read(const Bytes& file) {
  auto image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
  image->readMetadata();
  size_t characters = 0;
  for (const auto& datum : image->exifData()) characters += datum.key().size() + datum.toString().size();
  return characters;
}

// The whole reading pipeline through the C interface, every tag listed.
size_t orvelRead(const Bytes& file) {
  ov_meta* meta = nullptr;
  if (ov_exif_read_buffer(file.data(), static_cast<int64_t>(file.size()), &meta) != 0) return 0;
  size_t characters = 0;
  const int64_t count = ov_exif_tag_count(meta);
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    ov_exif_tag_at(meta, i, &name, &value);
    characters += std::strlen(name) + std::strlen(value);
  }
  ov_exif_meta_free(meta);
  return characters;
}

void readOrvel(benchmark::State& state, const Bytes Inputs::*file) {
  for (auto _ : state) benchmark::DoNotOptimize(orvelRead(inputs().*file));
}

void readExiv2(benchmark::State& state, const Bytes Inputs::*file) {
  for (auto _ : state) benchmark::DoNotOptimize(exiv2Read(inputs().*file));
}

// exiv2 drops every metadata block and writes the file to memory.
size_t exiv2Strip(const Bytes& file) {
  auto image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
  image->readMetadata();
  image->clearMetadata();
  image->writeMetadata();
  return static_cast<size_t>(image->io().size());
}

void pngLocateOrvel(benchmark::State& state) {
  const Bytes& png = inputs().png;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvel::metadata::pipeline::findExifInPng(png));
    benchmark::DoNotOptimize(orvel::container::pngTextChunks(png));
    benchmark::DoNotOptimize(orvel::metadata::xmp::findXmpInPng(png));
  }
}

void pngLocateExiv2(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(exiv2Read(inputs().png));
}

void pngStripOrvel(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(orvel::metadata::edit::stripPng(inputs().png));
}

void pngStripExiv2(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(exiv2Strip(inputs().png));
}

void webpLocateOrvel(benchmark::State& state) {
  const Bytes& webp = inputs().webp;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvel::metadata::pipeline::findExifInWebp(webp));
    benchmark::DoNotOptimize(orvel::metadata::xmp::findXmpInWebp(webp));
  }
}

void webpLocateExiv2(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(exiv2Read(inputs().webp));
}

void webpStripOrvel(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(orvel::metadata::edit::stripWebp(inputs().webp));
}

void webpStripExiv2(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(exiv2Strip(inputs().webp));
}

void heifLocateOrvel(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(orvel::metadata::pipeline::findExifTiffInIsobmff(inputs().heic));
}

}  // namespace

// exiv2 also decodes the EXIF it finds, so the locate ratios favour us: they show the cost
// of reaching the metadata, not of rendering it. The read ratios compare whole reads.
// Debian's exiv2 finds no EXIF in heif-enc's HEIC, so HEIF has no peer here.
BENCHMARK_CAPTURE(readOrvel, png, &Inputs::png)->Name("png_read/orvel");
BENCHMARK_CAPTURE(readExiv2, png, &Inputs::png)->Name("png_read/exiv2");
BENCHMARK_CAPTURE(readOrvel, webp, &Inputs::webp)->Name("webp_read/orvel");
BENCHMARK_CAPTURE(readExiv2, webp, &Inputs::webp)->Name("webp_read/exiv2");
BENCHMARK_CAPTURE(readOrvel, heic, &Inputs::heic)->Name("heif_read/orvel");
BENCHMARK(pngLocateOrvel)->Name("png_locate/orvel");
BENCHMARK(pngLocateExiv2)->Name("png_locate/exiv2");
BENCHMARK(pngStripOrvel)->Name("png_strip/orvel");
BENCHMARK(pngStripExiv2)->Name("png_strip/exiv2");
BENCHMARK(webpLocateOrvel)->Name("webp_locate/orvel");
BENCHMARK(webpLocateExiv2)->Name("webp_locate/exiv2");
BENCHMARK(webpStripOrvel)->Name("webp_strip/orvel");
BENCHMARK(webpStripExiv2)->Name("webp_strip/exiv2");
BENCHMARK(heifLocateOrvel)->Name("heif_locate/orvel");

BENCHMARK_MAIN();
