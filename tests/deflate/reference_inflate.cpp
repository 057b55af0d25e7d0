#include "deflate/reference_inflate.h"

#include <algorithm>

#include "deflate/rfc1951_tables.h"

namespace orvel::deflate::reference {
namespace {

using namespace orvel::deflate::rfc1951;

struct Failure {
  int kind;
  const char* message;
};

enum { kUnsupported = 0, kTruncated = 1, kCorrupt = 2, kLimit = 3 };
enum Tree { treeCodeLength, treeLiteral, treeDistance };


struct Huffman {
  int count[16] = {};
  std::vector<int> symbols;
};

struct State {
  std::span<const uint8_t> in;
  int64_t pos = 0;
  uint32_t buffer = 0;
  int held = 0;
  int64_t budget = 0;
  int64_t cap = 0;
  std::vector<uint8_t> out;

  uint32_t bits(int n) {
    if (budget < n) throw Failure{kLimit, "deflate: decode work exceeds the budget"};
    budget -= n;
    while (held < n) {
      if (pos >= static_cast<int64_t>(in.size())) {
        throw Failure{kTruncated, "deflate: stream truncated"};
      }
      buffer |= uint32_t{in[pos++]} << held;
      held += 8;
    }
    uint32_t value = buffer & ((1u << n) - 1);
    buffer >>= n;
    held -= n;
    return value;
  }
};

Huffman build(const std::vector<int>& lengths, Tree tree) {
  Huffman h;
  for (int length : lengths) {
    if (length > 15) throw Failure{kCorrupt, "deflate: invalid Huffman code length"};
    h.count[length]++;
  }
  h.count[0] = 0;
  int left = 2;
  int codes = 0;
  for (int length = 1; length <= 15; ++length) {
    left -= h.count[length];
    codes += h.count[length];
    if (left < 0) throw Failure{kCorrupt, "deflate: oversubscribed Huffman tree"};
    if (length < 15) left *= 2;
  }
  if (codes == 0 && tree != treeDistance) throw Failure{kCorrupt, "deflate: empty Huffman tree"};
  // One code alone, or (for distances, in a block of literals only) no code at all.
  const bool lone = tree != treeCodeLength && codes == 1;
  const bool noDistances = tree == treeDistance && codes == 0;
  if (left != 0 && !lone && !noDistances) {
    throw Failure{kCorrupt, "deflate: incomplete Huffman tree"};
  }
  for (int length = 1; length <= 15; ++length) {
    for (size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == length) h.symbols.push_back(static_cast<int>(s));
    }
  }
  return h;
}

int decode(State& s, const Huffman& h) {
  int code = 0;
  int first = 0;
  int index = 0;
  for (int length = 1; length <= 15; ++length) {
    code |= static_cast<int>(s.bits(1));
    int count = h.count[length];
    if (code - first < count) return h.symbols[index + code - first];
    index += count;
    first += count;
    first <<= 1;
    code <<= 1;
  }
  throw Failure{kCorrupt, "deflate: invalid Huffman code"};
}

void stored(State& s) {
  s.buffer = 0;
  s.held = 0;
  int64_t size = static_cast<int64_t>(s.in.size());
  if (size - s.pos < 4) throw Failure{kTruncated, "deflate: stored header truncated"};
  int len = s.in[s.pos] | s.in[s.pos + 1] << 8;
  int nlen = s.in[s.pos + 2] | s.in[s.pos + 3] << 8;
  if ((len ^ nlen) != 0xFFFF) throw Failure{kCorrupt, "deflate: stored LEN/NLEN mismatch"};
  s.pos += 4;
  if (size - s.pos < len) throw Failure{kTruncated, "deflate: stored block truncated"};
  if (static_cast<int64_t>(s.out.size()) + len > s.cap) {
    throw Failure{kLimit, "deflate: output exceeds the size cap"};
  }
  if (s.budget < len) throw Failure{kLimit, "deflate: decode work exceeds the budget"};
  s.budget -= len;
  for (int i = 0; i < len; ++i) s.out.push_back(s.in[s.pos + i]);
  s.pos += len;
}

void codes(State& s, const Huffman& lit, const Huffman& dist) {
  while (true) {
    int symbol = decode(s, lit);
    if (symbol < 256) {
      if (static_cast<int64_t>(s.out.size()) + 1 > s.cap) {
        throw Failure{kLimit, "deflate: output exceeds the size cap"};
      }
      if (s.budget < 1) throw Failure{kLimit, "deflate: decode work exceeds the budget"};
      s.budget -= 1;
      s.out.push_back(static_cast<uint8_t>(symbol));
      continue;
    }
    if (symbol == 256) return;
    if (symbol > 285) throw Failure{kCorrupt, "deflate: bad length code"};
    int index = symbol - 257;
    int64_t length = kLengthBase[index];
    if (symbol >= 265 && symbol <= 284) length += s.bits(kLengthExtra[index]);
    int dsym = decode(s, dist);
    if (dsym > 29) throw Failure{kCorrupt, "deflate: bad distance code"};
    int64_t distance = kDistanceBase[dsym];
    if (dsym >= 4) distance += s.bits(kDistanceExtra[dsym]);
    if (distance > static_cast<int64_t>(s.out.size())) {
      throw Failure{kCorrupt, "deflate: distance too far back"};
    }
    if (static_cast<int64_t>(s.out.size()) + length > s.cap) {
      throw Failure{kLimit, "deflate: output exceeds the size cap"};
    }
    if (s.budget < length) throw Failure{kLimit, "deflate: decode work exceeds the budget"};
    s.budget -= length;
    for (int64_t i = 0; i < length; ++i) s.out.push_back(s.out[s.out.size() - distance]);
  }
}

void fixed(State& s) {
  std::vector<int> lit(288);
  for (int i = 0; i < 288; ++i) lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  std::vector<int> dist(32, 5);
  codes(s, build(lit, treeLiteral), build(dist, treeDistance));
}

void dynamic(State& s) {
  int hlit = static_cast<int>(s.bits(5)) + 257;
  int hdist = static_cast<int>(s.bits(5)) + 1;
  int hclen = static_cast<int>(s.bits(4)) + 4;
  std::vector<int> clLengths(19, 0);
  for (int i = 0; i < hclen; ++i) clLengths[kOrder[i]] = static_cast<int>(s.bits(3));
  Huffman cl = build(clLengths, treeCodeLength);
  std::vector<int> lengths;
  int total = hlit + hdist;
  while (static_cast<int>(lengths.size()) < total) {
    int symbol = decode(s, cl);
    if (symbol < 16) {
      lengths.push_back(symbol);
      continue;
    }
    int value = 0;
    int repeat = 0;
    if (symbol == 16) {
      if (lengths.empty()) throw Failure{kCorrupt, "deflate: code 16 at start"};
      value = lengths.back();
      repeat = 3 + static_cast<int>(s.bits(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(s.bits(3));
    } else {
      repeat = 11 + static_cast<int>(s.bits(7));
    }
    if (static_cast<int>(lengths.size()) + repeat > total) {
      if (symbol == 16) throw Failure{kCorrupt, "deflate: code 16 overruns"};
      if (symbol == 17) throw Failure{kCorrupt, "deflate: code 17 overruns"};
      throw Failure{kCorrupt, "deflate: code 18 overruns"};
    }
    for (int i = 0; i < repeat; ++i) lengths.push_back(value);
  }
  if (lengths[256] == 0) throw Failure{kCorrupt, "deflate: literal tree has no end-of-block code"};
  std::vector<int> lit(lengths.begin(), lengths.begin() + hlit);
  std::vector<int> dist(lengths.begin() + hlit, lengths.end());
  Huffman litTree = build(lit, treeLiteral);
  Huffman distTree = build(dist, treeDistance);
  codes(s, litTree, distTree);
}

}  // namespace

Outcome inflate(std::span<const uint8_t> input, int64_t start, int64_t cap, int64_t budget) {
  State s;
  s.in = input;
  s.pos = start;
  s.budget = budget;
  s.cap = std::max<int64_t>(cap, 0);
  Outcome outcome;
  try {
    bool last = false;
    while (!last) {
      last = s.bits(1) == 1;
      int type = static_cast<int>(s.bits(2));
      if (type == 0) {
        stored(s);
      } else if (type == 1) {
        fixed(s);
      } else if (type == 2) {
        dynamic(s);
      } else {
        throw Failure{kCorrupt, "deflate: reserved BTYPE 3"};
      }
    }
    outcome.ok = true;
    outcome.output = std::move(s.out);
    outcome.consumed = s.pos;
  } catch (const Failure& failure) {
    outcome.kind = failure.kind;
    outcome.message = failure.message;
  }
  return outcome;
}

}  // namespace orvel::deflate::reference
