// Inputs for compression tests and benchmarks: random bytes, repetitive bytes, English
// text from the system's licence files, photo-like scanlines (smooth colour with noise,
// filtered the way PNG filters rows) and the pixels of synthetic photographs.
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

// A synthetic photograph, 8 bits a sample, interleaved: smooth shading, hard-edged shapes,
// mid-scale texture and sensor noise whose strength varies across the frame, with colour
// channels as correlated as in real pictures; a fourth channel is an alpha that is opaque
// but for a soft-edged hole.
inline std::vector<uint8_t> photoPixels(int width, int height, int channels, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  constexpr int kCell = 4;  // texture lattice
  const int gridW = width / kCell + 2;
  const int gridH = height / kCell + 2;
  std::vector<double> lattice(static_cast<size_t>(gridW) * gridH);
  for (double& v : lattice) v = gauss(rng) * 10.0;
  struct Disc {
    double x, y, r, shade[3];
  };
  std::vector<Disc> discs(6);
  for (Disc& d : discs) {
    d = {unit(rng) * width, unit(rng) * height, (0.05 + 0.2 * unit(rng)) * std::min(width, height),
         {unit(rng) * 120 - 60, unit(rng) * 120 - 60, unit(rng) * 120 - 60}};
  }
  const double phase[4] = {unit(rng) * 6, unit(rng) * 6, unit(rng) * 6, unit(rng) * 6};
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y) {
    const double v = y / static_cast<double>(height);
    const int gy = y / kCell;
    const double fy = (y % kCell) / static_cast<double>(kCell);
    for (int x = 0; x < width; ++x) {
      const double u = x / static_cast<double>(width);
      const int gx = x / kCell;
      const double fx = (x % kCell) / static_cast<double>(kCell);
      const double* row0 = &lattice[static_cast<size_t>(gy) * gridW + gx];
      const double* row1 = row0 + gridW;
      const double texture = (row0[0] * (1 - fx) + row0[1] * fx) * (1 - fy) +
                             (row1[0] * (1 - fx) + row1[1] * fx) * fy;
      const double light = 120 + 70 * std::sin(3.1 * u + phase[0]) * std::cos(2.3 * v + phase[1]) +
                           25 * std::sin(9 * (u + v) + phase[2]);
      double chroma[3] = {18 * std::sin(4 * v + phase[3]), 0, -15 * std::cos(5 * u + phase[0])};
      for (const Disc& d : discs) {
        if ((x - d.x) * (x - d.x) + (y - d.y) * (y - d.y) < d.r * d.r) {
          for (int c = 0; c < 3; ++c) chroma[c] += d.shade[c];
        }
      }
      // Clean, smooth areas (a clear sky) next to grainy ones.
      const double grain = 0.8 + 4.2 * (0.5 + 0.5 * std::sin(7 * u * v + phase[1]));
      uint8_t* px = &out[(static_cast<size_t>(y) * width + x) * channels];
      const int colours = std::min(channels, 3);
      for (int c = 0; c < colours; ++c) {
        const double value = light + chroma[c] + texture + grain * gauss(rng);
        px[c] = static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      }
      if (channels == 4) {
        const double hole = std::hypot(u - 0.7, v - 0.3) * 8 - 1;
        px[3] = static_cast<uint8_t>(std::clamp(std::lround(255 * hole), 0L, 255L));
      }
    }
  }
  return out;
}

}  // namespace orvel::deflate::testing
