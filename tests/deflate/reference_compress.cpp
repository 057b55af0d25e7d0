#include "deflate/reference_compress.h"

#include <algorithm>

#include "deflate/rfc1951_tables.h"

namespace orvel::deflate::reference {
namespace {

using namespace orvel::deflate::rfc1951;

struct BitWriter {
  std::vector<uint8_t>& out;
  uint32_t accumulator = 0;
  int count = 0;

  void bit(uint32_t b) {
    accumulator |= b << count;
    if (++count == 8) {
      out.push_back(static_cast<uint8_t>(accumulator));
      accumulator = 0;
      count = 0;
    }
  }
  void lsbFirst(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bit((value >> i) & 1);
  }
  void msbFirst(uint32_t code, int n) {
    for (int i = n - 1; i >= 0; --i) bit((code >> i) & 1);
  }
  void flush() {
    if (count > 0) out.push_back(static_cast<uint8_t>(accumulator));
  }
};

void fixedSymbol(BitWriter& w, int symbol) {
  if (symbol < 144) {
    w.msbFirst(0x30 + symbol, 8);
  } else if (symbol < 256) {
    w.msbFirst(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    w.msbFirst(symbol - 256, 7);
  } else {
    w.msbFirst(0xC0 + symbol - 280, 8);
  }
}

int hash3(std::span<const uint8_t> in, int64_t i) { return (in[i + 1] & 0x7F) << 8 | in[i + 2]; }

}  // namespace

std::vector<uint8_t> compress(std::span<const uint8_t> in) {
  const auto n = static_cast<int64_t>(in.size());
  std::vector<uint8_t> out;
  out.reserve(in.size() + in.size() / 8 + 16);
  BitWriter w{out};
  w.lsbFirst(1, 1);
  w.lsbFirst(1, 2);
  std::vector<int32_t> head(0x8000, -1);
  std::vector<int32_t> chain(in.size(), -1);
  auto insert = [&](int64_t p) {
    if (p + 3 > n) return;
    const int h = hash3(in, p);
    chain[p] = head[h];
    head[h] = static_cast<int32_t>(p);
  };
  int64_t i = 0;
  while (i < n) {
    int64_t bestLength = 0;
    int64_t bestDistance = 0;
    if (i + 3 <= n) {
      const int64_t limit = std::min<int64_t>(258, n - i);
      int examined = 0;
      for (int64_t v = head[hash3(in, i)]; v >= 0; v = chain[v]) {
        if (i - v > 32768 || examined == 64) break;
        ++examined;
        if (in[v + bestLength] != in[i + bestLength]) continue;
        int64_t length = 0;
        while (length < limit && in[v + length] == in[i + length]) ++length;
        if (length > 2 && length > bestLength) {
          bestLength = length;
          bestDistance = i - v;
        }
        if (length == 258 || i + length == n) break;
      }
    }
    if (bestLength >= 3) {
      int index = 28;
      if (bestLength < 258) {
        index = 0;
        while (index + 1 < 28 && kLengthBase[index + 1] <= bestLength) ++index;
      }
      fixedSymbol(w, 257 + index);
      w.lsbFirst(static_cast<uint32_t>(bestLength - kLengthBase[index]), kLengthExtra[index]);
      int code = 0;
      while (code + 1 < 30 && kDistanceBase[code + 1] <= bestDistance) ++code;
      w.msbFirst(static_cast<uint32_t>(code), 5);
      w.lsbFirst(static_cast<uint32_t>(bestDistance - kDistanceBase[code]), kDistanceExtra[code]);
      for (int64_t j = i; j < i + bestLength; ++j) insert(j);
      i += bestLength;
    } else {
      fixedSymbol(w, in[i]);
      insert(i);
      ++i;
    }
  }
  fixedSymbol(w, 256);
  w.flush();
  return out;
}

}  // namespace orvel::deflate::reference
