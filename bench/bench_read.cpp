// Reading the metadata of camera JPEGs, from memory and from files: open, list every tag
// rendered as text, close; against libexif and exiv2 in the same run. One iteration reads one
// file of the set, so times are per file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop
#include <libexif/exif-data.h>

#include "orvel.h"
#include "support/sample_photo.h"

namespace {

using orvel::testing::Bytes;
constexpr int kSetSize = 8;
constexpr std::size_t kLargeScanBytes = std::size_t{20} << 20;

// The set of sample photos, in memory and written once to a temporary directory.
struct PhotoSet {
  std::vector<Bytes> photos;
  std::vector<std::string> paths;
  std::string largePath;
  std::filesystem::path directory;

  PhotoSet() {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    char pattern[] = "/tmp/orvel-bench-XXXXXX";
    directory = mkdtemp(pattern);
    for (int i = 0; i < kSetSize; ++i) {
      photos.push_back(orvel::testing::samplePhotoJpeg({i % 2 == 1, i, 2048}));
      paths.push_back((directory / ("photo" + std::to_string(i) + ".jpg")).string());
      write(paths.back(), photos.back());
    }
    largePath = (directory / "large.jpg").string();
    write(largePath, orvel::testing::samplePhotoJpeg({false, 3, kLargeScanBytes}));
  }
  ~PhotoSet() { std::filesystem::remove_all(directory); }

  static void write(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
    std::fclose(file);
  }
};

const PhotoSet& photoSet() {
  static PhotoSet set;
  return set;
}

// Sums the text lengths so that no rendering can be skipped.
std::size_t listOrvel(ov_meta* handle) {
  std::size_t total = 0;
  const int64_t count = ov_exif_tag_count(handle);
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    ov_exif_tag_at(handle, i, &name, &value);
    total += std::strlen(name) + std::strlen(value);
  }
  ov_exif_meta_free(handle);
  return total;
}

std::size_t listLibexif(ExifData* data) {
  std::size_t total = 0;
  char text[1024];
  for (int ifd = 0; ifd < EXIF_IFD_COUNT; ++ifd) {
    ExifContent* content = data->ifd[ifd];
    for (unsigned i = 0; i < content->count; ++i) {
      ExifEntry* entry = content->entries[i];
      const char* name = exif_tag_get_name_in_ifd(entry->tag, static_cast<ExifIfd>(ifd));
      total += name != nullptr ? std::strlen(name) : 0;
      total += std::strlen(exif_entry_get_value(entry, text, sizeof text));
    }
  }
  if (ExifMnoteData* note = exif_data_get_mnote_data(data)) {
    const unsigned count = exif_mnote_data_count(note);
    for (unsigned i = 0; i < count; ++i) {
      const char* name = exif_mnote_data_get_name(note, i);
      total += name != nullptr ? std::strlen(name) : 0;
      const char* value = exif_mnote_data_get_value(note, i, text, sizeof text);
      total += value != nullptr ? std::strlen(value) : 0;
    }
  }
  exif_data_unref(data);
  return total;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::size_t listExiv2(Exiv2::Image::AutoPtr image) {
  image->readMetadata();
  std::size_t total = 0;
  const Exiv2::ExifData& exif = image->exifData();
  for (const Exiv2::Exifdatum& datum : exif) total += datum.key().size() + datum.print(&exif).size();
  return total;
}
#pragma GCC diagnostic pop

const Bytes& photoFor(int64_t iteration) {
  return photoSet().photos[static_cast<std::size_t>(iteration % kSetSize)];
}
const std::string& pathFor(int64_t iteration) {
  return photoSet().paths[static_cast<std::size_t>(iteration % kSetSize)];
}

void readMemoryOrvel(benchmark::State& state) {
  int64_t n = 0;
  for (auto _ : state) {
    const Bytes& photo = photoFor(n++);
    ov_meta* handle = nullptr;
    ov_exif_read_buffer(photo.data(), static_cast<int64_t>(photo.size()), &handle);
    benchmark::DoNotOptimize(listOrvel(handle));
  }
}

void readMemoryLibexif(benchmark::State& state) {
  int64_t n = 0;
  for (auto _ : state) {
    const Bytes& photo = photoFor(n++);
    ExifData* data = exif_data_new_from_data(photo.data(), static_cast<unsigned>(photo.size()));
    benchmark::DoNotOptimize(listLibexif(data));
  }
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void readMemoryExiv2(benchmark::State& state) {
  int64_t n = 0;
  for (auto _ : state) {
    const Bytes& photo = photoFor(n++);
    benchmark::DoNotOptimize(listExiv2(
        Exiv2::ImageFactory::open(photo.data(), static_cast<long>(photo.size()))));
  }
}

void readFileExiv2(benchmark::State& state, bool large) {
  int64_t n = 0;
  for (auto _ : state) {
    const std::string& path = large ? photoSet().largePath : pathFor(n++);
    benchmark::DoNotOptimize(listExiv2(Exiv2::ImageFactory::open(path)));
  }
}
#pragma GCC diagnostic pop

void readFileOrvel(benchmark::State& state, bool large) {
  int64_t n = 0;
  for (auto _ : state) {
    const std::string& path = large ? photoSet().largePath : pathFor(n++);
    ov_meta* handle = nullptr;
    ov_exif_read_file(path.c_str(), &handle);
    benchmark::DoNotOptimize(listOrvel(handle));
  }
}

void readFileLibexif(benchmark::State& state, bool large) {
  int64_t n = 0;
  for (auto _ : state) {
    const std::string& path = large ? photoSet().largePath : pathFor(n++);
    benchmark::DoNotOptimize(listLibexif(exif_data_new_from_file(path.c_str())));
  }
}

// Every implementation must find the same photos full of tags, or the timings mean nothing.
void reportTagCounts() {
  const Bytes& photo = photoSet().photos[0];
  ov_meta* handle = nullptr;
  ov_exif_read_buffer(photo.data(), static_cast<int64_t>(photo.size()), &handle);
  const int64_t ours = ov_exif_tag_count(handle);
  ov_exif_meta_free(handle);
  ExifData* data = exif_data_new_from_data(photo.data(), static_cast<unsigned>(photo.size()));
  unsigned theirs = 0;
  for (int ifd = 0; ifd < EXIF_IFD_COUNT; ++ifd) theirs += data->ifd[ifd]->count;
  exif_data_unref(data);
  std::fprintf(stderr, "tags per photo: orvel %lld, libexif %u (without its maker note)\n",
               static_cast<long long>(ours), theirs);
}


}  // namespace

BENCHMARK(readMemoryOrvel)->Name("read_memory/orvel");
BENCHMARK(readMemoryLibexif)->Name("read_memory/libexif");
BENCHMARK(readMemoryExiv2)->Name("read_memory/exiv2");
BENCHMARK_CAPTURE(readFileOrvel, small, false)->Name("read_file/orvel");
BENCHMARK_CAPTURE(readFileLibexif, small, false)->Name("read_file/libexif");
BENCHMARK_CAPTURE(readFileExiv2, small, false)->Name("read_file/exiv2");
BENCHMARK_CAPTURE(readFileOrvel, large, true)->Name("read_file_20MiB/orvel");
BENCHMARK_CAPTURE(readFileLibexif, large, true)->Name("read_file_20MiB/libexif");
BENCHMARK_CAPTURE(readFileExiv2, large, true)->Name("read_file_20MiB/exiv2");

// The library's registry is built during static initialisation, so nothing is read before main.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  reportTagCounts();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
