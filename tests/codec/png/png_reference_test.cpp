// PNG against libpng: every colour type and bit depth, with and without PLTE and tRNS, odd
// widths, one-pixel images, several IDAT chunks and every filter, written by libpng and read
// back by both; our encoder's output read by libpng; and round trips.
#include <png.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "codec/png/png.h"
#include "image/error.h"

namespace {

using Bytes = std::vector<uint8_t>;
using orvel::image::Image;

struct Shape {
  int colorType;
  int depth;
  uint32_t width;
  uint32_t height;
  bool withTransparency;
  int filters;  // PNG_FILTER_* mask for the writer
};

void appendTo(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

int channelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    default: return 4;
  }
}

// Random samples within the depth (palette indices within the palette).
std::vector<Bytes> randomRows(const Shape& s, int paletteSize, std::mt19937& random) {
  const int64_t samples = int64_t{s.width} * channelsOf(s.colorType);
  const int64_t rowBytes = (samples * s.depth + 7) / 8;
  std::vector<Bytes> rows(s.height, Bytes(static_cast<size_t>(rowBytes), 0));
  const int limit = s.colorType == PNG_COLOR_TYPE_PALETTE ? paletteSize : 1 << std::min(s.depth, 8);
  for (Bytes& row : rows) {
    if (s.depth >= 8) {
      for (uint8_t& b : row) b = static_cast<uint8_t>(random() % (s.colorType == 3 ? limit : 256));
      // Smooth runs so that the filters and matches have something to do.
      for (size_t i = 8; i < row.size(); i += 3) row[i] = row[i - 8];
      continue;
    }
    for (int64_t i = 0; i < samples; ++i) {
      const int64_t bit = i * s.depth;
      row[bit / 8] |= static_cast<uint8_t>((random() % limit) << (8 - s.depth - bit % 8));
    }
  }
  return rows;
}

Bytes writeWithLibpng(const Shape& s, const std::vector<Bytes>& rows, const std::vector<png_color>& palette,
                      const Bytes& transparency) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng refused to write";
    return {};
  }
  png_set_write_fn(png, &out, appendTo, nullptr);
  png_set_compression_buffer_size(png, 64);  // many small IDAT chunks
  png_set_filter(png, 0, s.filters);
  png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!transparency.empty()) {
    png_color_16 key{};
    key.gray = key.red = 1;
    png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()), &key);
  }
  png_write_info(png, info);
  for (const Bytes& row : rows) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// libpng's reading of the file, reduced the way our decoder reduces it: 16-bit samples to
// their high byte, gray below 8 bits scaled, palette and gray+alpha to RGBA.
Bytes readWithLibpng(const Bytes& file, int& channels) {
  struct Source {
    const Bytes* bytes;
    size_t at;
  } source{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<Bytes> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    ADD_FAILURE() << "libpng refused to read";
    return {};
  }
  png_set_read_fn(png, &source, [](png_structp p, png_bytep data, png_size_t length) {
    auto* src = static_cast<Source*>(png_get_io_ptr(p));
    std::memcpy(data, src->bytes->data() + src->at, length);
    src->at += length;
  });
  png_read_info(png, info);
  const int type = png_get_color_type(png, info);
  png_set_strip_16(png);
  if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
  if (type == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
      png_set_tRNS_to_alpha(png);
    } else {
      png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
  }
  if (type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  channels = png_get_channels(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  rows.assign(height, Bytes(png_get_rowbytes(png, info)));
  for (Bytes& row : rows) png_read_row(png, row.data(), nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  Bytes pixels;
  for (const Bytes& row : rows) pixels.insert(pixels.end(), row.begin(), row.end());
  return pixels;
}

std::vector<Shape> shapes() {
  std::vector<Shape> out;
  const struct {
    int type;
    std::vector<int> depths;
  } kinds[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
  const uint32_t sizes[][2] = {{1, 1}, {3, 2}, {17, 5}, {63, 9}, {130, 7}};
  const int filters[] = {PNG_ALL_FILTERS, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                         PNG_FILTER_PAETH, PNG_FILTER_NONE};
  int k = 0;
  for (const auto& kind : kinds) {
    for (int depth : kind.depths) {
      for (const auto& size : sizes) {
        out.push_back({kind.type, depth, size[0], size[1], k % 2 == 0, filters[k % 6]});
        ++k;
      }
    }
  }
  return out;
}

TEST(PngReference, EveryTypeDepthAndFilterDecodesAsLibpngReadsIt) {
  std::mt19937 random(11);
  for (const Shape& shape : shapes()) {
    SCOPED_TRACE("type " + std::to_string(shape.colorType) + " depth " + std::to_string(shape.depth) +
                 " " + std::to_string(shape.width) + "x" + std::to_string(shape.height));
    std::vector<png_color> palette;
    Bytes transparency;
    const int paletteSize = shape.colorType == 3 ? 1 + static_cast<int>(random() % (1 << shape.depth)) : 0;
    for (int i = 0; i < paletteSize; ++i) {
      palette.push_back({static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                         static_cast<uint8_t>(random())});
    }
    // Palette images take alpha from tRNS; gray and RGB ones must ignore it.
    if (shape.withTransparency) {
      if (shape.colorType == 3) {
        transparency.resize(static_cast<size_t>(std::max(1, paletteSize / 2)));
        for (uint8_t& a : transparency) a = static_cast<uint8_t>(random());
      } else if (shape.colorType == 0 || shape.colorType == 2) {
        transparency = {0};  // libpng takes the colour key from the struct
      }
    }
    const Bytes file = writeWithLibpng(shape, randomRows(shape, paletteSize, random), palette,
                                       shape.colorType == 3 ? transparency : Bytes{});
    int channels = 0;
    const Bytes expected = readWithLibpng(file, channels);
    const Image image = orvel::codec::png::decodePng(file);
    EXPECT_EQ(image.channels, shape.colorType == 0 ? 1 : shape.colorType == 2 ? 3 : 4);
    EXPECT_EQ(image.channels, channels);
    ASSERT_EQ(image.pixels.size(), expected.size());
    EXPECT_EQ(0, std::memcmp(image.pixels.data(), expected.data(), expected.size()));
  }
}

TEST(PngReference, OurFilesReadBackByLibpngAndByUs) {
  std::mt19937 random(5);
  for (uint8_t layout : {orvel::image::csGray, orvel::image::csRgb, orvel::image::csRgba}) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{5, 3}, std::pair{257, 31}}) {
      Image image = orvel::image::newImage(w, h, layout);
      for (uint8_t& b : image.pixels) b = static_cast<uint8_t>(random() % 7 * 37);
      const std::vector<uint8_t> file = orvel::codec::png::encodePng(image);
      int channels = 0;
      const Bytes theirs = readWithLibpng(file, channels);
      ASSERT_EQ(theirs.size(), image.pixels.size());
      EXPECT_EQ(0, std::memcmp(theirs.data(), image.pixels.data(), theirs.size()));
      EXPECT_EQ(orvel::codec::png::decodePng(file).pixels, image.pixels);
    }
  }
}

}  // namespace
