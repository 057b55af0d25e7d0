// The simple raster codecs beside their usual peers: QOI decode and encode against the
// format's reference coder (qoi.h), BMP, TGA and PNM decode against stb_image. Inputs are
// photo-like pictures of 3 megapixels (smooth light and colour with sensor noise), RGB and
// RGBA, made at start-up and encoded by our encoders (whose QOI bytes are the reference's).
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "codec/bmp/bmp.h"
#include "codec/pnm/pnm.h"
#include "codec/qoi/qoi.h"
#include "codec/tga/tga.h"
#include "photo.h"

#define QOI_IMPLEMENTATION
#include <qoi.h>

namespace {

using orvel::image::Image;
using Bytes = std::vector<uint8_t>;

constexpr int64_t kWidth = 2048;
constexpr int64_t kHeight = 1536;

const Image& rgbPhoto() {
  static const Image image = orvel::bench::photo(kWidth, kHeight, orvel::image::csRgb);
  return image;
}

const Image& rgbaPhoto() {
  static const Image image = orvel::bench::photo(kWidth, kHeight, orvel::image::csRgba);
  return image;
}

// The green channel of the RGB photo.
Image grayPhoto() {
  Image gray = orvel::image::newImage(kWidth, kHeight, orvel::image::csGray);
  for (std::size_t i = 0; i < gray.pixels.size(); ++i)
    gray.pixels[i] = rgbPhoto().pixels[3 * i + 1];
  return gray;
}

// Run-length TGA (type 10 or 11) of an uncompressed one from our encoder: repeat packets for
// runs of two or more equal pixels, raw packets otherwise, none crossing a row.
Bytes tgaRle(const Bytes& raw) {
  const int64_t width = raw[12] | raw[13] << 8;
  const int64_t height = raw[14] | raw[15] << 8;
  const int64_t pixel = raw[16] / 8;
  Bytes out(raw.begin(), raw.begin() + 18);
  out[2] = static_cast<uint8_t>(out[2] + 8);
  auto same = [&](const uint8_t* a, const uint8_t* b) { return std::equal(a, a + pixel, b); };
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* row = raw.data() + 18 + y * width * pixel;
    for (int64_t x = 0; x < width;) {
      int64_t run = 1;
      while (x + run < width && run < 128 && same(row + x * pixel, row + (x + run) * pixel)) ++run;
      if (run > 1) {
        out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
        out.insert(out.end(), row + x * pixel, row + (x + 1) * pixel);
        x += run;
        continue;
      }
      int64_t count = 1;
      while (x + count < width && count < 128 &&
             !(x + count + 1 < width &&
               same(row + (x + count) * pixel, row + (x + count + 1) * pixel))) {
        ++count;
      }
      out.push_back(static_cast<uint8_t>(count - 1));
      out.insert(out.end(), row + x * pixel, row + (x + count) * pixel);
      x += count;
    }
  }
  return out;
}

// The RGB photo as a 16-bit P6, each sample v stored as v × 257 plus a little noise.
Bytes sixteenBitPpm() {
  const std::string header =
      "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n65535\n";
  Bytes out(header.begin(), header.end());
  uint32_t noise = 1;
  for (uint8_t v : rgbPhoto().pixels) {
    noise = noise * 1103515245u + 12345u;
    const uint32_t sample = std::min<uint32_t>(v * 257u + (noise >> 24), 65535);
    out.push_back(static_cast<uint8_t>(sample >> 8));
    out.push_back(static_cast<uint8_t>(sample));
  }
  return out;
}

// The RGB photo as an 8-bit palette BMP: 3 bits of red and green and 2 of blue per index.
Bytes palettedBmp() {
  const int64_t rowBytes = (kWidth + 3) / 4 * 4;
  const int64_t offset = 54 + 256 * 4;
  Bytes out(static_cast<std::size_t>(offset + rowBytes * kHeight));
  const uint32_t fields[] = {
      0, static_cast<uint32_t>(offset), 40, kWidth, kHeight, 0x80001, 0, 0, 2835, 2835, 256, 0};
  out[0] = 'B';
  out[1] = 'M';
  std::memcpy(out.data() + 6, fields, sizeof fields);
  for (int i = 0; i < 256; ++i) {
    const uint8_t bgr[4] = {static_cast<uint8_t>((i & 3) * 85),
                            static_cast<uint8_t>((i >> 2 & 7) * 36),
                            static_cast<uint8_t>((i >> 5) * 36), 0};
    std::memcpy(out.data() + 54 + 4 * i, bgr, 4);
  }
  const uint8_t* rgb = rgbPhoto().pixels.data();
  for (int64_t y = 0; y < kHeight; ++y) {
    uint8_t* row = out.data() + offset + (kHeight - 1 - y) * rowBytes;
    for (int64_t x = 0; x < kWidth; ++x, rgb += 3)
      row[x] = (rgb[0] >> 5) << 5 | (rgb[1] >> 5) << 2 | rgb[2] >> 6;
  }
  return out;
}

struct Inputs {
  Bytes qoiRgb = orvel::codec::qoi::encodeQoi(rgbPhoto());
  Bytes qoiRgba = orvel::codec::qoi::encodeQoi(rgbaPhoto());
  Bytes bmp24 = orvel::codec::bmp::encodeBmp(rgbPhoto());
  Bytes bmp32 = orvel::codec::bmp::encodeBmp(rgbaPhoto());
  Bytes bmp8 = palettedBmp();
  Bytes tga24 = orvel::codec::tga::encodeTga(rgbPhoto());
  Bytes tga32 = orvel::codec::tga::encodeTga(rgbaPhoto());
  Bytes tgaRle24 = tgaRle(tga24);
  Bytes ppm = orvel::codec::pnm::encodePnm(rgbPhoto());
  Bytes pgm = orvel::codec::pnm::encodePnm(grayPhoto());
  Bytes ppm16 = sixteenBitPpm();
};

const Inputs& inputs() {
  static const Inputs in;
  return in;
}

void perPixel(benchmark::State& state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

template <Image (*Decode)(orvel::base::ByteView)>
void decodeOrvel(benchmark::State& state, Bytes Inputs::*input) {
  const Bytes& bytes = inputs().*input;
  for (auto _ : state) {
    Image image = Decode(bytes);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  perPixel(state);
}

void decodeStb(benchmark::State& state, Bytes Inputs::*input, int channels) {
  const Bytes& bytes = inputs().*input;
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    uint8_t* pixels =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &n, channels);
    if (pixels == nullptr) state.SkipWithError(stbi_failure_reason());
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  perPixel(state);
}

void qoiDecodeReference(benchmark::State& state, Bytes Inputs::*input, int channels) {
  const Bytes& bytes = inputs().*input;
  for (auto _ : state) {
    qoi_desc desc;
    void* pixels = qoi_decode(bytes.data(), static_cast<int>(bytes.size()), &desc, channels);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
  perPixel(state);
}

void qoiEncodeOrvel(benchmark::State& state, const Image& (*image)()) {
  const Image& source = image();
  for (auto _ : state) {
    Bytes out = orvel::codec::qoi::encodeQoi(source);
    benchmark::DoNotOptimize(out.data());
  }
  perPixel(state);
}

void qoiEncodeReference(benchmark::State& state, const Image& (*image)()) {
  const Image& source = image();
  const qoi_desc desc = {kWidth, kHeight, static_cast<unsigned char>(source.channels), QOI_SRGB};
  for (auto _ : state) {
    int length = 0;
    void* out = qoi_encode(source.pixels.data(), &desc, &length);
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
  perPixel(state);
}

void registerAll() {
  using orvel::codec::bmp::decodeBmp;
  using orvel::codec::pnm::decodePnm;
  using orvel::codec::qoi::decodeQoi;
  using orvel::codec::tga::decodeTga;
  auto add = [](const std::string& name, auto fn, auto... args) {
    benchmark::RegisterBenchmark(name.c_str(), fn, args...)->Unit(benchmark::kMillisecond);
  };
  for (const auto& [task, input, channels] : {std::tuple{"qoi_decode_rgb", &Inputs::qoiRgb, 3},
                                              {"qoi_decode_rgba", &Inputs::qoiRgba, 4}}) {
    add(std::string(task) + "/orvel", decodeOrvel<decodeQoi>, input);
    add(std::string(task) + "/qoi.h", qoiDecodeReference, input, channels);
  }
  add("qoi_encode_rgb/orvel", qoiEncodeOrvel, rgbPhoto);
  add("qoi_encode_rgb/qoi.h", qoiEncodeReference, rgbPhoto);
  add("qoi_encode_rgba/orvel", qoiEncodeOrvel, rgbaPhoto);
  add("qoi_encode_rgba/qoi.h", qoiEncodeReference, rgbaPhoto);
  const std::tuple<const char*, Image (*)(orvel::base::ByteView), Bytes Inputs::*, int> stbTasks[] =
      {{"bmp_decode_24", decodeBmp, &Inputs::bmp24, 3},
       {"bmp_decode_32", decodeBmp, &Inputs::bmp32, 4},
       {"bmp_decode_8", decodeBmp, &Inputs::bmp8, 4},
       {"tga_decode_24", decodeTga, &Inputs::tga24, 3},
       {"tga_decode_32", decodeTga, &Inputs::tga32, 4},
       {"tga_decode_rle24", decodeTga, &Inputs::tgaRle24, 3},
       {"pnm_decode_p6", decodePnm, &Inputs::ppm, 3},
       {"pnm_decode_p5", decodePnm, &Inputs::pgm, 1},
       {"pnm_decode_p6_16bit", decodePnm, &Inputs::ppm16, 3}};
  for (const auto& [task, decode, input, channels] : stbTasks) {
    add(
        std::string(task) + "/orvel",
        [decode](benchmark::State& state, Bytes Inputs::*in) {
          const Bytes& bytes = inputs().*in;
          for (auto _ : state) {
            Image image = decode(bytes);
            benchmark::DoNotOptimize(image.pixels.data());
          }
          perPixel(state);
        },
        input);
    add(std::string(task) + "/stb_image", decodeStb, input, channels);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
