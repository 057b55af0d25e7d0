// The lossless WebP, GIF and TIFF decoders beside their peers on photo-like pictures: WebP of
// 1.6 and 15 megapixels at efforts 6 and 9 against libwebp; a 256-colour GIF against giflib
// (indices turned into RGBA, as ours are) and stb_image; RGB TIFFs (none, LZW and Deflate with
// horizontal differencing, PackBits, tiled) against libtiff reading into an RGB buffer. Inputs
// are made at first use by the peers' own encoders.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <stb_image.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "codec/gif/gif.h"
#include "codec/tiff/tiff.h"
#include "codec/webp/webp.h"
#include "photo.h"

namespace {

using orvel::image::Image;
using Bytes = std::vector<uint8_t>;

// --- inputs ---

const Image& photoOf(int64_t width, int64_t height) {
  static std::map<std::pair<int64_t, int64_t>, Image> photos;
  auto [it, added] = photos.try_emplace({width, height});
  if (added) it->second = orvel::bench::photo(width, height, orvel::image::csRgb);
  return it->second;
}

Bytes webpLossless(const Image& image, int level) {
  WebPConfig config;
  WebPPicture picture;
  WebPMemoryWriter writer;
  if (!WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, level) ||
      !WebPPictureInit(&picture)) {
    std::abort();
  }
  picture.use_argb = 1;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  WebPPictureImportRGB(&picture, image.pixels.data(), static_cast<int>(image.width * 3));
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  if (!WebPEncode(&config, &picture)) std::abort();
  Bytes out(writer.mem, writer.mem + writer.size);
  WebPMemoryWriterClear(&writer);
  WebPPictureFree(&picture);
  return out;
}

// A GIF of the photo through a 3-3-2 palette, written by giflib.
Bytes gifOf(const Image& image) {
  struct Sink {
    static int write(GifFileType* gif, const GifByteType* data, int length) {
      auto* out = static_cast<Bytes*>(gif->UserData);
      out->insert(out->end(), data, data + length);
      return length;
    }
  };
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, Sink::write, &error);
  GifColorType colors[256];
  for (int i = 0; i < 256; ++i) {
    colors[i] = {static_cast<GifByteType>((i >> 5) * 36),
                 static_cast<GifByteType>((i >> 2 & 7) * 36),
                 static_cast<GifByteType>((i & 3) * 85)};
  }
  ColorMapObject* map = GifMakeMapObject(256, colors);
  const int width = static_cast<int>(image.width);
  const int height = static_cast<int>(image.height);
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
  std::vector<GifByteType> row(static_cast<size_t>(width));
  const uint8_t* rgb = image.pixels.data();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, rgb += 3) {
      row[static_cast<size_t>(x)] =
          static_cast<GifByteType>((rgb[0] >> 5) << 5 | (rgb[1] >> 5) << 2 | rgb[2] >> 6);
    }
    EGifPutLine(gif, row.data(), width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// A TIFF of the RGB photo written by libtiff: compression, predictor, tile side (0: strips of
// 16 rows).
Bytes tiffOf(const Image& image, int compression, int predictor, int tile) {
  const char* path = "/tmp/orvel_bench_lossless.tif";
  TIFF* tif = TIFFOpen(path, "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  if (predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, predictor);
  const int64_t rowBytes = image.width * 3;
  if (tile == 0) {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    for (uint32_t y = 0; y < image.height; ++y) {
      Bytes row(image.pixels.data() + y * rowBytes, image.pixels.data() + (y + 1) * rowBytes);
      TIFFWriteScanline(tif, row.data(), y, 0);
    }
  } else {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
    Bytes buffer(static_cast<size_t>(tile * tile * 3));
    for (int64_t top = 0; top < image.height; top += tile) {
      for (int64_t left = 0; left < image.width; left += tile) {
        std::fill(buffer.begin(), buffer.end(), 0);
        for (int64_t r = 0; r < tile && top + r < image.height; ++r) {
          const int64_t columns = std::min<int64_t>(tile, image.width - left);
          std::memcpy(buffer.data() + r * tile * 3,
                      image.pixels.data() + (top + r) * rowBytes + left * 3,
                      static_cast<size_t>(columns * 3));
        }
        TIFFWriteTile(tif, buffer.data(), static_cast<uint32_t>(left), static_cast<uint32_t>(top),
                      0, 0);
      }
    }
  }
  TIFFClose(tif);
  FILE* file = std::fopen(path, "rb");
  Bytes out;
  for (int c; (c = std::fgetc(file)) != EOF;) out.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  std::remove(path);
  return out;
}

// --- libtiff reading from memory ---

struct MemoryFile {
  const Bytes* bytes;
  toff_t position = 0;
};

tsize_t memRead(thandle_t h, tdata_t data, tsize_t size) {
  auto* f = static_cast<MemoryFile*>(h);
  const auto n = std::min<toff_t>(static_cast<toff_t>(size), f->bytes->size() - f->position);
  std::memcpy(data, f->bytes->data() + f->position, n);
  f->position += n;
  return static_cast<tsize_t>(n);
}
tsize_t memWrite(thandle_t, tdata_t, tsize_t) { return -1; }
toff_t memSeek(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  f->position = whence == SEEK_SET   ? offset
                : whence == SEEK_CUR ? f->position + offset
                                     : f->bytes->size() + offset;
  return f->position;
}
int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes->size(); }
int memMap(thandle_t h, tdata_t* base, toff_t* size) {
  auto* f = static_cast<MemoryFile*>(h);
  *base = const_cast<uint8_t*>(f->bytes->data());
  *size = f->bytes->size();
  return 1;
}
void memUnmap(thandle_t, tdata_t, toff_t) {}

// The first image as RGB: strips straight into the buffer, tiles through one tile's room.
Bytes libtiffRgb(const Bytes& bytes) {
  MemoryFile file{&bytes};
  TIFF* tif = TIFFClientOpen("mem", "rm", &file, memRead, memWrite, memSeek, memClose, memSize,
                             memMap, memUnmap);
  uint32_t width = 0, height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  const size_t rowBytes = size_t{width} * 3;
  Bytes out(rowBytes * height);
  if (TIFFIsTiled(tif)) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    Bytes tile(static_cast<size_t>(TIFFTileSize(tif)));
    for (uint32_t top = 0; top < height; top += th) {
      for (uint32_t left = 0; left < width; left += tw) {
        TIFFReadTile(tif, tile.data(), left, top, 0, 0);
        const size_t columns = std::min(tw, width - left) * size_t{3};
        for (uint32_t r = 0; r < th && top + r < height; ++r) {
          std::memcpy(out.data() + (top + r) * rowBytes + left * 3, tile.data() + r * tw * 3,
                      columns);
        }
      }
    }
  } else {
    const tsize_t stripSize = TIFFStripSize(tif);
    uint8_t* at = out.data();
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
      const tsize_t got = TIFFReadEncodedStrip(
          tif, s, at, std::min<tsize_t>(stripSize, out.data() + out.size() - at));
      at += got;
    }
  }
  TIFFClose(tif);
  return out;
}

// --- the inputs by name ---

const Bytes& input(const std::string& name) {
  static std::map<std::string, Bytes> inputs;
  if (auto found = inputs.find(name); found != inputs.end()) return found->second;
  const Image& small = photoOf(1456, 1092);  // 1.6 MP
  const Image& medium = photoOf(2048, 1536);
  Bytes bytes;
  if (name == "webp_1.6mp_z6") bytes = webpLossless(small, 6);
  if (name == "webp_1.6mp_z9") bytes = webpLossless(small, 9);
  if (name == "webp_15mp_z6") bytes = webpLossless(photoOf(4480, 3360), 6);
  if (name == "webp_15mp_z9") bytes = webpLossless(photoOf(4480, 3360), 9);
  if (name == "gif") bytes = gifOf(medium);
  if (name == "tiff_none") bytes = tiffOf(medium, COMPRESSION_NONE, 1, 0);
  if (name == "tiff_lzw_pred") bytes = tiffOf(medium, COMPRESSION_LZW, 2, 0);
  if (name == "tiff_deflate_pred") bytes = tiffOf(medium, COMPRESSION_ADOBE_DEFLATE, 2, 0);
  if (name == "tiff_packbits") bytes = tiffOf(medium, COMPRESSION_PACKBITS, 1, 0);
  if (name == "tiff_tiled_lzw") bytes = tiffOf(medium, COMPRESSION_LZW, 2, 256);
  return inputs.emplace(name, std::move(bytes)).first->second;
}

template <Image (*Decode)(orvel::base::ByteView)>
void orvelDecode(benchmark::State& state, const std::string& name) {
  const Bytes& bytes = input(name);
  for (auto _ : state) {
    Image image = Decode(bytes);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}

void libwebpDecode(benchmark::State& state, const std::string& name) {
  const Bytes& bytes = input(name);
  int width = 0, height = 0;
  uint8_t* reference = WebPDecodeRGB(bytes.data(), bytes.size(), &width, &height);
  const Image ours = orvel::codec::webp::decodeWebp(bytes);
  if (!std::equal(ours.pixels.begin(), ours.pixels.end(), reference)) {
    state.SkipWithError("libwebp and orvel read different pixels");
  }
  WebPFree(reference);
  for (auto _ : state) {
    int w = 0, h = 0;
    uint8_t* pixels = WebPDecodeRGB(bytes.data(), bytes.size(), &w, &h);
    if (pixels == nullptr) state.SkipWithError("libwebp refused the input");
    benchmark::DoNotOptimize(pixels);
    WebPFree(pixels);
  }
}

void giflibDecode(benchmark::State& state, const std::string& name) {
  struct Source {
    const Bytes* bytes;
    size_t position = 0;
    static int read(GifFileType* gif, GifByteType* data, int length) {
      auto* s = static_cast<Source*>(gif->UserData);
      const size_t n =
          std::min<size_t>(static_cast<size_t>(length), s->bytes->size() - s->position);
      std::memcpy(data, s->bytes->data() + s->position, n);
      s->position += n;
      return static_cast<int>(n);
    }
  };
  const Bytes& bytes = input(name);
  bool checked = false;
  for (auto _ : state) {
    Source source{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, Source::read, &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib refused the input");
    const SavedImage& frame = gif->SavedImages[0];
    const ColorMapObject* map =
        frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
    const size_t count = size_t{static_cast<size_t>(frame.ImageDesc.Width)} *
                         static_cast<size_t>(frame.ImageDesc.Height);
    Bytes rgba(count * 4);
    for (size_t i = 0; i < count; ++i) {
      const GifColorType c = map->Colors[frame.RasterBits[i]];
      const uint8_t px[4] = {c.Red, c.Green, c.Blue, 255};
      std::memcpy(rgba.data() + 4 * i, px, 4);
    }
    benchmark::DoNotOptimize(rgba.data());
    DGifCloseFile(gif, &error);
    if (!checked && !std::ranges::equal(rgba, orvel::codec::gif::decodeGif(bytes).pixels)) {
      state.SkipWithError("giflib and orvel read different pixels");
    }
    checked = true;
  }
}

void stbDecode(benchmark::State& state, const std::string& name) {
  const Bytes& bytes = input(name);
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    uint8_t* pixels =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &n, 4);
    if (pixels == nullptr) state.SkipWithError(stbi_failure_reason());
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
}

void libtiffDecode(benchmark::State& state, const std::string& name) {
  const Bytes& bytes = input(name);
  if (!std::ranges::equal(libtiffRgb(bytes), orvel::codec::tiff::decodeTiff(bytes).pixels)) {
    state.SkipWithError("libtiff and orvel read different pixels");
  }
  for (auto _ : state) {
    Bytes rgb = libtiffRgb(bytes);
    benchmark::DoNotOptimize(rgb.data());
  }
}

void registerAll() {
  TIFFSetWarningHandler(nullptr);
  auto add = [](const std::string& name, auto fn, const std::string& in) {
    benchmark::RegisterBenchmark(name.c_str(), fn, in)->Unit(benchmark::kMillisecond);
  };
  for (const char* in : {"webp_1.6mp_z6", "webp_1.6mp_z9", "webp_15mp_z6", "webp_15mp_z9"}) {
    add(std::string(in) + "_decode/orvel", orvelDecode<orvel::codec::webp::decodeWebp>, in);
    add(std::string(in) + "_decode/libwebp", libwebpDecode, in);
  }
  add("gif_decode/orvel", orvelDecode<orvel::codec::gif::decodeGif>, "gif");
  add("gif_decode/giflib", giflibDecode, "gif");
  add("gif_decode/stb_image", stbDecode, "gif");
  for (const char* in :
       {"tiff_none", "tiff_lzw_pred", "tiff_deflate_pred", "tiff_packbits", "tiff_tiled_lzw"}) {
    add(std::string(in) + "_decode/orvel", orvelDecode<orvel::codec::tiff::decodeTiff>, in);
    add(std::string(in) + "_decode/libtiff", libtiffDecode, in);
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
