// HEIF and AVIF through libheif: the committed stills and an image with alpha made at test time
// with heif-enc decode to the pixels heif-convert writes (alpha premultiplied), and the
// refusals carry their messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "codec/heif/heif.h"
#include "codec/png/png.h"
#include "image/error.h"
#include "support/temp_dir.h"

namespace {

using orvel::image::Image;
using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// heif-convert's reading of the file as straight-alpha RGBA.
Image referenceOf(const std::string& path, const orvel::testing::TempDir& dir) {
  const std::string png = (dir.path() / "reference.png").string();
  const std::string command = "heif-convert '" + path + "' '" + png + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command << " (heif-convert: libheif-examples)";
  return orvel::codec::png::decodePng(readFile(png));
}

void expectPremultiplied(const Image& ours, const Image& reference) {
  ASSERT_EQ(ours.width, reference.width);
  ASSERT_EQ(ours.height, reference.height);
  ASSERT_EQ(ours.colorspace, orvel::image::csRgba);
  const int64_t pixels = ours.width * ours.height;
  for (int64_t i = 0; i < pixels; ++i) {
    const uint8_t* ref = reference.pixels.data() + i * reference.channels;
    const int alpha = reference.channels == 4 ? ref[3] : 255;
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(ours.pixels[static_cast<size_t>(4 * i + c)], (ref[c] * alpha + 127) / 255) << i;
    }
    ASSERT_EQ(ours.pixels[static_cast<size_t>(4 * i + 3)], alpha);
  }
}

TEST(Heif, StillsDecodeAsHeifConvertWritesThem) {
  const orvel::testing::TempDir dir;
  for (const char* name : {"still.heic", "still.avif"}) {
    const std::string path = std::string(ORVEL_FIXTURES) + "/containers/" + name;
    SCOPED_TRACE(name);
    expectPremultiplied(orvel::codec::heif::decodeHeif(readFile(path)), referenceOf(path, dir));
  }
}

TEST(Heif, AlphaIsPremultiplied) {
  const orvel::testing::TempDir dir;
  Image rgba = orvel::image::newImage(16, 8, orvel::image::csRgba);
  for (size_t i = 0; i < rgba.pixels.size(); ++i) rgba.pixels[i] = static_cast<uint8_t>(i * 37 + i / 64);
  const std::string png = dir.file("alpha.png", orvel::codec::png::encodePng(rgba));
  const std::string avif = (dir.path() / "alpha.avif").string();
  const std::string command = "heif-enc -L -o '" + avif + "' '" + png + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  expectPremultiplied(orvel::codec::heif::decodeHeif(readFile(avif)), referenceOf(avif, dir));
}

TEST(Heif, RefusalsAndBrands) {
  const struct {
    Bytes bytes;
    const char* message;
    orvel::image::ImageErrorKind kind;
  } cases[] = {
      {{}, "heif: empty input", orvel::image::iekTruncated},
      {Bytes(20, 0), "heif: not a HEIF file", orvel::image::iekUnsupported},
      {{0, 0, 0, 16, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f', 0, 0, 0, 0},
       "heif: the system did not recognise this file", orvel::image::iekUnsupported},
  };
  for (const auto& c : cases) {
    try {
      orvel::codec::heif::decodeHeif(c.bytes);
      ADD_FAILURE() << c.message;
    } catch (const orvel::image::OrvelException& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.kind(), c.kind);
    }
  }
  Bytes file = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'm', 'i', 'f', '1', 0, 0, 0, 0};
  EXPECT_TRUE(orvel::codec::heif::isHeif(file));
  file[8] = 'i', file[9] = 's', file[10] = 'o', file[11] = 'm';
  EXPECT_FALSE(orvel::codec::heif::isHeif(file));
}

}  // namespace
