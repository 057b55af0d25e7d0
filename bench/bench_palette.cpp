// Palette extraction beside libimagequant (one thread, speeds 4 and 10) on photo-like images
// of 1 MP and 15 MP, 16 colours. Before timing, prints the quality of every palette: the mean
// and 95th percentile of the OKLab distance from each pixel to its nearest palette colour.
//
// The photos are made here: smooth colour fields at several scales, soft-edged shapes and
// sensor-like noise, so they have the hundreds of thousands of distinct colours of a photo.
#include <benchmark/benchmark.h>
#include <libimagequant.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "color/convert.h"
#include "palette/quantize.h"

namespace {

using namespace orvel;

constexpr int kColours = 16;
const char* const kAlgorithms[] = {"wu", "kmeans", "kmeansPP", "medianCut", "octree", "neuquant"};

struct Photo {
  std::string name;
  image::Image rgb;
  std::vector<uint8_t> rgba;  // the same pixels for libimagequant
};

// Smooth value noise: random colours on a grid of the given cell size, smoothly interpolated.
class ValueNoise {
 public:
  ValueNoise(std::mt19937& rng, int64_t w, int64_t h, double cell) : cell_(cell) {
    cols_ = static_cast<int64_t>(w / cell) + 2;
    rows_ = static_cast<int64_t>(h / cell) + 2;
    grid_.resize(cols_ * rows_);
    for (auto& g : grid_) g = {double(rng() % 256), double(rng() % 256), double(rng() % 256)};
  }
  std::array<double, 3> at(int64_t x, int64_t y) const {
    const double fx = x / cell_, fy = y / cell_;
    const int64_t ix = int64_t(fx), iy = int64_t(fy);
    const double tx = smooth(fx - ix), ty = smooth(fy - iy);
    std::array<double, 3> out{};
    for (int c = 0; c < 3; ++c) {
      const double top = lerp(grid_[iy * cols_ + ix][c], grid_[iy * cols_ + ix + 1][c], tx);
      const double bottom =
          lerp(grid_[(iy + 1) * cols_ + ix][c], grid_[(iy + 1) * cols_ + ix + 1][c], tx);
      out[c] = lerp(top, bottom, ty);
    }
    return out;
  }

 private:
  static double smooth(double t) { return t * t * (3 - 2 * t); }
  static double lerp(double a, double b, double t) { return a + (b - a) * t; }
  double cell_;
  int64_t cols_ = 0, rows_ = 0;
  std::vector<std::array<double, 3>> grid_;
};

Photo makePhoto(const std::string& name, int64_t w, int64_t h, uint32_t seed) {
  std::mt19937 rng(seed);
  const ValueNoise broad(rng, w, h, w / 3.0), middle(rng, w, h, w / 12.0),
      fine(rng, w, h, w / 60.0);
  struct Disc {
    double x, y, r;
    std::array<double, 3> colour;
  };
  std::vector<Disc> discs(12);
  for (auto& d : discs) {
    d = {double(rng() % w),
         double(rng() % h),
         double(w / 20 + rng() % (w / 6)),
         {double(rng() % 256), double(rng() % 256), double(rng() % 256)}};
  }
  Photo photo{name, image::newImage(w, h, image::csRgb), {}};
  photo.rgba.resize(w * h * 4);
  std::normal_distribution<double> noise(0.0, 1.5);  // the grain of a camera JPEG
  for (int64_t y = 0; y < h; ++y) {
    for (int64_t x = 0; x < w; ++x) {
      const auto a = broad.at(x, y), b = middle.at(x, y), c = fine.at(x, y);
      std::array<double, 3> v;
      for (int k = 0; k < 3; ++k) v[k] = 0.6 * a[k] + 0.3 * b[k] + 0.1 * c[k];
      for (const Disc& d : discs) {
        const double dist = std::hypot(x - d.x, y - d.y);
        const double cover = std::clamp((d.r - dist) / 3.0, 0.0, 1.0);  // soft edge
        for (int k = 0; k < 3; ++k)
          v[k] = v[k] + (d.colour[k] * (0.7 + 0.3 * (y - d.y) / d.r) - v[k]) * cover;
      }
      const int64_t i = y * w + x;
      for (int k = 0; k < 3; ++k) {
        const uint8_t byte = uint8_t(std::clamp(std::lround(v[k] + noise(rng)), 0L, 255L));
        photo.rgb.pixels[i * 3 + k] = byte;
        photo.rgba[i * 4 + k] = byte;
      }
      photo.rgba[i * 4 + 3] = 255;
    }
  }
  return photo;
}

std::vector<Photo>& photos() {
  static std::vector<Photo> all = [] {
    std::vector<Photo> p;
    p.push_back(makePhoto("1mp", 1152, 864, 11));
    p.push_back(makePhoto("15mp", 4480, 3360, 15));
    return p;
  }();
  return all;
}

palette::Palette orvelPalette(const Photo& photo, const char* algorithm) {
  return palette::extractPalette(photo.rgb, kColours, algorithm, color::tagOklab, {}).value();
}

// libimagequant's palette as sRGB bytes.
std::vector<std::array<uint8_t, 3>> liqPalette(const Photo& photo, int speed) {
  liq_attr* attr = liq_attr_create();
  liq_set_max_colors(attr, kColours);
  liq_set_speed(attr, speed);
  liq_image* image = liq_image_create_rgba(attr, photo.rgba.data(), int(photo.rgb.width),
                                           int(photo.rgb.height), 0);
  liq_result* result = nullptr;
  std::vector<std::array<uint8_t, 3>> out;
  if (liq_image_quantize(image, attr, &result) == LIQ_OK) {
    const liq_palette* p = liq_get_palette(result);
    for (unsigned i = 0; i < p->count; ++i)
      out.push_back({p->entries[i].r, p->entries[i].g, p->entries[i].b});
    liq_result_destroy(result);
  }
  liq_image_destroy(image);
  liq_attr_destroy(attr);
  return out;
}

color::Vec3 oklabOfBytes(uint8_t r, uint8_t g, uint8_t b) {
  const color::Color c{{r / 255.0f, g / 255.0f, b / 255.0f}, 1, color::tagSrgb};
  const color::Color ok = color::to(c, color::tagOklab).value();
  return {ok.c[0], ok.c[1], ok.c[2]};
}

// Mean and 95th percentile of each pixel's OKLab distance to its nearest palette colour.
void printQuality(const Photo& photo, const std::string& who,
                  const std::vector<color::Vec3>& palette) {
  std::unordered_map<uint32_t, int64_t> counts;
  const auto& px = photo.rgb.pixels;
  for (std::size_t i = 0; i < px.size(); i += 3)
    ++counts[uint32_t(px[i]) << 16 | px[i + 1] << 8 | px[i + 2]];
  std::vector<std::pair<double, int64_t>> distances;
  double total = 0;
  for (const auto& [key, count] : counts) {
    const color::Vec3 p = oklabOfBytes(key >> 16, (key >> 8) & 255, key & 255);
    double best = 1e9;
    for (const color::Vec3& q : palette) {
      best = std::min(best, std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]));
    }
    distances.emplace_back(best, count);
    total += best * double(count);
  }
  std::sort(distances.begin(), distances.end());
  const int64_t pixels = photo.rgb.width * photo.rgb.height;
  int64_t seen = 0;
  double p95 = 0;
  for (const auto& [d, count] : distances) {
    seen += count;
    if (seen >= pixels * 95 / 100) {
      p95 = d;
      break;
    }
  }
  std::printf("quality palette16/%s %s: mean dE_OK %.4f, p95 dE_OK %.4f (%zu distinct colours)\n",
              photo.name.c_str(), who.c_str(), total / double(pixels), p95, counts.size());
}

void reportQuality() {
  for (const Photo& photo : photos()) {
    for (const char* algorithm : kAlgorithms) {
      std::vector<color::Vec3> palette;
      for (const color::Color& c : orvelPalette(photo, algorithm).colors)
        palette.push_back({c.c[0], c.c[1], c.c[2]});
      printQuality(photo, std::string("orvel-") + algorithm, palette);
    }
    for (int speed : {4, 10}) {
      std::vector<color::Vec3> palette;
      for (const auto& c : liqPalette(photo, speed))
        palette.push_back(oklabOfBytes(c[0], c[1], c[2]));
      printQuality(photo, "libimagequant-speed" + std::to_string(speed), palette);
    }
  }
  std::fflush(stdout);
}

void registerBenchmarks() {
  for (std::size_t p = 0; p < photos().size(); ++p) {
    const Photo* photo = &photos()[p];
    for (const char* algorithm : kAlgorithms) {
      const std::string task = "palette16/" + photo->name + "/" + algorithm;
      benchmark::RegisterBenchmark((task + "/orvel").c_str(),
                                   [photo, algorithm](benchmark::State& s) {
                                     for (auto _ : s)
                                       benchmark::DoNotOptimize(orvelPalette(*photo, algorithm));
                                   })
          ->Unit(benchmark::kMillisecond);
      for (int speed : {4, 10}) {
        if (std::string(algorithm) == "wu" && speed == 4) continue;  // Wu's goal is set at speed 10
        benchmark::RegisterBenchmark(
            (task + "/libimagequant-speed" + std::to_string(speed)).c_str(),
            [photo, speed](benchmark::State& s) {
              for (auto _ : s) benchmark::DoNotOptimize(liqPalette(*photo, speed));
            })
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("OMP_NUM_THREADS", "1", 1);  // libimagequant runs on one thread, as we do
  benchmark::Initialize(&argc, argv);
  reportQuality();
  registerBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
