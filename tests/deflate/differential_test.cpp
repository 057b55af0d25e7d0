// Streams from zlib at every level, strategy and window size decode to their input; cut
// and damaged variants fail exactly as the bit-by-bit reference does; zlib reads back
// everything the encoder writes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <limits>
#include <random>

#include "deflate/deflate.h"
#include "deflate/zlib.h"
#include "deflate/oracle_check.h"
#include "deflate/sample_data.h"
#include "deflate/stream_builder.h"

using namespace orvel::deflate;
using namespace orvel::deflate::testing;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kScale = 8;
#else
constexpr int kScale = 1;
#endif
#else
constexpr int kScale = 1;
#endif

constexpr int64_t kBig = std::numeric_limits<int64_t>::max();

// zlib's deflate with explicit parameters; negative windowBits give a raw stream.
Bytes zlibCompress(const Bytes& data, int level, int strategy, int windowBits) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
  Bytes out(deflateBound(&z, data.size()) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes zlibUncompress(const Bytes& stream, size_t size) {
  Bytes out(size + 1);
  uLongf length = out.size();
  EXPECT_EQ(uncompress(out.data(), &length, stream.data(), stream.size()), Z_OK);
  out.resize(length);
  return out;
}

Bytes mixedSample(size_t size, uint32_t seed) {
  Bytes out = textBytes(size / 3);
  Bytes photo = photoScanlines(64, static_cast<int>(size / 3 / 193) + 1, seed);
  Bytes noise = repetitiveBytes(size - out.size(), seed);
  out.insert(out.end(), photo.begin(), photo.end());
  out.insert(out.end(), noise.begin(), noise.end());
  out.resize(size);
  return out;
}

void expectRoundTrip(const Bytes& data, const Bytes& raw, const Bytes& wrapped) {
  const InflateResult r = inflateWithConsumed(raw, 0, static_cast<int64_t>(data.size()), kBig);
  ASSERT_EQ(r.output, data);
  EXPECT_EQ(r.consumed, static_cast<int64_t>(raw.size()));
  EXPECT_EQ(zlibInflate(wrapped, static_cast<int64_t>(data.size())), data);
  EXPECT_TRUE(zlibIntoAgrees(wrapped, static_cast<int64_t>(data.size())));
}

const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

}  // namespace

TEST(InflateDifferential, EveryLevelStrategyAndWindow) {
  const Bytes data = mixedSample(48 * 1024 / kScale, 3);
  for (int level = 0; level <= 9; ++level) {
    choosePortableInflateLoop(level % 2 == 1);  // the BMI2 loop, where there is one, and the other
    for (int strategy : kStrategies) {
      for (int windowBits = 8; windowBits <= 15; windowBits += kScale == 1 ? 1 : 7) {
        SCOPED_TRACE("level " + std::to_string(level) + " strategy " + std::to_string(strategy) +
                     " window " + std::to_string(windowBits));
        const Bytes raw = zlibCompress(data, level, strategy, -std::max(windowBits, 9));
        expectRoundTrip(data, raw, zlibCompress(data, level, strategy, windowBits));
        if (level % 3 == 0 && windowBits % 7 == 1) {
          EXPECT_TRUE(agreesWithReference(raw, 0, kBig, kBig));
        }
      }
    }
  }
  choosePortableInflateLoop(false);
}

TEST(InflateDifferential, SizesFromNothingToMegabytes) {
  const size_t sizes[] = {
      0, 1, 2, 3, 257, 4096, 65535, 65536, 65537, 300000, (3u << 20) / kScale, (6u << 20) / kScale};
  for (size_t size : sizes) {
    const Bytes samples[] = {randomBytes(size, 1), repetitiveBytes(size, 2), textBytes(size),
                             photoScanlines(512, static_cast<int>(size / 1537), 4)};
    for (const Bytes& data : samples) {
      // Megabyte inputs take three settings; smaller ones the whole grid.
      const bool large = data.size() > 500000;
      for (int level : {1, 6, 9}) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_RLE, Z_HUFFMAN_ONLY}) {
          if (large && strategy != (level == 6   ? Z_DEFAULT_STRATEGY
                                    : level == 1 ? Z_RLE
                                                 : Z_HUFFMAN_ONLY)) {
            continue;
          }
          SCOPED_TRACE("size " + std::to_string(data.size()) + " level " + std::to_string(level));
          expectRoundTrip(data, zlibCompress(data, level, strategy, -15),
                          zlibCompress(data, level, strategy, 15));
        }
      }
    }
  }
}

TEST(InflateDifferential, CutStreamsAreTruncatedAndAgreeWithTheReference) {
  for (int strategy : kStrategies) {
    for (int level : {0, 1, 9}) {
      const Bytes data = mixedSample(3000, static_cast<uint32_t>(level + strategy));
      const Bytes raw = zlibCompress(data, level, strategy, -15);
      for (size_t keep = 0; keep < raw.size(); keep += kScale) {
        const Bytes cut(raw.begin(), raw.begin() + static_cast<long>(keep));
        ASSERT_TRUE(agreesWithReference(cut, 0, kBig, kBig)) << keep;
        try {
          inflateWithConsumed(cut, 0, kBig, kBig);
          ADD_FAILURE() << "a cut stream decoded, kept " << keep;
        } catch (const ZepraException& e) {
          EXPECT_EQ(e.kind(), zekTruncated) << e.what();
        }
      }
    }
  }
}

TEST(InflateDifferential, DamagedStreamsAgreeWithTheReference) {
  std::mt19937 rng(11);
  for (int strategy : kStrategies) {
    const Bytes data = mixedSample(2000, static_cast<uint32_t>(strategy));
    const Bytes raw = zlibCompress(data, 6, strategy, -15);
    for (int variant = 0; variant < 300 / kScale; ++variant) {
      Bytes damaged = raw;
      for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips) {
        damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      }
      const int64_t cap = rng() % 2 ? kBig : static_cast<int64_t>(rng() % 2500);
      const int64_t budget = rng() % 2 ? kBig : static_cast<int64_t>(rng() % 40000);
      ASSERT_TRUE(agreesWithReference(damaged, 0, cap, budget)) << variant;
    }
  }
}

TEST(InflateDifferential, CapsAndBudgetsAcrossAWholeStream) {
  const Bytes data = mixedSample(1500, 5);
  for (int strategy : kStrategies) {
    const Bytes raw = zlibCompress(data, 9, strategy, -15);
    const auto size = static_cast<int64_t>(data.size());
    EXPECT_EQ(inflateWithConsumed(raw, 0, size, kBig).output, data);
    EXPECT_THROW(inflateWithConsumed(raw, 0, size - 1, kBig), ZepraException);
    for (int64_t cap = 0; cap <= size + 1; cap += kScale * 7) {
      ASSERT_TRUE(agreesWithReference(raw, 0, cap, kBig));
    }
    for (int64_t budget = 0; budget < 30000; budget += kScale * 97) {
      ASSERT_TRUE(agreesWithReference(raw, 0, kBig, budget));
    }
  }
}

TEST(ZlibInflateInto, MatchesZlibInflateWholeCutDamagedAndAtCapsNearTheSize) {
  std::mt19937 rng(23);
  for (int strategy : kStrategies) {
    for (int level : {0, 1, 6, 9}) {
      Bytes data = mixedSample(2500, static_cast<uint32_t>(level * 7 + strategy));
      data.insert(data.end(), data.begin() + 1000, data.begin() + 1037);  // ends with a match
      const Bytes stream = zlibCompress(data, level, strategy, 15);
      const auto size = static_cast<int64_t>(data.size());
      // Bytes after the trailer (a PNG's next chunk) let the fast loop run to the end.
      Bytes padded = stream;
      padded.resize(stream.size() + 64, 0xEE);
      for (int64_t cap = 0; cap <= size + 300; cap += cap < size - 300 ? 97 : 1) {
        ASSERT_TRUE(zlibIntoAgrees(stream, cap));
        ASSERT_TRUE(zlibIntoAgrees(padded, cap));
      }
      for (size_t keep = 0; keep < stream.size(); keep += kScale) {
        ASSERT_TRUE(zlibIntoAgrees(Bytes(stream.begin(), stream.begin() + keep), size));
      }
      for (int variant = 0; variant < 100 / kScale; ++variant) {
        Bytes damaged = stream;
        damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        ASSERT_TRUE(zlibIntoAgrees(damaged, rng() % 2 ? size : size + 40));
      }
    }
  }
  for (const Bytes& header : {Bytes{}, Bytes{0x78}, Bytes{0x79, 0x9C}, Bytes{0x88, 0x1C},
                              Bytes{0x78, 0x9D}, Bytes{0x78, 0xBB}}) {
    ASSERT_TRUE(zlibIntoAgrees(header, 10));
  }
}

TEST(DeflateDifferential, ZlibReadsWhatWeWrite) {
  const size_t sizes[] = {0, 1, 3, 100, 70000, (2u << 20) / kScale};
  for (size_t size : sizes) {
    for (const Bytes& data : {randomBytes(size, 9), repetitiveBytes(size, 10), textBytes(size),
                              photoScanlines(300, static_cast<int>(size / 901), 12)}) {
      const Bytes stream = zlibDeflate(data);
      EXPECT_EQ(zlibUncompress(stream, data.size()), data);
      EXPECT_EQ(zlibInflate(stream, static_cast<int64_t>(data.size())), data);
    }
  }
}
