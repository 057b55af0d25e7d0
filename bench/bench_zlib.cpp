// Inflate and deflate throughput beside zlib and libdeflate, on what a PNG codec meets:
// - inflate: the scanlines of synthetic photographs (RGB 1.6 MP and RGBA 3 MP, filtered per
//   row as PNG writers do), compressed by zlib at levels 1 and 6, and English text;
// - deflate: the same photographs unfiltered (filter byte 0, as our PNG writer stores rows),
//   against zlib at levels 1 and 6.
// Every task is named "<task>/<implementation>"; bench/ratios.py turns them into ratios. The
// machines these run on are shared, so the implementations of a task run in alternation and
// each reports its fastest run by the thread's CPU clock (as the real time): wall time, and
// runs of one implementation after the other, would also measure the neighbours.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "deflate/sample_data.h"
#include "deflate/zlib.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace sample = orvel::deflate::testing;

struct Sample {
  Bytes plain;   // the uncompressed bytes
  Bytes stream;  // a zlib stream of them (inflate tasks)
};

Bytes zlibLevel(const Bytes& data, int level) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  compress2(out.data(), &size, data.data(), data.size(), level);
  out.resize(size);
  return out;
}

// PNG scanlines of the pixels: each row behind its filter byte, filtered with the one of
// the five filters whose residuals have the least sum of magnitudes, as PNG writers
// commonly choose.
Bytes adaptiveFiltered(const Bytes& pixels, int width, int height, int channels) {
  const size_t stride = static_cast<size_t>(width) * channels;
  Bytes out;
  out.reserve((stride + 1) * height);
  Bytes zero(stride, 0);
  Bytes best(stride);
  Bytes trial(stride);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = &pixels[y * stride];
    const uint8_t* up = y > 0 ? &pixels[(y - 1) * stride] : zero.data();
    long bestCost = -1;
    int bestFilter = 0;
    for (int filter = 0; filter < 5; ++filter) {
      long cost = 0;
      for (size_t i = 0; i < stride; ++i) {
        const int a = i >= static_cast<size_t>(channels) ? row[i - channels] : 0;
        const int b = up[i];
        const int c = i >= static_cast<size_t>(channels) ? up[i - channels] : 0;
        int predicted = 0;
        if (filter == 1) predicted = a;
        if (filter == 2) predicted = b;
        if (filter == 3) predicted = (a + b) / 2;
        if (filter == 4) {
          const int p = a + b - c;
          const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        }
        trial[i] = static_cast<uint8_t>(row[i] - predicted);
        cost += std::abs(static_cast<int8_t>(trial[i]));
      }
      if (bestCost < 0 || cost < bestCost) bestCost = cost, bestFilter = filter, best.swap(trial);
    }
    out.push_back(static_cast<uint8_t>(bestFilter));
    out.insert(out.end(), best.begin(), best.end());
  }
  return out;
}

// Two photographs, one after the other, as rows behind a filter byte each.
Bytes photoRows(bool filtered) {
  Bytes rows;
  const struct { int width, height, channels; } shots[] = {{1600, 1000, 3}, {2048, 1536, 4}};
  uint32_t seed = 1;
  for (const auto& shot : shots) {
    const Bytes pixels = sample::photoPixels(shot.width, shot.height, shot.channels, seed++);
    if (filtered) {
      const Bytes lines = adaptiveFiltered(pixels, shot.width, shot.height, shot.channels);
      rows.insert(rows.end(), lines.begin(), lines.end());
      continue;
    }
    const size_t stride = static_cast<size_t>(shot.width) * shot.channels;
    for (int y = 0; y < shot.height; ++y) {
      rows.push_back(0);
      rows.insert(rows.end(), pixels.begin() + y * stride, pixels.begin() + (y + 1) * stride);
    }
  }
  return rows;
}

const Bytes& filteredPhotos() {
  static const Bytes rows = photoRows(true);
  return rows;
}

const Sample& photoLevel1() {
  static const Sample s{filteredPhotos(), zlibLevel(filteredPhotos(), 1)};
  return s;
}

const Sample& photoLevel6() {
  static const Sample s{filteredPhotos(), zlibLevel(filteredPhotos(), 6)};
  return s;
}

const Sample& text() {
  static const Sample s = [] {
    Bytes plain = sample::textBytes(4 << 20);
    Bytes stream = zlibLevel(plain, 6);
    return Sample{std::move(plain), std::move(stream)};
  }();
  return s;
}

const Sample& unfilteredPhotos() {
  static const Sample s{photoRows(false), {}};
  return s;
}

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The implementations of one task, run in alternation for a number of rounds, each keeping
// its fastest time by the thread's CPU clock. Other work on a shared machine then weighs on
// all of them alike, where back-to-back runs of one and then the other would each meet
// different neighbours.
class Alternation {
 public:
  explicit Alternation(size_t bytes) : bytes_(bytes) {}

  void add(const std::string& name, std::function<void()> work) {
    names_.push_back(name);
    work_.push_back(std::move(work));
  }

  double fastest(const std::string& name) {
    if (fastest_.empty()) run();
    return fastest_[name];
  }

  size_t bytes() const { return bytes_; }

 private:
  static constexpr int kRounds = 7;

  void run() {
    for (int round = 0; round < kRounds; ++round) {
      for (size_t k = 0; k < work_.size(); ++k) {
        const double start = threadSeconds();
        work_[k]();
        const double seconds = threadSeconds() - start;
        auto [at, fresh] = fastest_.emplace(names_[k], seconds);
        if (!fresh) at->second = std::min(at->second, seconds);
      }
    }
  }

  size_t bytes_;
  std::vector<std::string> names_;
  std::vector<std::function<void()>> work_;
  std::map<std::string, double> fastest_;
};

// Each implementation is one benchmark reporting its fastest alternated time.
void registerTask(const std::string& task, const std::shared_ptr<Alternation>& alternation,
                  const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    benchmark::RegisterBenchmark(
        (task + "/" + name).c_str(),
        [alternation, name](benchmark::State& state) {
          for (auto _ : state) {
            state.SetIterationTime(alternation->fastest(name));
          }
          state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * alternation->bytes()));
        })
        ->UseManualTime()
        ->Iterations(1);
  }
}

using SampleOf = const Sample& (*)();

// Into a buffer of the exact size, as a PNG decoder inflates.
void registerInflate(const std::string& task, SampleOf get) {
  const Sample& s = get();
  auto alternation = std::make_shared<Alternation>(s.plain.size());
  auto out = std::make_shared<Bytes>(s.plain.size());
  alternation->add("orvel", [&s, out] {
    benchmark::DoNotOptimize(orvel::deflate::zlibInflateInto(s.stream, *out));
    benchmark::ClobberMemory();
  });
  alternation->add("zlib", [&s, out] {
    uLongf size = out->size();
    benchmark::DoNotOptimize(uncompress(out->data(), &size, s.stream.data(), s.stream.size()));
    benchmark::ClobberMemory();
  });
  std::shared_ptr<libdeflate_decompressor> d(libdeflate_alloc_decompressor(),
                                             libdeflate_free_decompressor);
  alternation->add("libdeflate", [&s, out, d] {
    size_t size = 0;
    benchmark::DoNotOptimize(libdeflate_zlib_decompress(d.get(), s.stream.data(), s.stream.size(),
                                                        out->data(), out->size(), &size));
    benchmark::ClobberMemory();
  });
  registerTask(task, alternation, {"orvel", "zlib", "libdeflate"});
}

void registerDeflate(const std::string& task, SampleOf get) {
  const Sample& s = get();
  auto alternation = std::make_shared<Alternation>(s.plain.size());
  alternation->add("orvel",
                   [&s] { benchmark::DoNotOptimize(orvel::deflate::zlibDeflate(s.plain).data()); });
  for (int level : {1, 6}) {
    alternation->add("zlib_level" + std::to_string(level),
                     [&s, level] { benchmark::DoNotOptimize(zlibLevel(s.plain, level).data()); });
  }
  registerTask(task, alternation, {"orvel", "zlib_level1", "zlib_level6"});
}

void printSizes() {
  const Sample& photo = unfilteredPhotos();
  const size_t ours = orvel::deflate::zlibDeflate(photo.plain).size();
  std::printf("unfiltered photos %zu bytes: orvel %zu, zlib level 1 %zu, level 6 %zu\n",
              photo.plain.size(), ours, zlibLevel(photo.plain, 1).size(),
              zlibLevel(photo.plain, 6).size());
  std::printf("filtered photos %zu bytes: zlib level 1 %zu, level 6 %zu\n",
              photoLevel1().plain.size(), photoLevel1().stream.size(), photoLevel6().stream.size());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  registerInflate("inflate_photo_level1", photoLevel1);
  registerInflate("inflate_photo_level6", photoLevel6);
  registerInflate("inflate_text", text);
  registerDeflate("deflate_photo", unfilteredPhotos);
  registerDeflate("deflate_text", text);
  printSizes();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
