// The decoder on hand-made streams: every block type, every tree check and message, the
// cap, the budget and the consumed count; each case is also checked against the reference.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "deflate/deflate.h"
#include "deflate/oracle_check.h"
#include "deflate/stream_builder.h"

using namespace orvel::deflate;
using namespace orvel::deflate::testing;

namespace {

constexpr int64_t kBig = std::numeric_limits<int64_t>::max();

struct Failed {
  std::string message;
  int kind = -1;
};

Failed failureOf(const Bytes& stream, int64_t cap = 1 << 20, int64_t budget = kBig) {
  EXPECT_TRUE(agreesWithReference(stream, 0, cap, budget));
  try {
    inflateWithConsumed(stream, 0, cap, budget);
  } catch (const ZepraException& e) {
    return {e.what(), e.kind()};
  }
  ADD_FAILURE() << "stream decoded";
  return {};
}

Bytes decoded(const Bytes& stream, int64_t cap = 1 << 20) {
  EXPECT_TRUE(agreesWithReference(stream, 0, cap, kBig));
  return inflateWithConsumed(stream, 0, cap, kBig).output;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A fixed block: literals of `prefix`, then one match, then end of block.
Bytes fixedWithMatch(const std::string& prefix, int length, int distance) {
  StreamWriter w;
  const auto lit = fixedLiteralCodes();
  w.bits(1, 1).bits(1, 2);
  for (char c : prefix) w.code(lit[static_cast<uint8_t>(c)]);
  writeMatch(w, lit, fixedDistanceCodes(), length, distance);
  w.code(lit[256]);
  return w.finish();
}

// Literal lengths giving every byte value and 256..285 a code: 0-255 nine bits except
// 0-31 eight bits, 256-285 nine bits... built as a complete code of 286 symbols.
std::vector<int> completeLiteralLengths(int symbols = 286) {
  // 2^9 = 512 slots at nine bits; use eight bits for enough symbols to make it complete.
  std::vector<int> lengths(symbols, 9);
  int eights = 512 - symbols;  // each 8-bit code frees one 9-bit slot
  for (int s = 0; s < eights; ++s) lengths[s] = 8;
  return lengths;
}

}  // namespace

TEST(InflateStored, BlocksCopyVerbatimAndEmptyOnesAddNothing) {
  StreamWriter w;
  storedBlock(w, false, {});
  storedBlock(w, false, text("hello "));
  storedBlock(w, true, text("world"));
  Bytes stream = w.finish();
  EXPECT_EQ(decoded(stream), text("hello world"));
  const InflateResult r = inflateWithConsumed(stream, 0, 100, kBig);
  EXPECT_EQ(r.consumed, static_cast<int64_t>(stream.size()));
}

TEST(InflateStored, HeaderAndBodyFailures) {
  Bytes mismatch = {0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5};
  Failed f = failureOf(mismatch);
  EXPECT_EQ(f.message, "deflate: stored LEN/NLEN mismatch");
  EXPECT_EQ(f.kind, zekCorrupt);
  f = failureOf({0x01, 0x05, 0x00, 0xFA});
  EXPECT_EQ(f.message, "deflate: stored header truncated");
  EXPECT_EQ(f.kind, zekTruncated);
  f = failureOf({0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2, 3, 4});
  EXPECT_EQ(f.message, "deflate: stored block truncated");
  EXPECT_EQ(f.kind, zekTruncated);
  f = failureOf({0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2, 3, 4, 5}, 4);
  EXPECT_EQ(f.message, "deflate: output exceeds the size cap");
  EXPECT_EQ(f.kind, zekLimit);
  // The three header bits cost 3 units, the stored bytes 5 more.
  f = failureOf({0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2, 3, 4, 5}, 100, 7);
  EXPECT_EQ(f.message, "deflate: decode work exceeds the budget");
  EXPECT_EQ(f.kind, zekLimit);
  EXPECT_TRUE(agreesWithReference(Bytes{0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2, 3, 4, 5}, 0, 100, 8));
}

TEST(InflateBlocks, ReservedTypeAndEmptyInput) {
  Failed f = failureOf({0x07});
  EXPECT_EQ(f.message, "deflate: reserved BTYPE 3");
  EXPECT_EQ(f.kind, zekCorrupt);
  f = failureOf({});
  EXPECT_EQ(f.message, "deflate: stream truncated");
  EXPECT_EQ(f.kind, zekTruncated);
  f = failureOf({0x03, 0x00}, 10, 2);  // the third header bit is over budget
  EXPECT_EQ(f.message, "deflate: decode work exceeds the budget");
}

TEST(InflateFixed, LiteralsAndOverlappingMatches) {
  EXPECT_EQ(decoded(fixedWithMatch("ab", 7, 2)), text("ababababa"));
  EXPECT_EQ(decoded(fixedWithMatch("x", 258, 1)), Bytes(259, 'x'));
  EXPECT_EQ(decoded(fixedWithMatch("abcdefghijklmnopq", 40, 17)).size(), 57u);
  const Bytes three = decoded(fixedWithMatch("abc", 3, 3));
  EXPECT_EQ(three, text("abcabc"));
}

TEST(InflateFixed, BadSymbolsAndDistances) {
  Failed f = failureOf(fixedWithMatch("ab", 3, 3));
  EXPECT_EQ(f.message, "deflate: distance too far back");
  EXPECT_EQ(f.kind, zekCorrupt);
  const auto lit = fixedLiteralCodes();
  const auto dist = fixedDistanceCodes();
  for (int symbol : {286, 287}) {
    StreamWriter w;
    w.bits(1, 1).bits(1, 2).code(lit['a']).code(lit[symbol]).bits(0, 16);
    f = failureOf(w.finish());
    EXPECT_EQ(f.message, "deflate: bad length code");
    EXPECT_EQ(f.kind, zekCorrupt);
  }
  for (int symbol : {30, 31}) {
    StreamWriter w;
    w.bits(1, 1).bits(1, 2).code(lit['a']).code(lit[257]).code(dist[symbol]).bits(0, 16);
    f = failureOf(w.finish());
    EXPECT_EQ(f.message, "deflate: bad distance code");
    EXPECT_EQ(f.kind, zekCorrupt);
  }
}

TEST(InflateCap, ExactlyAtTheCapPassesOneMoreFails) {
  for (const Bytes& stream : {fixedWithMatch("abc", 100, 3), fixedWithMatch("abcdefgh", 258, 8)}) {
    const int64_t size = static_cast<int64_t>(decoded(stream).size());
    EXPECT_EQ(inflateWithConsumed(stream, 0, size, kBig).output.size(), static_cast<size_t>(size));
    Failed f = failureOf(stream, size - 1);
    EXPECT_EQ(f.message, "deflate: output exceeds the size cap");
    EXPECT_EQ(f.kind, zekLimit);
    for (int64_t cap = -1; cap <= size + 1; ++cap) {
      EXPECT_TRUE(agreesWithReference(stream, 0, cap, kBig));
    }
  }
}

TEST(InflateBudget, EveryBudgetBehavesLikeTheReference) {
  const Bytes stream = fixedWithMatch("hello, hello", 30, 7);
  int64_t needed = -1;
  for (int64_t budget = 0; budget < 400; ++budget) {
    EXPECT_TRUE(agreesWithReference(stream, 0, 1000, budget));
    if (needed < 0 && reference::inflate(stream, 0, 1000, budget).ok) needed = budget;
  }
  ASSERT_GT(needed, 0);
  // Bits read plus bytes written: 3 header + 12 literals + match + end code.
  EXPECT_NO_THROW(inflateWithConsumed(stream, 0, 1000, needed));
  EXPECT_EQ(failureOf(stream, 1000, needed - 1).message, "deflate: decode work exceeds the budget");
}

TEST(InflateConsumed, StopsAfterTheFinalBlockAndHonoursTheStart) {
  Bytes stream = fixedWithMatch("abc", 10, 3);
  const int64_t length = static_cast<int64_t>(stream.size());
  Bytes padded = {0xAA, 0xBB};
  padded.insert(padded.end(), stream.begin(), stream.end());
  padded.insert(padded.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  const InflateResult r = inflateWithConsumed(padded, 2, 1000, kBig);
  EXPECT_EQ(r.output, text("abcabcabcabca"));
  EXPECT_EQ(r.consumed, 2 + length);
  EXPECT_TRUE(agreesWithReference(padded, 2, 1000, kBig));
  EXPECT_THROW(inflateWithConsumed(padded, -1, 1000, kBig), std::out_of_range);
  Failed f = failureOf(Bytes{});
  EXPECT_EQ(f.kind, zekTruncated);
  try {
    inflateWithConsumed(stream, length + 5, 1000, kBig);
    ADD_FAILURE();
  } catch (const ZepraException& e) {
    EXPECT_STREQ(e.what(), "deflate: stream truncated");
  }
}

TEST(InflateDynamic, RepeatsMayCrossIntoTheDistanceLengths) {
  // 257 literal lengths: 0 for all but 'a' (1) and 256 (1); then distance lengths 1, 1.
  // The zero runs use 18 and 17; the last literal length 1 is repeated by 16 into the
  // distance lengths.
  std::vector<int> cl = fullCodeLengthLengths();
  const auto clCodes = canonicalCodes(cl);
  StreamWriter w;
  w.bits(1, 1).bits(2, 2).bits(0, 5).bits(1, 5).bits(15, 4);
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (int i : order) w.bits(static_cast<uint32_t>(cl[i]), 3);
  w.code(clCodes[18]).bits(97 - 11, 7);  // 97 zeros
  w.code(clCodes[1]);                    // 'a'
  w.code(clCodes[18]).bits(127, 7);      // 138 zeros: symbols 98..235
  w.code(clCodes[17]).bits(7, 3);        // 10 zeros: 236..245
  w.code(clCodes[17]).bits(7, 3);        // 10 zeros: 246..255
  w.code(clCodes[1]);                    // 256
  w.code(clCodes[16]).bits(0, 2);        // three more 1s: one past 256? no: into distances
  Bytes broken = w.finish();
  Failed f = failureOf(broken);
  EXPECT_EQ(f.message, "deflate: code 16 overruns");  // 257 + 2 = 259 lengths, 3 would overrun
  // A zero run of 18 that crosses from the literal into the distance lengths.
  StreamWriter ok;
  ok.bits(1, 1).bits(2, 2).bits(29, 5).bits(3, 5).bits(15, 4);  // HLIT 286, HDIST 4
  for (int i : order) ok.bits(static_cast<uint32_t>(cl[i]), 3);
  ok.code(clCodes[18]).bits(97 - 11, 7).code(clCodes[1]);                // 'a': 1
  ok.code(clCodes[18]).bits(127, 7).code(clCodes[18]).bits(20 - 11, 7);  // 98..255
  ok.code(clCodes[2]).code(clCodes[2]);                                  // 256, 257: 2
  ok.code(clCodes[18]).bits(30 - 11, 7);  // 258..285 and distances 0, 1
  ok.code(clCodes[1]).code(clCodes[1]);   // distances 2 and 3
  std::vector<int> lit(286, 0);
  lit['a'] = 1;
  lit[256] = 2;
  lit[257] = 2;
  const auto litCodes = canonicalCodes(lit);
  const auto distCodes = canonicalCodes({0, 0, 1, 1});
  ok.code(litCodes['a']).code(litCodes['a']).code(litCodes['a']);
  ok.code(litCodes[257]).code(distCodes[2]);  // length 3, distance 3
  ok.code(litCodes[257]).code(distCodes[3]);  // length 3, distance 4
  ok.code(litCodes[256]);
  EXPECT_EQ(decoded(ok.finish()), Bytes(9, 'a'));
}

TEST(InflateDynamic, CodeLengthSequenceFailures) {
  const std::vector<int> cl = fullCodeLengthLengths();
  const auto clCodes = canonicalCodes(cl);
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  auto start = [&](StreamWriter& w) {
    w.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(15, 4);
    for (int i : order) w.bits(static_cast<uint32_t>(cl[i]), 3);
  };
  StreamWriter w16;
  start(w16);
  w16.code(clCodes[16]).bits(0, 16);
  EXPECT_EQ(failureOf(w16.finish()).message, "deflate: code 16 at start");
  StreamWriter w17;
  start(w17);
  w17.code(clCodes[18]).bits(127, 7).code(clCodes[18]).bits(127, 7);  // 276 of 258
  EXPECT_EQ(failureOf(w17.finish()).message, "deflate: code 18 overruns");
  StreamWriter w18;
  start(w18);
  w18.code(clCodes[18]).bits(127, 7).code(clCodes[18]).bits(106, 7);  // 138 + 117 = 255
  w18.code(clCodes[17]).bits(0, 3);                                   // 258: fits exactly
  EXPECT_EQ(failureOf(w18.finish()).message, "deflate: literal tree has no end-of-block code");
  StreamWriter w19;
  start(w19);
  w19.code(clCodes[18]).bits(127, 7).code(clCodes[18]).bits(107, 7).code(clCodes[17]).bits(0, 3);
  EXPECT_EQ(failureOf(w19.finish()).message, "deflate: code 17 overruns");
  // A code-length code with one symbol is incomplete; with none it is empty.
  std::vector<int> lone(19, 0);
  lone[0] = 1;
  StreamWriter w20;
  w20.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(15, 4);
  for (int i : order) w20.bits(static_cast<uint32_t>(lone[i]), 3);
  w20.bits(0, 16);
  EXPECT_EQ(failureOf(w20.finish()).message, "deflate: incomplete Huffman tree");
  StreamWriter w21;
  w21.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4).bits(0, 12).bits(0, 16);
  EXPECT_EQ(failureOf(w21.finish()).message, "deflate: empty Huffman tree");
}

TEST(InflateDynamic, TreeShapes) {
  const auto lits = completeLiteralLengths();
  // A single distance code of length 1 decodes.
  StreamWriter single;
  dynamicHeader(single, true, lits, {0, 0, 0, 1});
  const auto litCodes = canonicalCodes(lits);
  const auto distCodes = canonicalCodes({0, 0, 0, 1});
  single.code(litCodes['q']).code(litCodes['r']).code(litCodes['s']).code(litCodes['t']);
  writeMatch(single, litCodes, distCodes, 6, 4);  // distance symbol 3
  single.code(litCodes[256]);
  EXPECT_EQ(decoded(single.finish()), text("qrstqrstqr"));
  // A literal tree of the end-of-block code alone decodes to nothing; other bits are not a
  // code and fail after 15 of them.
  std::vector<int> endOnly(257, 0);
  endOnly[256] = 1;
  StreamWriter empty;
  dynamicHeader(empty, true, endOnly, {1});
  empty.bits(0, 1);
  EXPECT_TRUE(decoded(empty.finish()).empty());
  StreamWriter invalid;
  dynamicHeader(invalid, true, endOnly, {1});
  invalid.bits(0x7FFF, 15).bits(0, 8);
  Bytes invalidStream = invalid.finish();
  EXPECT_EQ(failureOf(invalidStream).message, "deflate: invalid Huffman code");
  // Cut before the fifteenth bit: truncated instead.
  StreamWriter shortInvalid;
  dynamicHeader(shortInvalid, true, endOnly, {1});
  shortInvalid.bits(0x7FFF, 15);
  Bytes cut = shortInvalid.finish();
  for (size_t keep = 0; keep <= cut.size(); ++keep) {
    EXPECT_TRUE(agreesWithReference(Bytes(cut.begin(), cut.begin() + keep), 0, 100, kBig));
    for (int64_t budget = 0; budget < 200; budget += 7) {
      EXPECT_TRUE(agreesWithReference(Bytes(cut.begin(), cut.begin() + keep), 0, 100, budget));
    }
  }
  // Oversubscribed and incomplete literal trees.
  std::vector<int> over = lits;
  over[0] = 1;
  StreamWriter w1;
  dynamicHeader(w1, true, over, {1, 1});
  EXPECT_EQ(failureOf(w1.finish()).message, "deflate: oversubscribed Huffman tree");
  std::vector<int> incomplete = lits;
  incomplete[285] = 0;
  StreamWriter w2;
  dynamicHeader(w2, true, incomplete, {1, 1});
  EXPECT_EQ(failureOf(w2.finish()).message, "deflate: incomplete Huffman tree");
  // Length symbols 286 and 287 may have codes; they fail only when used.
  const auto lits288 = completeLiteralLengths(288);
  const auto codes288 = canonicalCodes(lits288);
  StreamWriter w3;
  dynamicHeader(w3, true, lits288, {1, 1});
  w3.code(codes288['z']).code(codes288[287]).bits(0, 16);
  EXPECT_EQ(failureOf(w3.finish()).message, "deflate: bad length code");
}

TEST(InflateDynamic, DeepCodesUseSubtables) {
  // Lengths up to 15 bits: every symbol still decodes to the right byte.
  std::vector<int> lengths(286, 0);
  for (int s = 0; s < 14; ++s) lengths[s] = s + 1;  // 1..14
  lengths[14] = 15;
  lengths[256] = 15;
  const auto codes = canonicalCodes(lengths);
  StreamWriter w;
  dynamicHeader(w, true, lengths, {1, 1});
  Bytes expected;
  for (int round = 0; round < 40; ++round) {
    for (int s = 0; s <= 14; ++s) {
      w.code(codes[s]);
      expected.push_back(static_cast<uint8_t>(s));
    }
  }
  w.code(codes[256]);
  EXPECT_EQ(decoded(w.finish()), expected);
}

TEST(InflateDynamic, BlocksWithoutDistanceCodes) {
  // All distance lengths zero: a block of literals decodes; a length symbol then meets an
  // empty distance tree, which no 15 bits decode. Every row is also cut at every byte and
  // run on small budgets against the reference.
  const auto lits = completeLiteralLengths();
  const auto codes = canonicalCodes(lits);
  const struct {
    std::vector<int> distances;
    bool match;  // a length symbol after the literals
    int trailingBits;
    const char* failure;  // nullptr: decodes to "ab"
  } rows[] = {
      {{0}, false, 0, nullptr},
      {std::vector<int>(30, 0), false, 0, nullptr},
      {std::vector<int>(32, 0), false, 0, nullptr},
      {{0}, true, 15, "deflate: invalid Huffman code"},
      {std::vector<int>(30, 0), true, 32, "deflate: invalid Huffman code"},
      {{0}, true, 0, "deflate: stream truncated"},  // at most 7 bits of padding follow
      {{1, 0, 2}, false, 0, "deflate: incomplete Huffman tree"},
      {{0, 0, 2, 2, 2}, false, 0, "deflate: incomplete Huffman tree"},
  };
  for (const auto& row : rows) {
    StreamWriter w;
    dynamicHeader(w, true, lits, row.distances);
    w.code(codes['a']).code(codes['b']);
    if (row.match) w.code(codes[257]);
    w.bits(0, row.trailingBits);
    if (!row.match) w.code(codes[256]);
    const Bytes stream = w.finish();
    if (row.failure == nullptr) {
      EXPECT_EQ(decoded(stream), text("ab"));
    } else {
      EXPECT_EQ(failureOf(stream).message, row.failure);
    }
    for (size_t keep = 0; keep < stream.size(); ++keep) {
      const Bytes cut(stream.begin(), stream.begin() + static_cast<long>(keep));
      EXPECT_TRUE(agreesWithReference(cut, 0, 100, kBig));
    }
    for (int64_t budget = 1200; budget < 1500; budget += 3) {
      EXPECT_TRUE(agreesWithReference(stream, 0, 100, budget));
    }
  }
  // A later block may still refer back into the output of a block without distances.
  StreamWriter w;
  dynamicHeader(w, false, lits, {0});
  w.code(codes['x']).code(codes['y']).code(codes['z']).code(codes[256]);
  const auto fixedLit = fixedLiteralCodes();
  w.bits(1, 1).bits(1, 2);
  writeMatch(w, fixedLit, fixedDistanceCodes(), 7, 3);
  w.code(fixedLit[256]);
  EXPECT_EQ(decoded(w.finish()), text("xyzxyzxyzx"));
}
