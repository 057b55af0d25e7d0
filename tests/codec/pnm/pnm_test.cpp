#include "codec/pnm/pnm.h"

#include <gtest/gtest.h>

#include "codec/raster_reference.h"

namespace orvel::codec::pnm {
namespace {

using orvel::testing::bytesOf;

TEST(Pnm, ReadsAndWritesLikeNetpbm) {
  orvel::testing::checkAgainstReferences("pnm", decodePnm, encodePnm);
}

// Every 16-bit sample of several maxvals (the last row above maxval) against the rescaling
// written out plainly.
TEST(Pnm, RescalesEverySampleToEightBits) {
  for (const int64_t maxval : {256, 257, 1000, 4095, 40000, 65534, 65535}) {
    std::string file = "P5 " + std::to_string(maxval + 1) + " 3 " + std::to_string(maxval) + "\n";
    std::vector<uint8_t> expected;
    for (int64_t row = 0; row < 3; ++row) {
      for (int64_t v = 0; v <= maxval; ++v) {
        const int64_t sample = row < 2 ? v : std::min<int64_t>(65535, maxval + v);
        file += {static_cast<char>(sample >> 8), static_cast<char>(sample)};
        const int64_t clamped = std::min(sample, maxval);
        expected.push_back(static_cast<uint8_t>((clamped * 255 + maxval / 2) / maxval));
      }
    }
    EXPECT_TRUE(std::ranges::equal(decodePnm(bytesOf(file)).pixels, expected)) << maxval;
  }
}

TEST(Pnm, WritesP5P6AndP7Headers) {
  const struct {
    uint8_t colorspace;
    std::string header;
  } cases[] = {
      {image::csGray, "P5\n3 2\n255\n"},
      {image::csRgb, "P6\n3 2\n255\n"},
      {image::csRgba, "P7\nWIDTH 3\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"},
  };
  for (const auto& c : cases) {
    image::Image image = image::newImage(3, 2, c.colorspace);
    image.pixels[image.pixels.size() - 1] = 7;
    std::vector<uint8_t> expected = bytesOf(c.header);
    expected.insert(expected.end(), image.pixels.begin(), image.pixels.end());
    EXPECT_EQ(encodePnm(image), expected);
  }
  orvel::testing::expectFailure([] { encodePnm(image::newImage(1, 1, image::csCmyk)); },
                                "pnm: encode needs csRgb, csGray, or csRgba",
                                image::iekUnsupported);
}

TEST(Pnm, RefusesWhatItCannotRead) {
  constexpr auto invalid = image::iekInvalid;
  constexpr auto truncated = image::iekTruncated;
  const std::string pam = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nENDHDR\n";
  orvel::testing::expectRefusals(
      decodePnm,
      {
          {"pnm: not a PNM container", image::iekUnsupported, bytesOf("PX 1 1 255\n")},
          {"pnm: unsupported type", image::iekUnsupported, bytesOf("P8 1 1 255\n")},
          {"pnm: expected an integer", invalid, bytesOf("P6 # size\n-1 1 255\n")},
          {"pnm: integer exceeds the platform range", invalid, bytesOf("P2 9223372036854775808 1")},
          {"pnm: bad dimensions", invalid, bytesOf("P5 0 1 255\n")},
          {"pnm: bad maxval", invalid, bytesOf("P5 1 1 0\n")},
          {"pnm: bad maxval", invalid, bytesOf("P3 1 1 65536\n")},
          {"pnm: too many pixels", invalid, bytesOf("P4 32769 32768\n")},
          {"pnm: missing whitespace after header", invalid, bytesOf("P5 1 1 255#\n.")},
          {"pnm: missing whitespace after header", invalid, bytesOf("P4 1 1")},
          {"pnm: P1 sample not 0/1", invalid, bytesOf("P1 2 1\n0 2")},
          {"pnm: expected an integer", invalid, bytesOf("P1 2 2\n01 1")},
          {"pnm: expected an integer", invalid, bytesOf("P3 1 1 255 1 2 x")},
          {"pnm: P4 data truncated", truncated, bytesOf("P4 10 2\n\xFF\xFF\xFF")},
          {"pnm: P5 data truncated", truncated, bytesOf("P5 2 1 255\n\x01")},
          {"pnm: P6 data truncated", truncated, bytesOf("P6 1 1 1000\n\x01\x02\x03\x04\x05")},
          // Declared far larger than the samples present: checked without the image.
          {"pnm: expected an integer", invalid, bytesOf("P3 30000 30000 255 1 2 3 x")},
          {"pnm: P1 sample not 0/1", invalid, bytesOf("P1 30000 30000 0101015")},
          {"pnm: integer exceeds the platform range", invalid,
           bytesOf("P2 30000 30000 9 1 99999999999999999999")},
          {"pnm: PAM header truncated", truncated, bytesOf("P7\nWIDTH 2\nHEIGHT 1\n")},
          {"pnm: bad PAM header line", invalid, bytesOf("P7\nWIDTH\nENDHDR\n")},
          {"pnm: PAM bad WIDTH value", invalid, bytesOf("P7\nWIDTH 2x\nENDHDR\n")},
          {"pnm: PAM bad MAXVAL value", invalid, bytesOf("P7\nMAXVAL 99999999999999999999\n")},
          {"pnm: PAM bad dimensions", invalid, bytesOf("P7\nHEIGHT 1\nDEPTH 3\nENDHDR\n")},
          {"pnm: PAM depth must be 1, 3, or 4", image::iekUnsupported,
           bytesOf("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nENDHDR\n")},
          {"pnm: PAM bad maxval", invalid, bytesOf("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nENDHDR\n")},
          {"pnm: PAM data truncated", truncated, bytesOf(pam + "\x01\x02\x03\x04\x05")},
      });
  // Comments, blank lines and unknown keywords in a PAM header; P1 bits need no separators;
  // samples above maxval clamp to 255.
  EXPECT_EQ(decodePnm(bytesOf("P7\n# x\n" + pam.substr(3) + "\x01\x02\x03\x04\x05\x06")).width, 2);
  EXPECT_EQ(decodePnm(bytesOf("P7\n\n# c\nTUPLTYPE RGB\n" + pam.substr(3) + "abcdef")).height, 1);
  EXPECT_TRUE(decodePnm(bytesOf("P1 3 1\n1#c\n01")).pixels ==
              decodePnm(bytesOf("P4 3 1\n\xA0")).pixels);
  EXPECT_EQ(decodePnm(bytesOf("P2 1 1 9 12")).pixels[0], 255);
}

}  // namespace
}  // namespace orvel::codec::pnm
