// The quantisers against their literal transcriptions, known answers, the order of the
// checks, and reproducibility from a seed.
#include "palette/quantize.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <set>

#include "color/convert.h"
#include "palette/oracle.h"

using namespace orvel;
using color::ColorImage;
using palette::Palette;
using palette::QuantizeOpts;

namespace {

// A photo-like RGB image: a few dozen base colours with noise, so colours repeat.
image::Image randomImage(uint32_t seed, int64_t w, int64_t h, uint8_t layout = image::csRgb) {
  std::mt19937 rng(seed);
  image::Image im = image::newImage(w, h, layout);
  std::vector<std::array<int, 3>> base(3 + rng() % 40);
  for (auto& b : base) b = {int(rng() % 256), int(rng() % 256), int(rng() % 256)};
  const int noise = int(rng() % 24) + 1;
  for (int64_t i = 0; i < w * h; ++i) {
    const auto& b = base[rng() % base.size()];
    for (int64_t c = 0; c < im.channels; ++c) {
      const int v = (c < 3 ? b[c] : 255) + int(rng() % noise) - noise / 2;
      im.pixels[i * im.channels + c] = uint8_t(std::clamp(v, 0, 255));
    }
  }
  return im;
}

bool sameBytes(const Palette& a, const Palette& b) {
  if (a.colors.size() != b.colors.size() || a.seed != b.seed || a.tag != b.tag) return false;
  for (std::size_t i = 0; i < a.colors.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      if (std::bit_cast<uint32_t>(a.colors[i].c[k]) != std::bit_cast<uint32_t>(b.colors[i].c[k]))
        return false;
    }
    if (a.colors[i].alpha != b.colors[i].alpha || a.colors[i].space != b.colors[i].space)
      return false;
  }
  return true;
}

// The slow path the fused one must equal: sRGB colour image, then each pixel through `to`.
ColorImage literalWorkImage(const image::Image& im, color::SpaceTag space) {
  ColorImage out = palette::toColorImage(im).value();
  out.distinct.clear();
  out.distinctOf.clear();
  for (color::Color& c : out.pixels) c = color::to(c, space).value();
  out.space = space;
  return out;
}

TEST(Quantizers, EqualTheirLiteralTranscriptions) {
  const color::SpaceTag spaces[] = {color::tagOklab, color::tagLab, color::tagSrgb, color::tagHsv};
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    const image::Image im =
        randomImage(seed, 7 + seed % 23, 5 + seed % 17, seed % 3 ? image::csRgb : image::csRgba);
    const color::SpaceTag space = spaces[seed % 4];
    const ColorImage slow = literalWorkImage(im, space);
    QuantizeOpts o;
    o.seed = seed * 7919;
    o.maxIterations = int64_t(seed % 5);
    o.weighted = seed % 2 == 0;
    const int64_t n = 1 + seed % 13;
    struct Run {
      const char* name;
      Palette expected;
    };
    std::vector<Run> runs = {{"wu", oracle::wu(slow, n, o)},
                             {"medianCut", oracle::medianCut(slow, n, o)},
                             {"octree", oracle::octree(slow, n, o)},
                             {"neuquant", oracle::neuquant(slow, n, o)}};
    if (space == color::tagOklab) {
      runs.push_back({"kmeans", oracle::kmeans(slow, n, o, false)});
      runs.push_back({"kmeansPP", oracle::kmeans(slow, n, o, true)});
    }
    for (const Run& run : runs) {
      color::Result<Palette> fast = palette::extractPalette(im, n, run.name, space, o);
      ASSERT_TRUE(fast.ok()) << run.name << ": " << fast.error().message;
      EXPECT_TRUE(sameBytes(fast.value(), run.expected)) << run.name << " seed " << seed;
      // The colour-image entry point without a distinct index gives the same bytes too.
      color::Result<Palette> viaColour = palette::extractPalette(slow, n, run.name, space, o);
      ASSERT_TRUE(viaColour.ok());
      EXPECT_TRUE(sameBytes(viaColour.value(), run.expected)) << run.name << " seed " << seed;
    }
  }
}

// Wu on images with many colours (bins filled to their edges) equals its transcription, also
// when each thread's tables were last used for the same image hundreds of extractions before.
TEST(Quantizers, WuOnManyColoursAndAfterManyCalls) {
  std::vector<image::Image> images;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    image::Image im = image::newImage(96, 64, image::csRgb);
    std::mt19937 rng(seed);
    for (uint8_t& b : im.pixels) b = uint8_t(rng() % (64 << seed));
    images.push_back(std::move(im));
  }
  for (color::SpaceTag space : {color::tagOklab, color::tagLab}) {
    for (const image::Image& im : images) {
      const Palette expected = oracle::wu(literalWorkImage(im, space), 16, {});
      EXPECT_TRUE(sameBytes(palette::extractPalette(im, 16, "wu", space, {}).value(), expected));
    }
  }
  const image::Image& again = images[0];
  const Palette expected = oracle::wu(literalWorkImage(again, color::tagOklab), 16, {});
  image::Image white = image::newImage(1, 1, image::csRgb);
  std::memset(white.pixels.data(), 255, 3);
  for (int gap = 253; gap <= 257; ++gap) {
    for (int i = 0; i < gap; ++i) {
      ASSERT_TRUE(palette::extractPalette(white, 2, "wu", color::tagOklab, {}).ok());
    }
    const Palette p = palette::extractPalette(again, 16, "wu", color::tagOklab, {}).value();
    ASSERT_TRUE(sameBytes(p, expected)) << gap;
  }
}

TEST(Quantizers, KnownAnswers) {
  // Two flat colours: every algorithm finds them; asked for more, the histogram algorithms
  // give just those two and k-means only repeats them.
  image::Image im = image::newImage(6, 4, image::csRgb);
  for (int64_t i = 0; i < 24; ++i) {
    const bool left = i % 6 < 3;
    im.pixels[i * 3] = left ? 200 : 10;
    im.pixels[i * 3 + 1] = left ? 30 : 120;
    im.pixels[i * 3 + 2] = left ? 60 : 250;
  }
  auto srgbBytes = [](const color::Color& c) {
    const color::Color s = color::to(c, color::tagSrgb).value();
    return std::array<int, 3>{int(std::lround(s.c[0] * 255)), int(std::lround(s.c[1] * 255)),
                              int(std::lround(s.c[2] * 255))};
  };
  const std::set<std::array<int, 3>> expected = {{200, 30, 60}, {10, 120, 250}};
  for (const char* algo : {"wu", "kmeans", "kmeansPP", "medianCut", "octree", "neuquant"}) {
    for (int64_t n : {2, 5}) {
      Palette p = palette::extractPalette(im, n, algo, color::tagOklab, {}).value();
      std::set<std::array<int, 3>> found;
      for (const color::Color& c : p.colors) found.insert(srgbBytes(c));
      if (n == 2 || std::string(algo) != "neuquant") {
        EXPECT_EQ(found, expected) << algo << " n=" << n;  // the network also blends at n > 2
      }
      const bool histogram = std::string(algo) == "wu" || std::string(algo) == "medianCut" ||
                             std::string(algo) == "octree";
      EXPECT_EQ(p.colors.size(), histogram ? 2u : size_t(n)) << algo;
      EXPECT_EQ(p.colors[0].space, color::tagOklab);
      EXPECT_EQ(p.colors[0].alpha, 1.0f);
    }
  }
  // Octree never collapses below n: five colours from a many-coloured image.
  const image::Image photo = randomImage(99, 64, 48);
  for (int64_t n : {1, 3, 5, 7}) {
    EXPECT_EQ(
        palette::extractPalette(photo, n, "octree", color::tagOklab, {}).value().colors.size(),
        size_t(n));
  }
}

TEST(Quantizers, ReproducibleFromTheSeed) {
  const image::Image im = randomImage(5, 40, 30);
  for (const char* algo : {"kmeans", "kmeansPP", "neuquant"}) {
    QuantizeOpts a, b;
    a.seed = 42;
    b.seed = 43;
    const Palette first = palette::extractPalette(im, 6, algo, color::tagOklab, a).value();
    EXPECT_TRUE(sameBytes(first, palette::extractPalette(im, 6, algo, color::tagOklab, a).value()));
    EXPECT_FALSE(sameBytes(first, palette::extractPalette(im, 6, algo, color::tagOklab, b).value()))
        << algo;
    EXPECT_EQ(first.seed, 42u);
  }
}

TEST(Quantizers, ChecksInOrder) {
  struct Case {
    image::Image im;
    int64_t n;
    const char* algo;
    color::SpaceTag space;
    const char* message;
    int kind;
  };
  image::Image cmyk = image::newImage(2, 2, image::csCmyk);
  image::Image badChannels = image::newImage(2, 2, image::csRgb);
  badChannels.channels = 4;
  image::Image shortBuffer = image::newImage(2, 2, image::csRgb);
  shortBuffer.pixels = image::PixelBuffer(11);
  image::Image empty;
  image::Image huge = image::newImage(1, 1, image::csGray);
  huge.width = huge.height = int64_t(1) << 40;
  const image::Image ok = randomImage(3, 4, 4);
  image::Image black = image::newImage(2, 2, image::csRgb);
  const Case cases[] = {
      {empty, 2, "wu", 15, "image dimensions must be positive", 12},
      {badChannels, 2, "wu", 15, "channel count disagrees with the image colorspace", 12},
      {huge, 2, "wu", 15, "image dimensions overflow the addressable size", 12},
      {shortBuffer, 2, "wu", 15, "pixel buffer length disagrees with image dimensions", 12},
      {cmyk, 0, "nope", 15, "palette extraction supports Gray, RGB and RGBA images", 12},
      {ok, 0, "nope", 15, "extractPalette: n must be >= 1, got 0", 10},
      {ok, 3, "Wu", 99, "unknown quantization algorithm: Wu", 6},
      {ok, 3, "wu", 99, "target work space is unknown", 2},
      {black, 3, "wu", color::tagXyy, "XYZ sum=0 -> xyY undefined", 3},
      {ok, 3, "kmeans", color::tagLab, "kmeans: requires OKLab work space, got SpaceTag(13)", 10},
      {ok, 17, "kmeansPP", 15, "kmeans: n (17) > pixel count (16)", 10},
      {ok, 17, "neuquant", 15, "neuquant: n (17) > pixel count (16)", 10},
  };
  for (const Case& c : cases) {
    color::Result<Palette> r = palette::extractPalette(c.im, c.n, c.algo, c.space, {});
    ASSERT_FALSE(r.ok()) << c.message;
    EXPECT_EQ(r.error().message, c.message);
    EXPECT_EQ(int(r.error().kind), c.kind) << c.message;
  }
  QuantizeOpts negative;
  negative.maxIterations = -1;
  EXPECT_EQ(palette::extractPalette(ok, 2, "kmeans", 15, negative).error().message,
            "kmeans: maxIter must be >= 0, got -1");
  EXPECT_EQ(palette::toColorImage(cmyk).error().context, "Orvel.extractPalette");
}

TEST(Quantizers, RegistryAndPaletteRecord) {
  EXPECT_EQ(palette::quantizeAlgoNames(), "wu, kmeans, kmeansPP, medianCut, octree, neuquant");
  EXPECT_EQ(palette::lookupQuantizeAlgo("medianCut"), palette::medianCut);
  EXPECT_EQ(palette::lookupQuantizeAlgo("mediancut"), nullptr);
  EXPECT_FALSE(palette::registerQuantizeAlgo("", palette::octree));
  EXPECT_FALSE(palette::registerQuantizeAlgo("octree", palette::octree));
  EXPECT_FALSE(palette::registerQuantizeAlgo("none", nullptr));
  EXPECT_TRUE(palette::registerQuantizeAlgo("octree2", palette::octree));
  palette::sealQuantizeAlgos();
  EXPECT_FALSE(palette::registerQuantizeAlgo("late", palette::octree));

  EXPECT_EQ(palette::palette({}, 1, 0, 0).error().message, "palette: empty color set");
  const color::Color c{{0.5f, 0, 0}, 1, color::tagOklab};
  EXPECT_EQ(palette::palette({c}, 6, 0, 0, {{"accent", 1}}).error().message,
            "palette: role 'accent' index 1 out of range for 1 colors");
  EXPECT_TRUE(palette::palette({c}, 1, 0, 0, {{"accent", 1}}).ok());
}

}  // namespace
