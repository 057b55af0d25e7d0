// Resampling, quarter turns and crops of photo-sized pictures against libvips (one thread, no
// operation cache) and stb_image_resize. Every implementation produces a new image in memory
// per iteration.
#include <benchmark/benchmark.h>
#include <stb_image_resize.h>
#include <vips/vips.h>

#include <map>
#include <string>
#include <tuple>

#include "photo.h"
#include "process/geometry.h"
#include "process/resize.h"

namespace {

using orvel::image::Image;
namespace process = orvel::process;

const Image& photoOf(int64_t width, int64_t height, int channels) {
  static std::map<std::tuple<int64_t, int64_t, int>, Image> cache;
  Image& slot = cache[{width, height, channels}];
  if (slot.width == 0) {
    slot = orvel::bench::photo(width, height,
                               channels == 4 ? orvel::image::csRgba : orvel::image::csRgb);
  }
  return slot;
}

// The picture as a vips image over the same memory.
VipsImage* vipsOf(const Image& image) {
  return vips_image_new_from_memory(image.pixels.data(), image.pixels.size(),
                                    static_cast<int>(image.width), static_cast<int>(image.height),
                                    static_cast<int>(image.channels), VIPS_FORMAT_UCHAR);
}

// Runs a vips operation's result into a new memory buffer.
size_t vipsMaterialise(VipsImage* result) {
  size_t size = 0;
  void* bytes = vips_image_write_to_memory(result, &size);
  g_free(bytes);
  g_object_unref(result);
  return size;
}

enum class Task { box, bilinear, rotate90, crop };

struct Shape {
  int64_t width, height, outWidth, outHeight;
  int channels;
};

size_t runOrvel(Task task, const Image& source, const Shape& s) {
  switch (task) {
    case Task::box:
      return process::resize(source, s.outWidth, s.outHeight, process::rfBox).pixels.size();
    case Task::bilinear:
      return process::resize(source, s.outWidth, s.outHeight, process::rfBilinear).pixels.size();
    case Task::rotate90:
      return process::rotate(source, process::roClockwise90).pixels.size();
    case Task::crop:
      return process::crop(source, (s.width - s.outWidth) / 2, (s.height - s.outHeight) / 2,
                           s.outWidth, s.outHeight)
          .pixels.size();
  }
  return 0;
}

size_t runVips(Task task, const Image& source, const Shape& s) {
  VipsImage* in = vipsOf(source);
  VipsImage* out = nullptr;
  switch (task) {
    case Task::box:
      vips_shrink(in, &out, static_cast<double>(s.width) / s.outWidth,
                  static_cast<double>(s.height) / s.outHeight, nullptr);
      break;
    case Task::rotate90:
      vips_rot(in, &out, VIPS_ANGLE_D90, nullptr);
      break;
    default:
      vips_crop(in, &out, static_cast<int>((s.width - s.outWidth) / 2),
                static_cast<int>((s.height - s.outHeight) / 2), static_cast<int>(s.outWidth),
                static_cast<int>(s.outHeight), nullptr);
      break;
  }
  g_object_unref(in);
  return out == nullptr ? 0 : vipsMaterialise(out);
}

size_t runStb(Task task, const Image& source, const Shape& s) {
  std::vector<uint8_t> out(static_cast<size_t>(s.outWidth * s.outHeight * s.channels));
  const stbir_filter filter = task == Task::box ? STBIR_FILTER_BOX : STBIR_FILTER_TRIANGLE;
  stbir_resize_uint8_generic(source.pixels.data(), static_cast<int>(s.width),
                             static_cast<int>(s.height), 0, out.data(),
                             static_cast<int>(s.outWidth), static_cast<int>(s.outHeight), 0,
                             s.channels, s.channels == 4 ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0,
                             STBIR_EDGE_CLAMP, filter, STBIR_COLORSPACE_LINEAR, nullptr);
  return out.size();
}

void run(benchmark::State& state, const std::string& who, Task task, Shape shape) {
  const Image& source = photoOf(shape.width, shape.height, shape.channels);
  for (auto _ : state) {
    size_t produced = who == "orvel"     ? runOrvel(task, source, shape)
                      : who == "libvips" ? runVips(task, source, shape)
                                         : runStb(task, source, shape);
    benchmark::DoNotOptimize(produced);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.pixels.size()));
}

void add(const std::string& name, Task task, Shape shape,
         std::initializer_list<const char*> peers) {
  for (const char* who : peers) {
    benchmark::RegisterBenchmark((name + "/" + who).c_str(), run, who, task, shape)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
  }
}

void registerAll() {
  add("box_5120x2880_to_1280x720_rgb", Task::box, {5120, 2880, 1280, 720, 3},
      {"orvel", "libvips", "stb_image_resize"});
  add("box_5120x2880_to_1280x720_rgba", Task::box, {5120, 2880, 1280, 720, 4},
      {"orvel", "libvips", "stb_image_resize"});
  const struct {
    const char* name;
    Shape shape;
  } bilinear[] = {
      {"bilinear_down2_4000x3000_rgb", {4000, 3000, 2000, 1500, 3}},
      {"bilinear_down2.7_4000x3000_rgb", {4000, 3000, 1481, 1111, 3}},
      {"bilinear_up2_1000x750_rgb", {1000, 750, 2000, 1500, 3}},
      {"bilinear_up1.5_1000x750_rgb", {1000, 750, 1500, 1125, 3}},
      {"bilinear_down1.6_2000x1500_rgba", {2000, 1500, 1250, 938, 4}},
  };
  for (const auto& b : bilinear)
    add(b.name, Task::bilinear, b.shape, {"orvel", "stb_image_resize"});
  add("rotate90_4480x3360_rgb", Task::rotate90, {4480, 3360, 3360, 4480, 3}, {"orvel", "libvips"});
  add("rotate90_4480x3360_rgba", Task::rotate90, {4480, 3360, 3360, 4480, 4}, {"orvel", "libvips"});
  add("crop_4480x3360_to_3000x2000_rgb", Task::crop, {4480, 3360, 3000, 2000, 3},
      {"orvel", "libvips"});
}

}  // namespace

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0]) != 0) return 1;
  vips_concurrency_set(1);
  vips_cache_set_max(0);
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
