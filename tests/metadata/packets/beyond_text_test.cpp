// Extended XMP, raw PNG profiles and sidecars: the checks that keep a hostile file from
// stitching or sizing more than it holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/png.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"

using namespace orvel;
using namespace orvel::metadata::xmp;
using orvel::testing::Bytes;

namespace {

const std::string kGuid(32, 'A');

struct Piece {
  std::string guid;
  uint32_t full;
  uint32_t offset;
  std::string text;
};

Bytes jpegWithPieces(const std::vector<Piece>& pieces) {
  orvel::testing::JpegBuilder jpeg;
  for (const Piece& piece : pieces) {
    std::string payload = std::string("http://ns.adobe.com/xmp/extension/\0", 35) + piece.guid;
    for (uint32_t field : {piece.full, piece.offset}) {
      for (int shift = 24; shift >= 0; shift -= 8) payload.push_back(char(field >> shift));
    }
    payload += piece.text;
    jpeg.segment(0xE1, Bytes(payload.begin(), payload.end()));
  }
  return jpeg.finish();
}

}  // namespace

TEST(ExtendedXmp, JoinsOnlyPiecesThatCoverTheirStatedLength) {
  const std::string other(32, 'B');
  struct Case {
    const char* what;
    std::vector<Piece> pieces;
    std::optional<std::string> joined;
  };
  const Case cases[] = {
      {"in order", {{kGuid, 6, 0, "abc"}, {kGuid, 6, 3, "def"}}, "abcdef"},
      {"out of order", {{kGuid, 6, 3, "def"}, {kGuid, 6, 0, "abc"}}, "abcdef"},
      {"another GUID between", {{kGuid, 6, 0, "abc"}, {other, 3, 0, "xyz"}, {kGuid, 6, 3, "def"}},
       "abcdef"},
      {"a gap", {{kGuid, 9, 0, "abc"}, {kGuid, 9, 6, "ghi"}}, std::nullopt},
      {"a piece past the full length", {{kGuid, 4, 0, "abc"}, {kGuid, 4, 3, "def"}}, std::nullopt},
      {"full lengths disagree", {{kGuid, 6, 0, "abc"}, {kGuid, 7, 3, "defg"}}, std::nullopt},
      {"more than 64 MiB stated", {{kGuid, (64u << 20) + 1, 0, "abc"}}, std::nullopt},
      {"only another GUID", {{other, 3, 0, "xyz"}}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(joinExtendedXmp(jpegWithPieces(c.pieces), kGuid), c.joined) << c.what;
  }
}

TEST(RawProfiles, DecodeNoMoreThanTheirCountAndRefuseOtherShapes) {
  using container::rawProfileBytes;
  EXPECT_EQ(rawProfileBytes("\nexif\n       3\n414243\n"), (std::vector<uint8_t>{'A', 'B', 'C'}));
  EXPECT_EQ(rawProfileBytes("\nexif\n2\n41\n42 4344\n"), (std::vector<uint8_t>{'A', 'B'}));
  // A count no text could hold is refused before it can overflow or size anything.
  EXPECT_EQ(rawProfileBytes("\nx\n99999999999999999999999\n4142"), std::nullopt);
  EXPECT_EQ(rawProfileBytes("\nx\n8\n4142"), (std::vector<uint8_t>{'A', 'B'}));
  EXPECT_EQ(rawProfileBytes("exif\n3\n414243"), std::nullopt);
  EXPECT_EQ(rawProfileBytes("\nexif\nthree\n414243"), std::nullopt);
}

TEST(XmpSidecars, AreReadAfterAByteOrderMarkButNotFromOtherText) {
  const std::string packet =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF><rdf:Description xmp:Label=\"L\"/>"
      "</rdf:RDF></x:xmpmeta>";
  for (const std::string& text : {packet, "\xEF\xBB\xBF" + packet,
                                  "<?xml version=\"1.0\"?>\n<?xpacket begin=\"\"?>" + packet}) {
    const XmpRecord record = readXmpBytes(Bytes(text.begin(), text.end()));
    ASSERT_NE(record.properties.find("xmp:Label"), nullptr) << text;
  }
  const std::string html = "<html>" + packet;
  EXPECT_TRUE(readXmpBytes(Bytes(html.begin(), html.end())).properties.empty());
}
