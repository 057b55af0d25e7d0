// Inflate and deflate throughput beside zlib and libdeflate, on what a PNG codec meets:
// - inflate: the scanlines of synthetic photographs (RGB 1.6 MP and RGBA 3 MP, filtered per
//   row as PNG writers do), compressed by zlib at levels 1 and 6, and English text;
// - deflate: the same photographs unfiltered (filter byte 0, as our PNG writer stores rows),
//   against zlib at levels 1 and 6.
// Every task is named "<task>/<implementation>"; bench/ratios.py turns them into ratios. The
// machines these run on are shared, so each iteration is timed by the thread's CPU clock
// (reported as the real time): wall time would also measure the neighbours.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>
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
  const struct {
    int width, height, channels;
  } shots[] = {{1600, 1000, 3}, {2048, 1536, 4}};
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

// Runs `work` once per iteration, timed by the thread's CPU clock.
template <typename Work>
void timeIterations(benchmark::State& state, Work work) {
  for (auto _ : state) {
    const double start = threadSeconds();
    work();
    state.SetIterationTime(threadSeconds() - start);
  }
}

void countBytes(benchmark::State& state, const Sample& s) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
}

// Into a buffer of the exact size, as a PNG decoder inflates.
void inflateOrvel(benchmark::State& state, const Sample& s) {
  Bytes out(s.plain.size());
  timeIterations(state, [&] {
    benchmark::DoNotOptimize(orvel::deflate::zlibInflateInto(s.stream, out));
    benchmark::ClobberMemory();
  });
  countBytes(state, s);
}

void inflateZlib(benchmark::State& state, const Sample& s) {
  Bytes out(s.plain.size());
  timeIterations(state, [&] {
    uLongf size = out.size();
    benchmark::DoNotOptimize(uncompress(out.data(), &size, s.stream.data(), s.stream.size()));
    benchmark::ClobberMemory();
  });
  countBytes(state, s);
}

void inflateLibdeflate(benchmark::State& state, const Sample& s) {
  Bytes out(s.plain.size());
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  timeIterations(state, [&] {
    size_t size = 0;
    benchmark::DoNotOptimize(libdeflate_zlib_decompress(d, s.stream.data(), s.stream.size(),
                                                        out.data(), out.size(), &size));
    benchmark::ClobberMemory();
  });
  libdeflate_free_decompressor(d);
  countBytes(state, s);
}

void deflateOrvel(benchmark::State& state, const Sample& s) {
  size_t size = 0;
  timeIterations(state, [&] {
    Bytes out = orvel::deflate::zlibDeflate(s.plain);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  });
  countBytes(state, s);
  state.counters["out_bytes"] = static_cast<double>(size);
}

void deflateZlib(benchmark::State& state, const Sample& s, int level) {
  size_t size = 0;
  timeIterations(state, [&] {
    Bytes out = zlibLevel(s.plain, level);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  });
  countBytes(state, s);
  state.counters["out_bytes"] = static_cast<double>(size);
}

using SampleOf = const Sample& (*)();

void registerInflate(const std::string& task, SampleOf get) {
  benchmark::RegisterBenchmark((task + "/orvel").c_str(),
                               [get](benchmark::State& s) { inflateOrvel(s, get()); })
      ->UseManualTime();
  benchmark::RegisterBenchmark((task + "/zlib").c_str(),
                               [get](benchmark::State& s) { inflateZlib(s, get()); })
      ->UseManualTime();
  benchmark::RegisterBenchmark((task + "/libdeflate").c_str(),
                               [get](benchmark::State& s) { inflateLibdeflate(s, get()); })
      ->UseManualTime();
}

void registerDeflate(const std::string& task, SampleOf get) {
  benchmark::RegisterBenchmark((task + "/orvel").c_str(),
                               [get](benchmark::State& s) { deflateOrvel(s, get()); })
      ->UseManualTime();
  for (int level : {1, 6}) {
    const std::string name = task + "/zlib_level" + std::to_string(level);
    benchmark::RegisterBenchmark(name.c_str(), [get, level](benchmark::State& s) {
      deflateZlib(s, get(), level);
    })->UseManualTime();
  }
}

void printSizes() {
  const Sample& photo = unfilteredPhotos();
  const size_t ours = orvel::deflate::zlibDeflate(photo.plain).size();
  std::printf("unfiltered photos %zu bytes: orvel %zu, zlib level 1 %zu, level 6 %zu\n",
              photo.plain.size(), ours, zlibLevel(photo.plain, 1).size(),
              zlibLevel(photo.plain, 6).size());
  std::printf("filtered photos %zu bytes: zlib level 1 %zu, level 6 %zu\n",
              photoLevel1().plain.size(), photoLevel1().stream.size(),
              photoLevel6().stream.size());
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
