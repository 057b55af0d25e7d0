// PNG decode and encode beside libpng, libspng and stb_image. The inputs are photo-like pictures
// of 1.6 and 15 megapixels, RGB and RGBA, written by libpng at zlib levels 1 and 6 with its
// adaptive filters (what cameras' and editors' PNG writers do); encoding is compared with
// libpng at level 1.
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <stb_image.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "codec/png/png.h"
#include "photo.h"

namespace {

using orvel::image::Image;
using Bytes = std::vector<uint8_t>;

struct Size {
  const char* name;
  int64_t width;
  int64_t height;
};
constexpr Size kSizes[] = {{"1.6mp", 1536, 1024}, {"15mp", 4740, 3160}};

void appendTo(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes libpngEncode(const Image& image, int level) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, appendTo, nullptr);
  png_set_compression_level(png, level);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               image.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int64_t y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<uint8_t*>(image.pixels.data() + y * image.stride()));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

const Image& photoOf(int size, int channels) {
  static std::map<std::pair<int, int>, Image> cache;
  auto& slot = cache[{size, channels}];
  if (slot.width == 0) {
    slot = orvel::bench::photo(kSizes[size].width, kSizes[size].height,
                               channels == 4 ? orvel::image::csRgba : orvel::image::csRgb);
  }
  return slot;
}

const Bytes& fileOf(int size, int channels, int level) {
  static std::map<std::tuple<int, int, int>, Bytes> cache;
  auto& slot = cache[{size, channels, level}];
  if (slot.empty()) slot = libpngEncode(photoOf(size, channels), level);
  return slot;
}

// libpng reading every row into one buffer.
size_t libpngDecode(const Bytes& file, Bytes& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return 0;
  pixels.resize(PNG_IMAGE_SIZE(image));
  png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
  return pixels.size();
}

size_t spngDecode(const Bytes& file, Bytes& pixels) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  size_t size = 0;
  spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
  pixels.resize(size);
  spng_decode_image(ctx, pixels.data(), size, SPNG_FMT_PNG, 0);
  spng_ctx_free(ctx);
  return size;
}

void decode(benchmark::State& state, const std::string& who, int size, int channels, int level) {
  const Bytes& file = fileOf(size, channels, level);
  for (auto _ : state) {
    Bytes pixels;  // every decoder hands out a new image
    size_t produced = 0;
    if (who == "orvel") {
      produced = orvel::codec::png::decodePng(file).pixels.size();
    } else if (who == "libpng") {
      produced = libpngDecode(file, pixels);
    } else if (who == "libspng") {
      produced = spngDecode(file, pixels);
    } else {
      int w = 0, h = 0, n = 0;
      stbi_uc* out = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 0);
      produced = static_cast<size_t>(w) * h * n;
      stbi_image_free(out);
    }
    benchmark::DoNotOptimize(produced);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * photoOf(size, channels).pixels.size()));
}

void encode(benchmark::State& state, const std::string& who, int size, int channels) {
  const Image& image = photoOf(size, channels);
  for (auto _ : state) {
    const size_t bytes = who == "orvel" ? orvel::codec::png::encodePng(image).size() : libpngEncode(image, 1).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.pixels.size()));
}

void registerAll() {
  for (int size = 0; size < 2; ++size) {
    for (int channels : {3, 4}) {
      const std::string shape = std::string(kSizes[size].name) + (channels == 3 ? "_rgb" : "_rgba");
      for (int level : {1, 6}) {
        const std::string task = "png_decode_" + shape + "_z" + std::to_string(level);
        for (const char* who : {"orvel", "libpng", "libspng", "stb_image"}) {
          benchmark::RegisterBenchmark((task + "/" + who).c_str(), decode, who, size, channels, level)
              ->Unit(benchmark::kMillisecond)->UseRealTime();
        }
      }
      for (const char* who : {"orvel", "libpng"}) {
        benchmark::RegisterBenchmark(("png_encode_" + shape + "/" + who).c_str(), encode, who, size, channels)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
