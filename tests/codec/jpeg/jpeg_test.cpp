// The fast JPEG codec against the literal one in jpeg_reference.h (bit for bit, with both
// kernel sets) and against libjpeg-turbo's cjpeg and djpeg on photo-like images.
#include "codec/jpeg/jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "codec/jpeg/jpeg_reference.h"
#include "codec/jpeg/kernels.h"
#include "codec/raster_reference.h"
#include "support/temp_dir.h"

namespace orvel::codec::jpeg {
namespace {

using orvel::testing::Bytes;
namespace ref = orvel::testing::jpegref;

// Smooth gradients, an edge and noise: what a small photo looks like to a codec.
image::Image photo(int64_t width, int64_t height, int channels, unsigned seed) {
  image::Image img = image::newImage(width, height, channels == 1 ? image::csGray : image::csRgb);
  std::mt19937 rng(seed);
  for (int64_t i = 0; i < width * height * channels; ++i) {
    const int64_t x = i / channels % width, y = i / channels / width, c = i % channels;
    const int edge = x > width / 2 ? 60 : 0;
    img.pixels.data()[i] = static_cast<uint8_t>(
        std::clamp<int64_t>((x * (3 + c) + y * (5 - c)) % 200 + edge + int(rng() % 9) - 4, 0, 255));
  }
  return img;
}

// The outcome of a decode as text: the failure, or the pixels' size and a digest.
template <class Decode>
std::string outcome(Decode decode) {
  try {
    const image::Image img = decode();
    uint64_t hash = 1469598103934665603u;
    for (std::size_t i = 0; i < img.pixels.size(); ++i)
      hash = (hash ^ img.pixels.data()[i]) * 1099511628211u;
    return "ok " + std::to_string(img.width) + "x" + std::to_string(img.height) + " " +
           std::to_string(img.channels) + " " + std::to_string(hash);
  } catch (const image::OrvelException& e) {
    return "fail " + std::to_string(e.kind()) + " " + e.what();
  }
}

// Fast decoding with each kernel set gives the oracle's outcome; false when the oracle declines.
bool expectAsOracle(const Bytes& file, const std::string& what) {
  std::string expected;
  try {
    expected = outcome([&] { return ref::decode(file); });
  } catch (const ref::TooLarge&) {
    return false;
  }
  for (bool portable : {false, true}) {
    choosePortableJpeg(portable);
    EXPECT_EQ(outcome([&] { return decodeJpeg(file); }), expected)
        << what << " portable " << portable;
  }
  choosePortableJpeg(false);
  return true;
}

Bytes runTool(const orvel::testing::TempDir& dir, const std::string& command, const Bytes& input) {
  const std::string in = dir.file("in", input), out = (dir.path() / "out").string();
  EXPECT_EQ(std::system((command + " -outfile " + out + " " + in).c_str()), 0) << command;
  return orvel::testing::readBytes(out);
}

Bytes netpbm(const image::Image& img) {
  const std::string head = (img.channels == 1 ? "P5\n" : "P6\n") + std::to_string(img.width) + " " +
                           std::to_string(img.height) + "\n255\n";
  Bytes out(head.begin(), head.end());
  out.insert(out.end(), img.pixels.data(), img.pixels.data() + img.pixels.size());
  return out;
}

struct CjpegCase {
  int width, height, channels;
  const char* options;
};

TEST(JpegDecode, CjpegFilesDecodeAsTheOracleAndCloseToDjpeg) {
  const CjpegCase cases[] = {
      {67, 45, 3, "-sample 1x1"},
      {67, 45, 3, "-sample 2x1"},
      {67, 45, 3, "-sample 2x2"},
      {67, 45, 3, "-sample 1x2"},
      {67, 45, 3, "-sample 4x1"},
      {67, 45, 3, "-sample 2x2 -restart 1B"},
      {67, 45, 3, "-sample 1x1 -restart 3B"},
      {131, 9, 3, "-sample 2x2 -restart 1"},
      {67, 45, 1, "-grayscale"},
      {67, 45, 1, "-grayscale -restart 2B"},
      {1, 1, 3, "-sample 2x2"},
      {17, 33, 1, "-grayscale -sample 2x2"},
  };
  orvel::testing::TempDir dir;
  for (int quality : {10, 50, 90, 100}) {
    for (const CjpegCase& c : cases) {
      const image::Image source = photo(c.width, c.height, c.channels, quality);
      const std::string what = std::string(c.options) + " q" + std::to_string(quality);
      const Bytes file =
          runTool(dir, "cjpeg -baseline -quality " + std::to_string(quality) + " " + c.options,
                  netpbm(source));
      expectAsOracle(file, what);
      const Bytes theirs = runTool(dir, "djpeg -dct float -nosmooth -pnm", file);
      const image::Image ours = decodeJpeg(file);
      ASSERT_GT(theirs.size(), ours.pixels.size()) << what;  // the netpbm header, then pixels
      const uint8_t* tail = theirs.data() + theirs.size() - ours.pixels.size();
      double total = 0;
      for (std::size_t i = 0; i < ours.pixels.size(); ++i)
        total += std::abs(tail[i] - ours.pixels.data()[i]);
      EXPECT_LE(total / static_cast<double>(ours.pixels.size()), 1.0) << what;
    }
  }
}

TEST(JpegDecode, RandomCoefficientBlocksTransformAsTheOracle) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 3000; ++trial) {
    alignas(32) float coefficients[64] = {};
    unsigned rows = 0, acRows = 0;
    const int density = trial % 8;
    for (int k = 0; k < 64; ++k) {
      if (k != 0 && static_cast<int>(rng() % 8) >= density) continue;
      coefficients[k] = static_cast<float>(static_cast<int>(rng() % 4001) - 2000) *
                        static_cast<float>(1 + rng() % 99);
      if (coefficients[k] == 0) continue;
      rows |= 1u << (k / 8);
      if (k % 8 != 0) acRows |= 1u << (k / 8);
    }
    float expected[64];
    ref::idct(coefficients, expected);
    for (bool portable : {false, true}) {
      choosePortableJpeg(portable);
      float out[64];
      jpegKernels().inverseTransform(coefficients, rows, acRows, out, 8, cosineTable());
      for (int i = 0; i < 64; ++i)
        ASSERT_EQ(out[i], expected[i]) << "trial " << trial << " at " << i;
    }
  }
  choosePortableJpeg(false);
}

// A file of chosen tables and scan bytes: 8-bit quantisers of 1, every component sharing the
// Huffman tables 0, DC and AC given as DHT payloads.
Bytes handMade(int width, int height, int components, uint8_t sampling, const Bytes& dht,
               const Bytes& scan, int restartInterval = 0) {
  Bytes f = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  f.insert(f.end(), 64, 1);
  f.insert(f.end(), {0xFF, 0xC0, 0, static_cast<uint8_t>(8 + 3 * components), 8,
                     static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                     static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                     static_cast<uint8_t>(components)});
  for (int c = 0; c < components; ++c)
    f.insert(f.end(), {static_cast<uint8_t>(c + 1), c == 0 ? sampling : uint8_t{0x11}, 0});
  f.insert(f.end(), {0xFF, 0xC4, static_cast<uint8_t>((dht.size() + 2) >> 8),
                     static_cast<uint8_t>(dht.size() + 2)});
  f.insert(f.end(), dht.begin(), dht.end());
  if (restartInterval != 0)
    f.insert(f.end(), {0xFF, 0xDD, 0, 4, 0, static_cast<uint8_t>(restartInterval)});
  f.insert(f.end(), {0xFF, 0xDA, 0, static_cast<uint8_t>(6 + 2 * components),
                     static_cast<uint8_t>(components)});
  for (int c = 0; c < components; ++c) f.insert(f.end(), {static_cast<uint8_t>(c + 1), 0x00});
  f.insert(f.end(), {0, 63, 0});
  f.insert(f.end(), scan.begin(), scan.end());
  return f;
}

// One DHT table: class, the 16 counts, then as many symbols as they add up to.
Bytes table(int tableClass, std::array<uint8_t, 16> counts, const Bytes& symbols) {
  Bytes t = {static_cast<uint8_t>(tableClass << 4)};
  t.insert(t.end(), counts.begin(), counts.end());
  t.insert(t.end(), symbols.begin(), symbols.end());
  return t;
}

TEST(JpegDecode, HostileFilesFailOrDecodeAsTheOracle) {
  std::mt19937 rng(11);
  auto randomBytes = [&](int n) {
    Bytes b(n);
    for (uint8_t& x : b) x = static_cast<uint8_t>(rng() % 5 == 0 ? 0xFF : rng());
    return b;
  };
  // Over-subscribed, incomplete and long code counts: every symbol a DC category or run/size.
  const std::array<uint8_t, 16> counts[] = {{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                                            {3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                            {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9},
                                            {1, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                            {0, 5, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                            {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  int compared = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const auto& dcCounts = counts[trial % 6];
    const auto& acCounts = counts[(trial / 6) % 6];
    Bytes dc, ac;
    for (int i = 0, total = 0; i < 16; ++i) total += dcCounts[i], dc.resize(total);
    for (uint8_t& s : dc) s = static_cast<uint8_t>(rng() % (trial % 3 == 0 ? 20 : 12));
    for (int i = 0, total = 0; i < 16; ++i) total += acCounts[i], ac.resize(total);
    for (uint8_t& s : ac)
      s = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng() % 3 == 0 ? 0xF0 : rng());
    Bytes dht = table(0, dcCounts, dc);
    const Bytes acTable = table(1, acCounts, ac);
    dht.insert(dht.end(), acTable.begin(), acTable.end());
    const int components = trial % 2 == 0 ? 3 : 1;
    const uint8_t sampling = std::array<uint8_t, 4>{0x11, 0x22, 0x21, 0x12}[trial % 4];
    Bytes scan = randomBytes(20 + trial % 200);
    // Restart markers at chosen places of the scan, sometimes in every position.
    Bytes marked;
    for (uint8_t byte : scan) {
      if (marked.empty() || marked.back() != 0xFF) {
        if (rng() % (trial % 5 == 0 ? 1 : 30) == 0)
          marked.insert(marked.end(), {0xFF, static_cast<uint8_t>(0xD0 + rng() % 8)});
      }
      marked.push_back(byte);
    }
    scan = marked;
    for (std::size_t at = 0; at + 1 < scan.size(); ++at) {
      if (scan[at] == 0xFF && (scan[at + 1] < 0xD0 || scan[at + 1] > 0xD7))
        scan[at + 1] = rng() % 50 == 0 ? 0xD9 : 0;
    }
    Bytes file =
        handMade(1 + rng() % 40, 1 + rng() % 40, components, sampling, dht, scan, trial % 3);
    // Now and then a damaged header or a cut-off file.
    if (trial % 4 == 3) file[rng() % 100] = static_cast<uint8_t>(rng());
    if (trial % 7 == 6) file.resize(rng() % file.size());
    compared += expectAsOracle(file, "trial " + std::to_string(trial));
  }
  EXPECT_GT(compared, 550);
}

TEST(JpegDecode, CutAndDamagedCjpegFilesAsTheOracle) {
  orvel::testing::TempDir dir;
  const Bytes file =
      runTool(dir, "cjpeg -quality 80 -sample 2x2 -restart 1B", netpbm(photo(40, 24, 3, 3)));
  for (std::size_t length = 0; length <= file.size(); length += 1 + length / 16) {
    expectAsOracle(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)),
                   "cut " + std::to_string(length));
  }
  std::mt19937 rng(5);
  for (int trial = 0; trial < 300; ++trial) {
    Bytes damaged = file;
    for (int i = 0; i < 1 + trial % 3; ++i)
      damaged[rng() % damaged.size()] = static_cast<uint8_t>(rng());
    expectAsOracle(damaged, "damage " + std::to_string(trial));
  }
}

TEST(JpegEncode, ByteIdenticalToTheOracle) {
  for (const auto& [width, height] : {std::pair{1, 1}, {9, 3}, {67, 45}, {16, 8}}) {
    for (int channels : {1, 3}) {
      const image::Image img = photo(width, height, channels, static_cast<unsigned>(width));
      for (int quality : {1, 10, 49, 50, 75, 90, 100}) {
        const Bytes expected = ref::encode(img, quality);
        for (bool portable : {false, true}) {
          choosePortableJpeg(portable);
          EXPECT_EQ(encodeJpeg(img, quality), expected)
              << width << "x" << height << " q" << quality;
        }
        choosePortableJpeg(false);
      }
    }
  }
  orvel::testing::expectFailure([] { encodeJpeg(image::newImage(2, 2, image::csRgba), 90); },
                                "jpeg: encode needs csGray or csRgb", image::iekUnsupported);
  orvel::testing::expectFailure([] { encodeJpeg(image::newImage(65536, 1, image::csGray), 90); },
                                "jpeg: bad dimensions", image::iekInvalid);
}

}  // namespace
}  // namespace orvel::codec::jpeg
