// The ISO box walk: signature, 32- and 64-bit sizes, the two rules a walk can take for a size
// of 0 and for a box that runs past its range, and the file walk agreeing with the buffer walk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/isobmff.h"
#include "support/isobmff_builder.h"
#include "support/temp_dir.h"

using namespace orvel::container;
using orvel::testing::Bytes;

namespace {

Bytes header(uint32_t size, const char* type) {
  Bytes out;
  orvel::testing::appendBE32(out, size);
  out.insert(out.end(), type, type + 4);
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) { return orvel::testing::concat(parts); }

// What a walk yields: "type:start+size" per box.
std::string walked(BoxWalk walk) {
  std::string out;
  while (const auto box = walk.next()) {
    out +=
        box->type.str() + ":" + std::to_string(box->start) + "+" + std::to_string(box->size) + " ";
  }
  return out;
}

constexpr BoxWalkRules kToEnd{true, false};
constexpr BoxWalkRules kZeroEnds{false, false};
constexpr BoxWalkRules kYieldOverrun{true, true};

struct WalkCase {
  const char* name;
  Bytes data;
  BoxWalkRules rules;
  std::string expected;
};

std::vector<WalkCase> walkCases() {
  using orvel::testing::box;
  using orvel::testing::largeBox;
  using orvel::testing::openEndedBox;
  Bytes large64 = header(1, "mdat");
  orvel::testing::appendBE64(large64, 12);  // a 64-bit size below its 16-byte header
  Bytes tiny = header(7, "free");
  const Bytes largeEmpty = largeBox("mdat", {});
  Bytes overrun = cat({box("free", Bytes(4, 0)), header(100, "moov"), Bytes(8, 0)});
  return {
      {"two boxes", cat({box("ftyp", Bytes(4, 0)), box("free", {})}), kToEnd,
       "ftyp:0+12 free:12+8 "},
      {"size 0 runs to the end",
       cat({box("free", Bytes(4, 0)), openEndedBox("mdat", Bytes(10, 0))}), kToEnd,
       "free:0+12 mdat:12+18 "},
      {"size 0 ends a movie walk",
       cat({box("free", Bytes(4, 0)), openEndedBox("mdat", Bytes(10, 0))}), kZeroEnds,
       "free:0+12 "},
      {"64-bit size", cat({largeBox("mdat", Bytes(4, 0)), box("free", {})}), kToEnd,
       "mdat:0+20 free:20+8 "},
      {"64-bit size cut off", Bytes(largeEmpty.begin(), largeEmpty.begin() + 12), kToEnd, ""},
      {"64-bit size below its header", large64, kToEnd, ""},
      {"size below 8", cat({tiny, Bytes(8, 0)}), kToEnd, ""},
      {"overrun stops", overrun, kToEnd, "free:0+12 "},
      {"overrun handed over last", overrun, kYieldOverrun, "free:0+12 moov:12+100 "},
      {"header cut short", cat({box("free", {}), Bytes(7, 0)}), kToEnd, "free:0+8 "},
  };
}

}  // namespace

TEST(BoxSignature, NeedsFtypAtFourAndTwelveBytes) {
  Bytes file = header(20, "ftyp");
  file.resize(12, 0);
  EXPECT_TRUE(isIsobmff(file));
  file.resize(11);
  EXPECT_FALSE(isIsobmff(file));  // too short even though "ftyp" is there
  Bytes movie = header(20, "moov");
  movie.resize(12, 0);
  EXPECT_FALSE(isIsobmff(movie));  // movies without ftyp are not writable stills
}

TEST(BoxWalk, SizesAndRules) {
  for (const WalkCase& c : walkCases()) {
    EXPECT_EQ(walked(BoxWalk(c.data, 0, static_cast<int64_t>(c.data.size()), c.rules)), c.expected)
        << c.name;
  }
}

TEST(BoxWalk, StaysInsideItsRange) {
  using orvel::testing::box;
  const Bytes data = cat({box("free", Bytes(4, 0)), box("skip", Bytes(8, 0)), box("free", {})});
  EXPECT_EQ(walked(BoxWalk(data, 0, 20, kToEnd)), "free:0+12 ");  // the second box passes 20
  EXPECT_EQ(walked(BoxWalk(data, 12, 28, kToEnd)), "skip:12+16 ");
  EXPECT_EQ(walked(BoxWalk(data, 12, 16, kToEnd)), "");  // fewer than 8 bytes of range
  EXPECT_EQ(walked(BoxWalk(data, -1, 28, kToEnd)), "");
  EXPECT_EQ(walked(BoxWalk(data, 30, 40, kToEnd)), "");  // past the data
  const Bytes openEnded =
      cat({box("free", {}), orvel::testing::openEndedBox("mdat", Bytes(10, 0))});
  EXPECT_EQ(walked(BoxWalk(openEnded, 8, 20, kToEnd)), "mdat:8+12 ");  // to the end of the range
}

TEST(BoxWalk, FileWalkAgreesWithTheBufferWalk) {
  const orvel::testing::TempDir dir;
  int serial = 0;
  for (const WalkCase& c : walkCases()) {
    const orvel::base::ReadOnlyFile file(dir.file("boxes" + std::to_string(serial++), c.data));
    FileBoxWalk walk(file, c.rules);
    std::string out;
    while (const auto box = walk.next()) {
      out += box->type.str() + ":" + std::to_string(box->start) + "+" + std::to_string(box->size) +
             " ";
    }
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(BoxWalk, TopLevelMetaPayload) {
  using orvel::testing::box;
  const Bytes file = cat({box("ftyp", Bytes(4, 0)), box("meta", Bytes(10, 0))});
  const auto meta = topLevelMeta(file);
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->first, 12 + 8 + 4);  // after the header, version and flags
  EXPECT_EQ(meta->second, 30);
  EXPECT_FALSE(topLevelMeta(box("ftyp", Bytes(4, 0))));
}
