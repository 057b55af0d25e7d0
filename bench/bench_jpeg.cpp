// JPEG decode and encode beside stb_image and libjpeg-turbo. The inputs are photo-like pictures
// of 1.6 and 15 megapixels written by libjpeg-turbo at quality 90 with 4:2:0 and 4:4:4
// sampling. libjpeg-turbo decodes three ways: its defaults (integer transform, smooth chroma
// upsampling), its float transform without smoothing (the arithmetic closest to ours) and its
// fast integer transform. Encoding (4:4:4, quality 90) is compared with libjpeg-turbo's defaults
// and with stb_image_write.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "codec/jpeg/jpeg.h"
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

Bytes turboEncode(const Image& image, int quality, bool subsample) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (!subsample) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(image.pixels.data() + cinfo.next_scanline * image.stride());
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  free(buffer);
  return out;
}

enum class TurboWay { defaults, floatNoSmoothing, fast };

size_t turboDecode(const Bytes& file, TurboWay way) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  jpeg_read_header(&cinfo, TRUE);
  if (way == TurboWay::floatNoSmoothing) {
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_fancy_upsampling = FALSE;
  } else if (way == TurboWay::fast) {
    cinfo.dct_method = JDCT_IFAST;
  }
  jpeg_start_decompress(&cinfo);
  const size_t stride = size_t{cinfo.output_width} * cinfo.output_components;
  // Every decoder hands out a new image; like the others', this one is not cleared first.
  const size_t size = stride * cinfo.output_height;
  const std::unique_ptr<uint8_t[]> pixels(new uint8_t[size]);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels.get() + cinfo.output_scanline * stride;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return size;
}

const Image& photoOf(int size) {
  static std::map<int, Image> cache;
  auto& slot = cache[size];
  if (slot.width == 0)
    slot = orvel::bench::photo(kSizes[size].width, kSizes[size].height, orvel::image::csRgb);
  return slot;
}

const Bytes& fileOf(int size, bool subsample) {
  static std::map<std::pair<int, bool>, Bytes> cache;
  auto& slot = cache[{size, subsample}];
  if (slot.empty()) slot = turboEncode(photoOf(size), 90, subsample);
  return slot;
}

void decode(benchmark::State& state, const std::string& who, int size, bool subsample) {
  const Bytes& file = fileOf(size, subsample);
  for (auto _ : state) {
    size_t produced = 0;
    if (who == "orvel") {
      produced = orvel::codec::jpeg::decodeJpeg(file).pixels.size();
    } else if (who == "libjpeg-turbo") {
      produced = turboDecode(file, TurboWay::defaults);
    } else if (who == "libjpeg-turbo-float-nosmooth") {
      produced = turboDecode(file, TurboWay::floatNoSmoothing);
    } else if (who == "libjpeg-turbo-ifast") {
      produced = turboDecode(file, TurboWay::fast);
    } else {
      int w = 0, h = 0, n = 0;
      stbi_uc* out =
          stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 0);
      produced = static_cast<size_t>(w) * h * n;
      stbi_image_free(out);
    }
    benchmark::DoNotOptimize(produced);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * photoOf(size).pixels.size()));
}

void appendTo(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

void encode(benchmark::State& state, const std::string& who, int size) {
  const Image& image = photoOf(size);
  for (auto _ : state) {
    size_t bytes = 0;
    if (who == "orvel") {
      bytes = orvel::codec::jpeg::encodeJpeg(image, 90).size();
    } else if (who == "libjpeg-turbo") {
      bytes = turboEncode(image, 90, false).size();
    } else {
      Bytes out;
      stbi_write_jpg_to_func(appendTo, &out, static_cast<int>(image.width),
                             static_cast<int>(image.height), 3, image.pixels.data(), 90);
      bytes = out.size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.pixels.size()));
}

void registerAll() {
  for (int size = 0; size < 2; ++size) {
    for (bool subsample : {true, false}) {
      const std::string task =
          std::string("jpeg_decode_") + kSizes[size].name + (subsample ? "_420" : "_444") + "_q90";
      for (const char* who : {"orvel", "stb_image", "libjpeg-turbo", "libjpeg-turbo-float-nosmooth",
                              "libjpeg-turbo-ifast"}) {
        benchmark::RegisterBenchmark((task + "/" + who).c_str(), decode, who, size, subsample)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
    const std::string task = std::string("jpeg_encode_") + kSizes[size].name + "_444_q90";
    for (const char* who : {"orvel", "libjpeg-turbo", "stb_image_write"}) {
      benchmark::RegisterBenchmark((task + "/" + who).c_str(), encode, who, size)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
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
