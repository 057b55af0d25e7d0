// QOI against the format's reference coder (Debian's libqoi-dev, qoi.h): our encoder writes
// its bytes exactly, and each side reads what the other wrote.
#include "codec/qoi/qoi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <tuple>

#include "codec/raster_reference.h"

#define QOI_IMPLEMENTATION
#include <qoi.h>

namespace orvel::codec::qoi {
namespace {

using orvel::testing::patched;

using orvel::testing::Bytes;
using Sample = std::function<uint8_t(int64_t x, int64_t y, int64_t channel)>;

image::Image generated(int64_t width, int64_t height, uint8_t colorspace, const Sample& sample) {
  image::Image image = image::newImage(width, height, colorspace);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const int64_t at = static_cast<int64_t>(i) / image.channels;
    image.pixels[i] = sample(at % width, at / width, static_cast<int64_t>(i) % image.channels);
  }
  return image;
}

// The bytes qoi.h returned, released.
Bytes taken(void* data, int64_t size) {
  const Bytes bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  std::free(data);
  return bytes;
}

TEST(Qoi, MatchesTheReferenceCoder) {
  std::mt19937 rng(5);
  auto noise = [&](int spread) { return static_cast<int>(rng() % (2 * spread + 1)) - spread; };
  auto photo = [&](int64_t x, int64_t y, int64_t c) {
    return static_cast<uint8_t>((x * (3 + c) + y * (5 - c) + 60 * c) / 2 + noise(c == 3 ? 1 : 3));
  };
  // Colour changes after runs of 1, 61, 62, 63, 124, 125 pixels, across row ends.
  auto runs = [](int64_t x, int64_t y, int64_t c) {
    const int64_t i = y * 100 + x;
    const int64_t block = i < 1 ? 0 : i < 62 ? 1 : i < 124 ? 2 : i < 187 ? 3 : i < 311 ? 4 : 5;
    return static_cast<uint8_t>(c == 3 ? 255 : block * 40 * (c + 1));
  };
  const uint8_t palette[] = {0, 255, 17, 200, 90, 3};
  auto indexed = [&](int64_t, int64_t, int64_t c) {
    return c == 3 ? palette[rng() % 2 + 1] : palette[(rng() % 3 + c) % 6];
  };
  auto big = [&](int64_t x, int64_t y, int64_t c) {  // deltas beyond DIFF and LUMA
    return static_cast<uint8_t>(c == 3 ? 255 : (x * 97 + y * 31 + c * 50) ^ noise(40));
  };
  auto black = [](int64_t, int64_t, int64_t c) -> uint8_t { return c == 3 ? 255 : 0; };
  auto clear = [](int64_t, int64_t, int64_t) -> uint8_t { return 0; };
  const std::tuple<const char*, int64_t, int64_t, Sample> cases[] = {
      {"photo", 61, 37, photo},     {"runs", 100, 5, runs},     {"indexed", 33, 9, indexed},
      {"big", 17, 13, big},         {"one pixel", 1, 1, photo}, {"opaque black", 70, 3, black},
      {"transparent", 64, 2, clear}};
  for (const auto& [name, width, height, sample] : cases) {
    for (uint8_t colorspace : {image::csRgb, image::csRgba}) {
      SCOPED_TRACE(std::string(name) + (colorspace == image::csRgb ? " RGB" : " RGBA"));
      const image::Image image = generated(width, height, colorspace, sample);
      const qoi_desc desc = {static_cast<unsigned>(width), static_cast<unsigned>(height),
                             static_cast<unsigned char>(image.channels), QOI_SRGB};
      int length = 0;
      void* theirs = ::qoi_encode(image.pixels.data(), &desc, &length);
      const Bytes reference = taken(theirs, length);
      const Bytes ours = encodeQoi(image);
      EXPECT_EQ(ours, reference);
      EXPECT_TRUE(decodeQoi(reference).pixels == image.pixels);
      qoi_desc read{};
      void* back = ::qoi_decode(ours.data(), static_cast<int>(ours.size()), &read, 0);
      EXPECT_TRUE(std::ranges::equal(taken(back, std::ssize(image.pixels)), image.pixels));
      // The colour-space byte is not consulted; the end marker is not required.
      EXPECT_TRUE(decodeQoi(patched(ours, {{13, 1}})).pixels == image.pixels);
      EXPECT_TRUE(decodeQoi({ours.begin(), ours.end() - 8}).pixels == image.pixels);
    }
  }
}

std::vector<uint8_t> qoiFile(uint32_t width, uint32_t height, uint8_t channels,
                             std::vector<uint8_t> ops) {
  ops.insert(ops.begin(), 14, uint8_t{0});
  return patched(std::move(ops), {{0, 0x66696F71, 4},
                                  {4, __builtin_bswap32(width), 4},
                                  {8, __builtin_bswap32(height), 4},
                                  {12, channels}});
}

TEST(Qoi, RefusesWhatItCannotRead) {
  const std::vector<uint8_t> good = qoiFile(2, 2, 4, {0xC3});
  const std::vector<uint8_t> huge = qoiFile(32768, 32768, 4, {0xFD, 0xFD, 0x80});
  orvel::testing::expectRefusals(
      decodeQoi,
      {
          {"qoi: header truncated", image::iekTruncated, {good.begin(), good.begin() + 13}},
          {"qoi: not a qoif container", image::iekUnsupported, patched(good, {{3, 'g'}})},
          {"qoi: bad dimensions", image::iekInvalid, qoiFile(0, 2, 4, {})},
          {"qoi: channels must be 3 or 4", image::iekUnsupported, qoiFile(2, 2, 5, {})},
          {"qoi: too many pixels", image::iekInvalid, qoiFile(65536, 16385, 3, {})},
          {"qoi: pixel stream truncated", image::iekTruncated, qoiFile(2, 2, 3, {0xC2})},
          {"qoi: RGB chunk truncated", image::iekTruncated, qoiFile(2, 2, 3, {0xFE, 1, 2})},
          {"qoi: RGBA chunk truncated", image::iekTruncated, qoiFile(2, 2, 4, {0xFF, 1, 2, 3})},
          {"qoi: LUMA chunk truncated", image::iekTruncated, qoiFile(2, 2, 4, {0x55, 0x80})},
          {"qoi: run exceeds image bounds", image::iekInvalid, qoiFile(2, 2, 4, {0x40, 0xC3})},
          // Declared far larger than the stream can fill: checked without the image.
          {"qoi: LUMA chunk truncated", image::iekTruncated, huge},
          {"qoi: pixel stream truncated", image::iekTruncated, {huge.begin(), huge.end() - 1}},
      });
  EXPECT_EQ(decodeQoi(good).pixels.size(), 16u);
}

TEST(Qoi, EncodesOnlyRgbAndRgba) {
  orvel::testing::expectFailure([] { encodeQoi(image::newImage(1, 1, image::csGray)); },
                                "qoi: encode needs csRgb or csRgba", image::iekUnsupported);
}

}  // namespace
}  // namespace orvel::codec::qoi
