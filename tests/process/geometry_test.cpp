// Rotations, orientations, crops and compositing against the literal transcriptions, over
// random sizes, layouts and positions, with the SSE2 and the AVX2 loops; then the documented
// edge cases.
#include "process/geometry.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "image/error.h"
#include "process/composite.h"
#include "process/kernels.h"
#include "process/reference.h"

namespace {

using orvel::image::Image;
namespace image = orvel::image;
namespace process = orvel::process;

Image randomImage(std::mt19937& rng, int64_t width, int64_t height, uint8_t layout) {
  Image out = image::newImage(width, height, layout);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const uint32_t r = rng();
    const bool alpha = layout == image::csRgba && i % 4 == 3;
    out.pixels[i] = static_cast<uint8_t>(alpha && r % 4 == 0   ? 0
                                         : alpha && r % 4 == 1 ? 255
                                                               : r >> 8);
  }
  return out;
}

std::string failure(auto&& call) {
  try {
    call();
  } catch (const image::OrvelException& e) {
    return std::to_string(e.kind()) + " " + e.what();
  }
  return "no failure";
}

int64_t randomLength(std::mt19937& rng) { return rng() % 3 == 0 ? 1 + rng() % 6 : 1 + rng() % 150; }

TEST(Geometry, MatchesTheTranscription) {
  std::mt19937 rng(5);
  for (int round = 0; round < 240; ++round) {
    const auto layout = static_cast<uint8_t>(round % 6);
    const Image source = randomImage(rng, randomLength(rng), randomLength(rng), layout);
    const std::string what = std::to_string(source.width) + "x" + std::to_string(source.height) +
                             " layout " + std::to_string(layout);
    for (int op = 0; op < 5; ++op) {
      const Image got = process::rotate(source, static_cast<process::RotateOp>(op));
      const Image expected = orvel::testing::referenceRotate(source, op);
      ASSERT_EQ(got.width, expected.width) << what << " op " << op;
      ASSERT_EQ(got.colorspace, layout);
      ASSERT_EQ(got.pixels, expected.pixels) << what << " op " << op;
    }
    for (int orientation = 1; orientation <= 8; ++orientation) {
      const Image got = process::applyExifOrientation(source, orientation);
      const Image expected = orvel::testing::referenceOrientation(source, orientation);
      ASSERT_EQ(got.width, expected.width) << what << " orientation " << orientation;
      ASSERT_EQ(got.pixels, expected.pixels) << what << " orientation " << orientation;
    }
    const int64_t x = rng() % source.width, y = rng() % source.height;
    const int64_t w = 1 + rng() % (source.width - x), h = 1 + rng() % (source.height - y);
    const Image cut = process::crop(source, x, y, w, h);
    for (int64_t i = 0; i < h * w * source.channels; ++i) {
      const int64_t row = i / (w * source.channels), column = i % (w * source.channels);
      ASSERT_EQ(cut.pixels[i],
                source.pixels[(y + row) * source.stride() + x * source.channels + column])
          << what;
    }
  }
}

class CompositeKernels : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { process::usePortableKernels(GetParam()); }
  void TearDown() override { process::usePortableKernels(false); }
};

TEST_P(CompositeKernels, MatchesTheTranscription) {
  std::mt19937 rng(GetParam() ? 17 : 19);
  const int opacities[] = {0, 1, 127, 128, 254, 255};
  for (int round = 0; round < 600; ++round) {
    Image destination = randomImage(rng, randomLength(rng), randomLength(rng), image::csRgba);
    const auto layout = static_cast<uint8_t>(round % 3);
    const bool self = round % 10 == 9;
    const Image source =
        self ? destination : randomImage(rng, randomLength(rng), randomLength(rng), layout);
    const int64_t x = static_cast<int64_t>(rng() % 200) - 100,
                  y = static_cast<int64_t>(rng() % 200) - 100;
    const int opacity = round % 2 ? opacities[rng() % 6] : static_cast<int>(rng() % 256);
    Image expected = destination;
    orvel::testing::referenceComposite(expected, source, x, y, opacity);
    if (self) {
      process::compositeOver(destination, destination, x, y, static_cast<uint8_t>(opacity));
    } else {
      process::compositeOver(destination, source, x, y, static_cast<uint8_t>(opacity));
    }
    ASSERT_EQ(destination.pixels, expected.pixels)
        << "round " << round << " at " << x << "," << y << " opacity " << opacity;
  }
}

INSTANTIATE_TEST_SUITE_P(PortableAndBest, CompositeKernels, ::testing::Values(false, true));

Image pixels(int64_t width, int64_t height, uint8_t layout, std::vector<uint8_t> bytes) {
  Image out = image::newImage(width, height, layout);
  std::copy(bytes.begin(), bytes.end(), out.pixels.begin());
  return out;
}

TEST(Geometry, DocumentedCases) {
  const Image small = pixels(3, 2, image::csGray, {1, 2, 3, 4, 5, 6});
  const Image turned = process::rotate(small, process::roClockwise90);
  EXPECT_EQ(turned.width, 2);
  EXPECT_EQ(turned.pixels[1], 1);  // top-right is the source's top-left
  EXPECT_EQ(process::applyExifOrientation(small, 5).pixels[0], 1);
  const Image seven = process::applyExifOrientation(small, 7);
  EXPECT_EQ(seven.pixels[seven.pixels.size() - 1], 1);
  EXPECT_EQ(process::rotate(turned, process::roCounterClockwise90).pixels, small.pixels);
  for (int64_t orientation : {0, 9, -1}) {
    EXPECT_EQ(failure([&] { process::applyExifOrientation(small, orientation); }),
              "3 EXIF orientation must be between 1 and 8");
  }
  EXPECT_EQ(failure([] { process::rotateOpFromCint(5); }), "3 ov_image: bad rotate op");
  EXPECT_EQ(failure([] { process::rotateOpFromCint(0xFFFFFFFF); }), "3 ov_image: bad rotate op");
  EXPECT_EQ(process::crop(small, 0, 0, 3, 2).pixels, small.pixels);
  EXPECT_EQ(failure([&] { process::crop(small, 3, 0, 1, 1); }),
            "3 crop: rectangle overruns the source");
  EXPECT_EQ(failure([&] { process::crop(small, 0, 0, 0, 1); }), "3 crop: non-positive or negative");
  EXPECT_EQ(failure([&] { process::crop(small, -1, 0, 1, 1); }),
            "3 crop: non-positive or negative");
  EXPECT_THROW(process::crop(small, INT64_MAX, 0, 1, 1), std::overflow_error);
}

TEST(Composite, DocumentedCases) {
  const Image opaque = pixels(1, 1, image::csRgb, {10, 20, 30});
  Image destination = pixels(1, 1, image::csRgba, {200, 200, 200, 255});
  process::compositeOver(destination, opaque, 0, 0, 254);
  EXPECT_EQ(destination.pixels[3], 255);
  process::compositeOver(destination, opaque, 0, 0, 255);
  EXPECT_EQ(destination.pixels, pixels(1, 1, image::csRgba, {10, 20, 30, 255}).pixels);
  Image clear = pixels(1, 1, image::csRgba, {0, 0, 0, 0});
  process::compositeOver(clear, pixels(1, 1, image::csRgba, {90, 80, 70, 128}), 0, 0, 255);
  EXPECT_EQ(clear.pixels, pixels(1, 1, image::csRgba, {90, 80, 70, 128}).pixels);
  Image wide = image::newImage(10, 1, image::csRgba);
  Image ramp = image::newImage(10, 1, image::csGray);
  for (int i = 0; i < 10; ++i) ramp.pixels[i] = static_cast<uint8_t>(i + 1);
  process::compositeOver(wide, ramp, -5, 0, 255);
  EXPECT_EQ(wide.pixels[0], 6);
  EXPECT_EQ(wide.pixels[16], 10);
  EXPECT_EQ(wide.pixels[23], 0);  // column 5 untouched
  Image rgb = image::newImage(2, 2, image::csRgb);
  EXPECT_EQ(failure([&] { process::compositeOver(rgb, opaque, 0, 0, 255); }),
            "3 compositeOver: destination must be valid RGBA8");
  const Image cmyk = image::newImage(1, 1, image::csCmyk);
  EXPECT_EQ(failure([&] { process::compositeOver(destination, cmyk, 0, 0, 255); }),
            "3 compositeOver: source must be valid Gray/RGB/RGBA8");
}

}  // namespace
