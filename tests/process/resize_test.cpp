// Resampling against the literal transcription, byte for byte: random sizes up and down, every
// filter, every layout, with the SSE2 and the AVX2 loops; then the documented edge cases.
#include "process/resize.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "image/error.h"
#include "process/kernels.h"
#include "process/reference.h"

namespace {

using orvel::image::Image;
namespace image = orvel::image;
namespace process = orvel::process;

// Random samples; alpha is often 0 or 255 so that every rule of the alpha weighting shows.
Image randomImage(std::mt19937& rng, int64_t width, int64_t height, uint8_t layout) {
  Image out = image::newImage(width, height, layout);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const uint32_t r = rng();
    const bool alpha = layout == image::csRgba && i % 4 == 3;
    out.pixels[i] = static_cast<uint8_t>(alpha && r % 3 == 0   ? 0
                                         : alpha && r % 3 == 1 ? 255
                                                               : r >> 8);
  }
  return out;
}

Image fromBytes(int64_t width, int64_t height, uint8_t layout, std::vector<uint8_t> bytes) {
  Image out = image::newImage(width, height, layout);
  std::copy(bytes.begin(), bytes.end(), out.pixels.begin());
  return out;
}

std::vector<uint8_t> bytesOf(const Image& image) {
  return {image.pixels.begin(), image.pixels.end()};
}

// A length of 1 to 300, small ones often.
int64_t randomLength(std::mt19937& rng) { return rng() % 4 == 0 ? 1 + rng() % 5 : 1 + rng() % 300; }

class ResizeKernels : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { process::usePortableKernels(GetParam()); }
  void TearDown() override { process::usePortableKernels(false); }
};

TEST_P(ResizeKernels, MatchesTheTranscription) {
  std::mt19937 rng(GetParam() ? 7 : 11);
  for (int round = 0; round < 360; ++round) {
    const auto layout = static_cast<uint8_t>(round % 6);
    const int filter = round / 6 % 3;
    const int64_t sw = randomLength(rng), sh = randomLength(rng);
    const int64_t ow = randomLength(rng), oh = randomLength(rng);
    const Image source = randomImage(rng, sw, sh, layout);
    const Image got = process::resize(source, ow, oh, static_cast<process::Filter>(filter));
    const std::string what = std::to_string(sw) + "x" + std::to_string(sh) + " to " +
                             std::to_string(ow) + "x" + std::to_string(oh) + " layout " +
                             std::to_string(layout) + " filter " + std::to_string(filter);
    ASSERT_EQ(got.width, ow) << what;
    ASSERT_EQ(got.colorspace, layout) << what;
    ASSERT_EQ(bytesOf(got), bytesOf(orvel::testing::referenceResize(source, ow, oh, filter)))
        << what;
  }
}

INSTANTIATE_TEST_SUITE_P(PortableAndBest, ResizeKernels, ::testing::Values(false, true));

TEST(ResizeWeights, MatchTheTranscription) {
  const std::pair<int64_t, int64_t> lengths[] = {
      {1, 1},   {2, 1},       {4, 1},       {3, 2},      {7, 300},
      {300, 7}, {5120, 1280}, {1000003, 3}, {3, 100003}, {16777219, 5}};
  for (const auto& [s, d] : lengths) {
    // Box tables of lengths past 2^24 (where a float no longer holds every index) are long.
    for (int filter = 1; filter <= (s > (1 << 22) ? 1 : 2); ++filter) {
      const process::WeightTable table =
          process::buildWeights(static_cast<process::Filter>(filter), s, d);
      const orvel::testing::Table expected = filter == 2 ? orvel::testing::referenceBox(s, d)
                                                         : orvel::testing::referenceBilinear(s, d);
      ASSERT_EQ(table.entries(), d);
      orvel::testing::Table got(static_cast<size_t>(d));
      for (int64_t i = 0; i < d; ++i) {
        for (size_t k = 0; k < table.indices(i).size(); ++k) {
          got[i].push_back({table.indices(i)[k], table.weights(i)[k]});
        }
      }
      ASSERT_TRUE(got == expected) << s << " to " << d << " filter " << filter;
    }
  }
  EXPECT_TRUE(process::buildWeights(process::rfNearest, 5, 3).index.empty());
}

TEST(ResizeEdges, DocumentedCases) {
  std::mt19937 rng(3);
  const Image rgb = randomImage(rng, 9, 5, image::csRgb);
  EXPECT_EQ(process::resize(rgb, 9, 5, process::rfNearest).pixels, rgb.pixels);
  EXPECT_EQ(process::resize(rgb, 9, 5, process::rfBilinear).pixels, rgb.pixels);
  const Image dot = fromBytes(1, 1, image::csRgba, {10, 20, 30, 255});
  for (auto filter : {process::rfNearest, process::rfBilinear, process::rfBox}) {
    const Image big = process::resize(dot, 4, 4, filter);
    for (size_t i = 0; i < big.pixels.size(); ++i) EXPECT_EQ(big.pixels[i], dot.pixels[i % 4]);
  }
  const Image row = fromBytes(4, 1, image::csGray, {10, 40, 100, 200});
  EXPECT_EQ(bytesOf(process::resize(row, 1, 1, process::rfBilinear)), std::vector<uint8_t>{70});
  EXPECT_EQ(bytesOf(process::resize(row, 1, 1, process::rfBox)), std::vector<uint8_t>{88});
  const Image pair = fromBytes(2, 1, image::csGray, {10, 41});
  EXPECT_EQ(bytesOf(process::resize(pair, 1, 1, process::rfBilinear)), std::vector<uint8_t>{26});
  const process::WeightTable thirds = process::boxWeights(3, 2);
  EXPECT_EQ(thirds.weights(0)[0], 1.0f / 1.5f);
  EXPECT_EQ(thirds.weights(0)[1], 0.5f / 1.5f);
  EXPECT_EQ(thirds.indices(1)[0], 1);
  // The transparent pixel adds no colour; alpha averages.
  const Image redAndClear = fromBytes(2, 1, image::csRgba, {0, 0, 0, 0, 255, 0, 0, 255});
  EXPECT_EQ(bytesOf(process::resize(redAndClear, 1, 1, process::rfBilinear)),
            (std::vector<uint8_t>{255, 0, 0, 128}));
  const Image clear = fromBytes(2, 2, image::csRgba, std::vector<uint8_t>(16, 0));
  Image clearColour = clear;
  for (int i = 0; i < 16; i += 4) clearColour.pixels[i] = 200;
  EXPECT_EQ(bytesOf(process::resize(clearColour, 3, 1, process::rfBox)),
            std::vector<uint8_t>(12, 0));
}

TEST(ResizeEdges, Refusals) {
  auto message = [](const Image& source, int64_t w, int64_t h) {
    try {
      process::resize(source, w, h, process::rfBox);
    } catch (const image::OrvelException& e) {
      EXPECT_EQ(e.kind(), image::iekInvalid);
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  const Image gray = image::newImage(3, 3, image::csGray);
  EXPECT_EQ(message(gray, 40000, 40000), "resize: dimensions too large");
  EXPECT_EQ(message(gray, 1 << 29, 3), "resize: dimensions too large");  // width × source height
  EXPECT_EQ(message(gray, 0, 3), "resize: non-positive dims");
  EXPECT_EQ(message(gray, 3, -1), "resize: non-positive dims");
  Image malformed = gray;
  malformed.channels = 3;
  EXPECT_EQ(message(malformed, 0, 3), "resize: malformed source image");
  malformed = gray;
  malformed.pixels.shrink(8);
  EXPECT_EQ(message(malformed, 2, 2), "resize: malformed source image");
  EXPECT_THROW(process::filterFromCint(3), image::OrvelException);
  EXPECT_THROW(process::filterFromCint(0xFFFFFFFF), image::OrvelException);
  EXPECT_EQ(process::filterFromCint(2), process::rfBox);
}

}  // namespace
