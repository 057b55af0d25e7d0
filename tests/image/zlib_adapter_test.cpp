// The image side's zlib adapter: header checks in order, the trailer, the cap, and the
// mapping of the compression library's kinds onto the image half's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deflate/zlib.h"
#include "image/zlib.h"

using namespace orvel::image;
using orvel::deflate::zlibDeflate;
using Bytes = std::vector<uint8_t>;

namespace {

struct Failure {
  std::string message;
  ImageErrorKind kind = iekNone;
};

// The failure of both doors, which must agree: the vector one and the caller's buffer.
Failure failureOf(const Bytes& stream, int64_t cap = 1 << 20) {
  Failure into;
  try {
    Bytes out(static_cast<size_t>(cap));
    zlibInflateIntoAsImageError(stream, out);
    ADD_FAILURE() << "stream decoded into the buffer";
  } catch (const OrvelException& e) {
    into = {e.what(), e.kind()};
  }
  try {
    zlibInflateAsImageError(stream, cap);
  } catch (const OrvelException& e) {
    EXPECT_EQ(into.message, e.what());
    EXPECT_EQ(into.kind, e.kind());
    return {e.what(), e.kind()};
  }
  ADD_FAILURE() << "stream decoded";
  return {};
}

Bytes hello() {
  const std::string s = "hello hello hello hello";
  return zlibDeflate(Bytes(s.begin(), s.end()));
}

}  // namespace

TEST(ZlibAdapter, RoundTripAndFraming) {
  const Bytes data(5000, 'z');
  const Bytes stream = zlibDeflate(data);
  EXPECT_EQ(stream[0], 0x78);
  EXPECT_EQ(stream[1], 0x01);
  EXPECT_EQ(zlibInflateAsImageError(stream, 5000), data);
  Bytes trailing = stream;
  trailing.insert(trailing.end(), {1, 2, 3});  // ignored after the trailer
  EXPECT_EQ(zlibInflateAsImageError(trailing, 5000), data);
  Bytes levelNine = stream;
  levelNine[1] = 0x9C;  // FLEVEL is ignored
  EXPECT_EQ(zlibInflateAsImageError(levelNine, 5000), data);
}

TEST(ZlibAdapter, HeaderChecksInOrderWithMappedKinds) {
  Failure f = failureOf({0x78});
  EXPECT_EQ(f.message, "zlib: header truncated");
  EXPECT_EQ(f.kind, iekUnsupported);  // truncated maps to unsupported
  f = failureOf({0x79, 0x00, 0, 0});  // method 9 and a bad check: method first
  EXPECT_EQ(f.message, "zlib: not a DEFLATE stream");
  EXPECT_EQ(f.kind, iekUnsupported);
  f = failureOf({0x88, 0x00, 0, 0});  // CINFO 8 and a bad check: CINFO first
  EXPECT_EQ(f.message, "zlib: CINFO exceeds 7 (window > 32 KiB)");
  EXPECT_EQ(f.kind, iekTruncated);  // corrupt maps to truncated
  f = failureOf({0x78, 0x02, 0, 0});
  EXPECT_EQ(f.message, "zlib: bad header check");
  EXPECT_EQ(f.kind, iekTruncated);
  f = failureOf({0x78, 0xBB, 0, 0, 0, 0});
  EXPECT_EQ(f.message, "zlib: preset dictionary (FDICT) unsupported");
  EXPECT_EQ(f.kind, iekUnsupported);
}

TEST(ZlibAdapter, TrailerAndChecksum) {
  Bytes stream = hello();
  Bytes cut(stream.begin(), stream.end() - 1);  // three trailer bytes
  Failure f = failureOf(cut);
  EXPECT_EQ(f.message, "zlib: trailer truncated");
  EXPECT_EQ(f.kind, iekUnsupported);
  Bytes wrong = stream;
  wrong.back() ^= 1;
  f = failureOf(wrong);
  EXPECT_EQ(f.message, "zlib: Adler-32 mismatch");
  EXPECT_EQ(f.kind, iekTruncated);
  Bytes body(stream.begin(), stream.begin() + 4);
  f = failureOf(body);
  EXPECT_EQ(f.message, "deflate: stream truncated");
  EXPECT_EQ(f.kind, iekUnsupported);
  Bytes reserved = {0x78, 0x01, 0x07, 0, 0, 0, 0};
  f = failureOf(reserved);
  EXPECT_EQ(f.message, "deflate: reserved BTYPE 3");
  EXPECT_EQ(f.kind, iekTruncated);
}

TEST(ZlibAdapter, CapIsExactAndMapsToInvalid) {
  const Bytes data(100000, 7);
  const Bytes stream = zlibDeflate(data);
  EXPECT_EQ(zlibInflateAsImageError(stream, 100000).size(), 100000u);
  Bytes out(100000);
  EXPECT_EQ(zlibInflateIntoAsImageError(stream, out), 100000);
  EXPECT_EQ(out, data);
  Failure f = failureOf(stream, 99999);
  EXPECT_EQ(f.message, "deflate: output exceeds the size cap");
  EXPECT_EQ(f.kind, iekInvalid);
  EXPECT_EQ(failureOf(stream, 0).kind, iekInvalid);
  EXPECT_EQ(zlibInflateAsImageError(zlibDeflate({}), 0).size(), 0u);
}

TEST(ZlibAdapter, MapErrorKeepsTheMessage) {
  const struct {
    orvel::deflate::ZepraErrorKind from;
    ImageErrorKind to;
  } table[] = {{orvel::deflate::zekUnsupported, iekUnsupported},
               {orvel::deflate::zekTruncated, iekUnsupported},
               {orvel::deflate::zekCorrupt, iekTruncated},
               {orvel::deflate::zekLimit, iekInvalid}};
  for (const auto& row : table) {
    const OrvelException e =
        mapError(orvel::deflate::ZepraException(row.from, "deflate: something"));
    EXPECT_EQ(e.kind(), row.to);
    EXPECT_STREQ(e.what(), "deflate: something");
  }
}
