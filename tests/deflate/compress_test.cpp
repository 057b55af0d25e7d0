// The encoder's exact output: hand-worked token sequences (read back by a small fixed-block
// parser), the framing bytes, the match-finder's limits, and byte identity with the literal
// encoder kept as the oracle over varied inputs.
#include <gtest/gtest.h>

#include <string>

#include "deflate/deflate.h"
#include "deflate/reference_compress.h"
#include "deflate/zlib.h"
#include "deflate/sample_data.h"
#include "deflate/stream_builder.h"

using namespace orvel::deflate;
using namespace orvel::deflate::testing;

namespace {

struct Token {
  int literal = -1;  // or a match:
  int length = 0;
  int distance = 0;
  bool operator==(const Token&) const = default;
};

Token lit(char c) { return {static_cast<uint8_t>(c), 0, 0}; }
Token match(int length, int distance) { return {-1, length, distance}; }

const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

// Reads the tokens of one final fixed-Huffman block, checking the block header.
std::vector<Token> tokensOf(const Bytes& stream) {
  size_t bit = 0;
  auto read = [&](int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++bit) value |= ((stream.at(bit / 8) >> (bit % 8)) & 1u) << i;
    return value;
  };
  auto readMsb = [&](int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 1 | read(1);
    return value;
  };
  EXPECT_EQ(read(3), 3u);  // BFINAL 1, BTYPE 1
  std::vector<Token> tokens;
  while (true) {
    uint32_t code = readMsb(7);
    int symbol;
    if (code <= 0x17) {
      symbol = 256 + static_cast<int>(code);
    } else {
      code = code << 1 | read(1);
      if (code >= 0x30 && code <= 0xBF) {
        symbol = static_cast<int>(code) - 0x30;
      } else if (code >= 0xC0 && code <= 0xC7) {
        symbol = 280 + static_cast<int>(code) - 0xC0;
      } else {
        symbol = 144 + static_cast<int>((code << 1 | read(1)) - 0x190);
      }
    }
    if (symbol < 256) {
      tokens.push_back({symbol, 0, 0});
      continue;
    }
    if (symbol == 256) break;
    const int index = symbol - 257;
    const int lengthExtra = index >= 8 && index < 28 ? (index - 4) / 4 : 0;
    const int length = kLengthBase[index] + static_cast<int>(read(lengthExtra));
    const int dcode = static_cast<int>(readMsb(5));
    const int distanceExtra = dcode >= 4 ? dcode / 2 - 1 : 0;
    tokens.push_back(match(length, kDistanceBase[dcode] + static_cast<int>(read(distanceExtra))));
  }
  EXPECT_EQ((bit + 7) / 8, stream.size());  // only zero padding follows
  return tokens;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(Compress, EmptyInputAndItsFraming) {
  EXPECT_EQ(compress({}), (Bytes{0x03, 0x00}));
  EXPECT_EQ(zlibDeflate({}), (Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
}

TEST(Compress, EqualBytesBecomeOneLiteralAndDistanceOneMatches) {
  const Bytes stream = compress(Bytes(1000, 'a'));
  EXPECT_EQ(tokensOf(stream), (std::vector<Token>{lit('a'), match(258, 1), match(258, 1),
                                                  match(258, 1), match(225, 1)}));
  // The same stream written by hand, bit for bit.
  StreamWriter w;
  const auto literal = fixedLiteralCodes();
  const auto distance = fixedDistanceCodes();
  w.bits(1, 1).bits(1, 2).code(literal['a']);
  for (int length : {258, 258, 258, 225}) writeMatch(w, literal, distance, length, 1);
  w.code(literal[256]);
  EXPECT_EQ(stream, w.finish());
}

TEST(Compress, ShortTextsHandWorked) {
  EXPECT_EQ(tokensOf(compress(text("abcabcabcabc"))),
            (std::vector<Token>{lit('a'), lit('b'), lit('c'), match(9, 3)}));
  // The nearest of two equally long candidates is found first and kept.
  EXPECT_EQ(tokensOf(compress(text("abcdXabcdYabcd"))),
            (std::vector<Token>{lit('a'), lit('b'), lit('c'), lit('d'), lit('X'), match(4, 5),
                                lit('Y'), match(4, 5)}));
  // Byte i is not hashed: a candidate with another first byte is skipped, one byte later
  // the same candidate run matches.
  EXPECT_EQ(tokensOf(compress(text("Xbcd Ybcd"))),
            (std::vector<Token>{lit('X'), lit('b'), lit('c'), lit('d'), lit(' '), lit('Y'),
                                match(3, 5)}));
  // Two-byte tails are never matched; bytes above 143 take nine-bit codes.
  EXPECT_EQ(tokensOf(compress(Bytes{0xF0, 0xF1, 0xF0, 0xF1})),
            (std::vector<Token>{{0xF0, 0, 0}, {0xF1, 0, 0}, {0xF0, 0, 0}, {0xF1, 0, 0}}));
}

TEST(Compress, WindowEndsAt32768) {
  for (int gap : {32768, 32769}) {
    Bytes data = randomBytes(static_cast<size_t>(gap) + 8, 5);
    const Bytes marker = text("QRSTUV");
    std::copy(marker.begin(), marker.end(), data.begin());
    std::copy(marker.begin(), marker.end(), data.begin() + gap);
    const auto tokens = tokensOf(compress(data));
    const bool found = std::find(tokens.begin(), tokens.end(), match(6, 32768)) != tokens.end();
    EXPECT_EQ(found, gap == 32768);
    EXPECT_EQ(zlibInflate(zlibDeflate(data), 1 << 20), data);
  }
}

TEST(Compress, AtMost64CandidatesAreExamined) {
  // The oldest "Pab" continues as the final one does; 64 newer ones do not, so the long
  // match lies beyond the candidate limit.
  for (int newer : {63, 64}) {
    Bytes data = text("Pabcdefgh!");
    for (int k = 0; k < newer; ++k) {
      data.insert(data.end(),
                  {'P', 'a', 'b', static_cast<uint8_t>(0x80 + k), static_cast<uint8_t>(0xC0 + k)});
    }
    const Bytes tail = text("Pabcdefgh");
    data.insert(data.end(), tail.begin(), tail.end());
    const auto tokens = tokensOf(compress(data));
    ASSERT_GE(tokens.size(), 2u);
    const int distanceToOldest = static_cast<int>(data.size() - tail.size());
    if (newer == 63) {
      EXPECT_EQ(tokens.back(), match(9, distanceToOldest));
    } else {
      EXPECT_EQ(tokens[tokens.size() - 2], match(3, 5));
      EXPECT_EQ(tokens.back(), match(6, distanceToOldest));
    }
  }
}

TEST(Compress, OutputIsFixedAndStable) {
  // Same input, same bytes; and the encoder never writes more than the reserved bound.
  for (const Bytes& data :
       {randomBytes(100000, 1), textBytes(100000), repetitiveBytes(100000, 2)}) {
    const Bytes once = compress(data);
    EXPECT_EQ(once, compress(data));
    EXPECT_LE(once.size(), data.size() + data.size() / 8 + 16);
  }
}

namespace {

// Bytes i+1 and i+2 from a tiny alphabet (with and without the top bit of the first, which
// the chains ignore) and byte i varied: crowded chains whose candidates mostly differ in the
// bytes the chains do not key on.
Bytes crowdedChains(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) {
    const uint32_t r = rng();
    const uint32_t pair = 0x41 + (r & 1) * 0x80 + (r >> 8) % 2;
    out[i] = static_cast<uint8_t>(i % 3 == 0 ? r % 40 : pair);
  }
  return out;
}

// Random bytes with copies of earlier stretches placed around the window's edge.
Bytes windowEdges(uint32_t seed) {
  Bytes out = randomBytes(100000, seed);
  for (size_t distance : {32766u, 32767u, 32768u, 32769u, 40000u}) {
    std::copy_n(out.begin() + 1000, 300, out.begin() + 1000 + static_cast<long>(distance));
  }
  return out;
}

Bytes unfilteredPhoto(int width, int height, int channels, uint32_t seed) {
  const Bytes pixels = photoPixels(width, height, channels, seed);
  Bytes rows;
  const size_t stride = static_cast<size_t>(width) * channels;
  for (int y = 0; y < height; ++y) {
    rows.push_back(0);
    rows.insert(rows.end(), pixels.begin() + y * stride, pixels.begin() + (y + 1) * stride);
  }
  return rows;
}

}  // namespace

TEST(Compress, MatchesTheLiteralEncoderByteForByte) {
  std::vector<Bytes> inputs = {randomBytes(70000, 1), textBytes(200000),
                               repetitiveBytes(150000, 2), crowdedChains(60000, 3),
                               crowdedChains(5000, 4), windowEdges(5),
                               unfilteredPhoto(257, 130, 3, 6), unfilteredPhoto(160, 90, 4, 7),
                               photoScanlines(300, 150, 8), Bytes(70000, 'x')};
  // Runs of lengths around one and two whole matches, and matches that reach the end.
  for (size_t run : {257u, 258u, 259u, 260u, 516u, 517u}) {
    Bytes data = text("head");
    data.insert(data.end(), run, 'r');
    inputs.push_back(data);
    data.insert(data.end(), data.begin(), data.begin() + 7);
    inputs.push_back(data);
  }
  const Bytes abc = text("abcabcabcabcabcabcabcabc");
  for (size_t size = 0; size <= abc.size(); ++size) {
    inputs.push_back(randomBytes(size, static_cast<uint32_t>(size)));
    inputs.push_back(Bytes(size, 7));
    inputs.push_back(Bytes(abc.begin(), abc.begin() + static_cast<long>(size)));
  }
  for (const Bytes& data : inputs) {
    ASSERT_EQ(compress(data), reference::compress(data)) << data.size() << " bytes";
  }
  // Every prefix of a crowded stretch ends somewhere new.
  const Bytes crowded = crowdedChains(400, 9);
  for (size_t size = 0; size <= crowded.size(); ++size) {
    const std::span<const uint8_t> prefix(crowded.data(), size);
    ASSERT_EQ(compress(prefix), reference::compress(prefix)) << size;
  }
}
