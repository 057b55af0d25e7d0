// Inputs for compression tests and benchmarks: random bytes, repetitive bytes, English
// text from the system's licence files and photo-like scanlines (smooth colour with
// noise, filtered the way PNG filters rows).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace orvel::deflate::testing {

inline std::vector<uint8_t> randomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Runs, short repeated phrases with counters and occasional noise.
inline std::vector<uint8_t> repetitiveBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(size);
  const std::string phrases[] = {"the quick brown fox ", "jumps over ", "the lazy dog; ",
                                 "0123456789", "\n\n"};
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0:
        out.insert(out.end(), rng() % 300 + 1, static_cast<uint8_t>(rng()));
        break;
      case 1: {
        const std::string& p = phrases[rng() % 5];
        out.insert(out.end(), p.begin(), p.end());
        break;
      }
      case 2: {
        const std::string n = std::to_string(rng() % 1000);
        out.insert(out.end(), n.begin(), n.end());
        break;
      }
      default:
        out.push_back(static_cast<uint8_t>(rng()));
    }
  }
  out.resize(size);
  return out;
}

// The licence texts of the system, repeated to the size asked for (generated text when
// the files are missing).
inline std::vector<uint8_t> textBytes(size_t size) {
  std::vector<uint8_t> corpus;
  const std::filesystem::path dir = "/usr/share/common-licenses";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    corpus.insert(corpus.end(), std::istreambuf_iterator<char>(file), {});
  }
  if (corpus.empty()) corpus = repetitiveBytes(1 << 16, 7);
  std::vector<uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    out.insert(out.end(), corpus.begin(),
               corpus.begin() + static_cast<long>(std::min(corpus.size(), size - out.size())));
  }
  return out;
}

// RGB scanlines of a smooth picture with sensor-like noise, each row prefixed with a PNG
// filter byte and filtered (Sub or Up alternately), about what the IDAT of a photo holds.
inline std::vector<uint8_t> photoScanlines(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 2.5);
  std::vector<uint8_t> raw(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = x / static_cast<double>(width);
      const double v = y / static_cast<double>(height);
      const double base[3] = {128 + 90 * std::sin(6 * u + 2 * v),
                              128 + 80 * std::cos(5 * v - 3 * u), 128 + 70 * std::sin(4 * (u + v))};
      for (int c = 0; c < 3; ++c) {
        const double value = std::clamp(base[c] + noise(rng), 0.0, 255.0);
        raw[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<uint8_t>(value);
      }
    }
  }
  const size_t stride = static_cast<size_t>(width) * 3;
  std::vector<uint8_t> out;
  out.reserve((stride + 1) * height);
  for (int y = 0; y < height; ++y) {
    const int filter = y == 0 || y % 2 ? 1 : 2;
    out.push_back(static_cast<uint8_t>(filter));
    for (size_t i = 0; i < stride; ++i) {
      const uint8_t here = raw[y * stride + i];
      const uint8_t before =
          filter == 1 ? (i >= 3 ? raw[y * stride + i - 3] : 0) : raw[(y - 1) * stride + i];
      out.push_back(static_cast<uint8_t>(here - before));
    }
  }
  return out;
}

}  // namespace orvel::deflate::testing
