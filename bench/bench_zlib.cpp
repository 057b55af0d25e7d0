// Inflate and deflate throughput beside zlib and libdeflate. Inputs: the IDAT streams of
// PNG photos made with ImageMagick at start-up (synthetic scanlines if it is missing) and
// English text from the system's licence files.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "deflate/zlib.h"
#include "deflate/sample_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sample {
  Bytes stream;  // a zlib stream
  Bytes plain;   // its content
};

Bytes zlibLevel(const Bytes& data, int level) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  compress2(out.data(), &size, data.data(), data.size(), level);
  out.resize(size);
  return out;
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

uint32_t beU32(const Bytes& b, size_t at) {
  return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

// The concatenated IDAT payload of a PNG file: one zlib stream.
Bytes idatOf(const Bytes& png) {
  Bytes stream;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = beU32(png, at);
    if (at + 12 + length > png.size()) break;
    if (std::string(png.begin() + at + 4, png.begin() + at + 8) == "IDAT") {
      stream.insert(stream.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
    }
    at += 12 + length;
  }
  return stream;
}

Bytes inflateWithZlib(const Bytes& stream, size_t cap) {
  Bytes out(cap);
  uLongf size = cap;
  if (uncompress(out.data(), &size, stream.data(), stream.size()) != Z_OK) return {};
  out.resize(size);
  return out;
}

// Photos made by ImageMagick; each command yields one PNG whose IDAT we keep.
Sample photoSample() {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("orvel-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string commands[] = {
      "convert -seed 7 -size 1024x768 plasma:fractal -blur 0x1 " + (dir / "a.png").string(),
      "convert rose: -resize 1200x900 " + (dir / "b.png").string(),
      "convert -seed 3 -size 1024x768 plasma:orange-blue " + (dir / "c.png").string()};
  Sample sample;
  for (const std::string& command : commands) {
    const std::string png = command.substr(command.rfind(' ') + 1);
    if (std::system((command + " 2>/dev/null").c_str()) != 0) continue;
    const Bytes stream = idatOf(readFile(png));
    const Bytes plain = inflateWithZlib(stream, 64 << 20);
    if (plain.empty()) continue;
    // Several photos become one stream of their scanlines, recompressed like a PNG writer.
    sample.plain.insert(sample.plain.end(), plain.begin(), plain.end());
  }
  std::filesystem::remove_all(dir);
  if (sample.plain.empty()) sample.plain = orvel::deflate::testing::photoScanlines(1024, 768, 1);
  sample.stream = zlibLevel(sample.plain, 6);
  return sample;
}

Sample textSample() {
  Sample sample;
  sample.plain = orvel::deflate::testing::textBytes(4 << 20);
  sample.stream = zlibLevel(sample.plain, 6);
  return sample;
}

const Sample& photo() {
  static const Sample sample = photoSample();
  return sample;
}

const Sample& text() {
  static const Sample sample = textSample();
  return sample;
}

void inflateOrvel(benchmark::State& state, const Sample& s) {
  for (auto _ : state) {
    Bytes out = orvel::deflate::zlibInflate(s.stream, static_cast<int64_t>(s.plain.size()));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
}

void inflateZlib(benchmark::State& state, const Sample& s) {
  Bytes out(s.plain.size());
  for (auto _ : state) {
    uLongf size = out.size();
    uncompress(out.data(), &size, s.stream.data(), s.stream.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
}

void inflateLibdeflate(benchmark::State& state, const Sample& s) {
  Bytes out(s.plain.size());
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    size_t size = 0;
    libdeflate_zlib_decompress(d, s.stream.data(), s.stream.size(), out.data(), out.size(), &size);
    benchmark::DoNotOptimize(out.data());
  }
  libdeflate_free_decompressor(d);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
}

void deflateOrvel(benchmark::State& state, const Sample& s) {
  size_t size = 0;
  for (auto _ : state) {
    Bytes out = orvel::deflate::zlibDeflate(s.plain);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
  state.counters["out_bytes"] = static_cast<double>(size);
}

void deflateZlib(benchmark::State& state, const Sample& s) {
  size_t size = 0;
  for (auto _ : state) {
    Bytes out = zlibLevel(s.plain, 1);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.plain.size()));
  state.counters["out_bytes"] = static_cast<double>(size);
}

void registerAll() {
  const struct {
    const char* name;
    const Sample& (*sample)();
  } inputs[] = {{"photo", photo}, {"text", text}};
  for (const auto& input : inputs) {
    const std::string name = input.name;
    auto get = input.sample;
    benchmark::RegisterBenchmark(("inflate_" + name + "/orvel").c_str(),
                                 [get](benchmark::State& s) { inflateOrvel(s, get()); });
    benchmark::RegisterBenchmark(("inflate_" + name + "/zlib").c_str(),
                                 [get](benchmark::State& s) { inflateZlib(s, get()); });
    benchmark::RegisterBenchmark(("inflate_" + name + "/libdeflate").c_str(),
                                 [get](benchmark::State& s) { inflateLibdeflate(s, get()); });
    benchmark::RegisterBenchmark(("deflate_" + name + "/orvel").c_str(),
                                 [get](benchmark::State& s) { deflateOrvel(s, get()); });
    benchmark::RegisterBenchmark(("deflate_" + name + "/zlib").c_str(),
                                 [get](benchmark::State& s) { deflateZlib(s, get()); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  registerAll();
  for (const Sample* s : {&photo(), &text()}) {
    const Bytes ours = orvel::deflate::zlibDeflate(s->plain);
    std::printf(
        "input %zu bytes: zlib level 6 %zu, level 1 %zu, orvel %zu (size ratio vs level 1: %.3f)\n",
        s->plain.size(), s->stream.size(), zlibLevel(s->plain, 1).size(), ours.size(),
        static_cast<double>(ours.size()) / static_cast<double>(zlibLevel(s->plain, 1).size()));
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
