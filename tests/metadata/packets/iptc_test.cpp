// IPTC: the APP13 / 8BIM search and the record-2 dataset walk.
#include "metadata/iptc/iptc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/builders.h"
#include "support/packet_builders.h"

using namespace orvel::metadata;
using namespace orvel::metadata::iptc;
using orvel::testing::app13Payload;
using orvel::testing::Bytes;
using orvel::testing::bytesOf;
using orvel::testing::iptcDataset;
using orvel::testing::JpegBuilder;
using orvel::testing::jpegWithIptc;
using orvel::testing::photoshopResource;

namespace {

using Strings = std::vector<std::string>;
using Entries = std::vector<TagMap::Entry>;

Entries entriesOf(const TagMap& map) { return Entries(map.begin(), map.end()); }

// The IPTC bytes that findApp13Iptc points at.
std::string locatedText(const Bytes& jpeg) {
  const IptcLocation found = findApp13Iptc(jpeg);
  if (found.offset < 0) return "<none>";
  return std::string(jpeg.begin() + found.offset, jpeg.begin() + found.offset + found.length);
}

Bytes jpegWithResources(const std::vector<Bytes>& resources) {
  return JpegBuilder().segment(0xED, app13Payload(resources)).finish();
}

}  // namespace

TEST(IptcLocate, LaterApp13IsSearchedWhenTheFirstLacksTheSignature) {
  const Bytes iptc = iptcDataset(2, 5, "second");
  const Bytes jpeg = JpegBuilder()
                         .segment(0xED, app13Payload({photoshopResource(0x0404, "", bytesOf("x"))},
                                                     "Photoshop 2.5"))
                         .segment(0xEE, bytesOf("Adobe"))
                         .segment(0xED, app13Payload({photoshopResource(0x0404, "", iptc)}))
                         .finish();
  EXPECT_EQ(locatedText(jpeg), std::string(iptc.begin(), iptc.end()));
  EXPECT_EQ(parseIptc(jpeg).objectName, "second");
}

TEST(IptcLocate, LaterApp13IsSearchedWhenTheFirstHasNoIptcResource) {
  const Bytes jpeg =
      JpegBuilder()
          .segment(0xED, app13Payload({photoshopResource(0x03ED, "", Bytes(16, 1))}))
          .segment(0xED, app13Payload({photoshopResource(0x0404, "", iptcDataset(2, 90, "Oslo"))}))
          .finish();
  EXPECT_EQ(parseIptc(jpeg).city, "Oslo");
}

TEST(IptcLocate, ResourceNamesArePaddedToAnEvenSize) {
  for (std::string name : {"", "a", "ab", "abc", "IPTC name"}) {
    const Bytes jpeg = jpegWithResources({photoshopResource(0x03ED, name, Bytes(4, 7)),
                                          photoshopResource(0x0404, name, bytesOf("data"))});
    EXPECT_EQ(locatedText(jpeg), "data") << name;
  }
}

TEST(IptcLocate, OddSizedResourcesAreFollowedByOnePadByte) {
  const Bytes jpeg = jpegWithResources({photoshopResource(0x03ED, "", Bytes(5, 7)),
                                        photoshopResource(0x0404, "", bytesOf("odd"))});
  EXPECT_EQ(locatedText(jpeg), "odd");
  // Without the pad byte the next "8BIM" is misaligned and the walk gives up on the segment.
  const Bytes unpadded = jpegWithResources({photoshopResource(0x03ED, "", Bytes(5, 7), false),
                                            photoshopResource(0x0404, "", bytesOf("odd"))});
  EXPECT_EQ(locatedText(unpadded), "<none>");
}

TEST(IptcLocate, ResourcesRunningPastTheSegmentEndTheWalk) {
  Bytes resource = photoshopResource(0x0404, "", bytesOf("data"));
  resource[11] = 0x40;  // data size 0x40: past the segment
  EXPECT_EQ(locatedText(jpegWithResources({resource})), "<none>");
  // A name so long that the size field lies outside the segment.
  Bytes longName = bytesOf("8BIM");
  longName.insert(longName.end(), {0x04, 0x04, 200});
  longName.resize(longName.size() + 12, 'n');
  EXPECT_EQ(locatedText(jpegWithResources({longName})), "<none>");
  // Something other than "8BIM" ends the segment's walk.
  Bytes foreign = photoshopResource(0x0404, "", bytesOf("data"));
  foreign[0] = 'X';
  EXPECT_EQ(locatedText(jpegWithResources({foreign})), "<none>");
}

TEST(IptcLocate, SearchEndsAtScanDataAndNeedsAJpeg) {
  Bytes afterScan = JpegBuilder().finish();
  const Bytes tail = jpegWithIptc({iptcDataset(2, 5, "late")});
  afterScan.insert(afterScan.end(), tail.begin() + 2, tail.end());
  EXPECT_EQ(locatedText(afterScan), "<none>");
  // A JPEG marker followed by a zero length ends the search rather than looping.
  EXPECT_EQ(locatedText(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xED}), "<none>");
  // IPTC in other containers is not read.
  Bytes tiffLike = jpegWithIptc({iptcDataset(2, 5, "x")});
  tiffLike[0] = 'I';
  tiffLike[1] = 'I';
  EXPECT_EQ(locatedText(tiffLike), "<none>");
  EXPECT_TRUE(parseIptc(tiffLike).names.empty());
  EXPECT_EQ(findApp13Iptc(Bytes{}).offset, -1);
}

TEST(IptcParse, FieldsListsAndJoinedNames) {
  const IptcRecord record = parseIptc(jpegWithIptc({
      iptcDataset(2, 0, std::string("\x00\x04", 2)),
      iptcDataset(2, 120, "first"),
      iptcDataset(2, 25, "a"),
      iptcDataset(2, 80, "Ann"),
      iptcDataset(2, 25, "b"),
      iptcDataset(2, 120, "second"),
      iptcDataset(2, 25, "c"),
      iptcDataset(2, 80, "Bob"),
      iptcDataset(2, 105, "Head"),
      iptcDataset(2, 116, "(c)"),
      iptcDataset(2, 110, "Credit"),
      iptcDataset(2, 115, "Source"),
      iptcDataset(2, 95, "State"),
      iptcDataset(2, 101, "Country"),
      iptcDataset(2, 200, "unnamed"),
  }));
  EXPECT_EQ(record.caption, "second");
  EXPECT_EQ(record.keywords, (Strings{"a", "b", "c"}));
  EXPECT_EQ(record.byline, (Strings{"Ann", "Bob"}));
  EXPECT_EQ(record.headline, "Head");
  EXPECT_EQ(record.copyrightNotice, "(c)");
  EXPECT_EQ(record.credit, "Credit");
  EXPECT_EQ(record.source, "Source");
  EXPECT_EQ(record.provinceState, "State");
  EXPECT_EQ(record.country, "Country");
  EXPECT_EQ(entriesOf(record.names), (Entries{
                                         {"ApplicationRecordVersion", "4"},
                                         {"Caption-Abstract", "first, second"},
                                         {"Keywords", "a, b, c"},
                                         {"By-line", "Ann, Bob"},
                                         {"Headline", "Head"},
                                         {"CopyrightNotice", "(c)"},
                                         {"Credit", "Credit"},
                                         {"Source", "Source"},
                                         {"Province-State", "State"},
                                         {"Country-PrimaryLocationName", "Country"},
                                     }));
}

TEST(IptcParse, RecordVersionIsANumberOnlyWhenTwoBytesLong) {
  const auto versionOf = [](const std::string& value) {
    const IptcRecord record = parseIptc(jpegWithIptc({iptcDataset(2, 0, value)}));
    return *record.names.find("ApplicationRecordVersion");
  };
  EXPECT_EQ(versionOf(std::string("\x01\x02", 2)), "258");
  EXPECT_EQ(versionOf("7"), "7");
  EXPECT_EQ(versionOf(std::string("\x00\x00\x04", 3)), std::string("\x00\x00\x04", 3));
}

TEST(IptcParse, OnlyRecordTwoIsRead) {
  const IptcRecord record = parseIptc(jpegWithIptc({
      iptcDataset(1, 90, "\x1B%G"),
      iptcDataset(3, 5, "other record"),
      iptcDataset(2, 5, "kept"),
  }));
  EXPECT_EQ(entriesOf(record.names), (Entries{{"ObjectName", "kept"}}));
}

TEST(IptcParse, ExtendedDatasetEndsTheWalk) {
  Bytes extended = {0x1C, 2, 120, 0x80, 0x04, 0, 0, 0, 3, 'b', 'i', 'g'};
  Bytes stream = iptcDataset(2, 5, "before");
  stream.insert(stream.end(), extended.begin(), extended.end());
  const Bytes after = iptcDataset(2, 90, "after");
  stream.insert(stream.end(), after.begin(), after.end());
  const IptcRecord record = parseIptc(jpegWithResources({photoshopResource(0x0404, "", stream)}));
  EXPECT_EQ(entriesOf(record.names), (Entries{{"ObjectName", "before"}}));
}

TEST(IptcParse, StrayBytesAreSkippedAndOverrunsStop) {
  Bytes stream = {0x00, 0x00, 0x7F};
  const Bytes first = iptcDataset(2, 5, "one");
  stream.insert(stream.end(), first.begin(), first.end());
  stream.insert(stream.end(), {0xFF, 0x1D});
  const Bytes second = iptcDataset(2, 90, "two");
  stream.insert(stream.end(), second.begin(), second.end());
  // A dataset claiming more bytes than the block holds ends the walk.
  stream.insert(stream.end(), {0x1C, 2, 105, 0x00, 0x20, 'h'});
  const IptcRecord record = parseIptc(jpegWithResources({photoshopResource(0x0404, "", stream)}));
  EXPECT_EQ(entriesOf(record.names), (Entries{{"ObjectName", "one"}, {"City", "two"}}));
  EXPECT_TRUE(record.headline.empty());
}

TEST(IptcParse, ValuesAreRawBytesAndTheBlockBoundsTheWalk) {
  const std::string raw("Caf\xE9\0x", 6);
  // The 0x0404 resource is followed by another whose bytes look like datasets: the walk stops at
  // the block end.
  const Bytes jpeg = jpegWithResources(
      {photoshopResource(0x0404, "", iptcDataset(2, 5, raw)),
       photoshopResource(0x0405, "", iptcDataset(2, 90, "outside"))});
  const IptcRecord record = parseIptc(jpeg);
  EXPECT_EQ(record.objectName, raw);
  EXPECT_TRUE(record.city.empty());
}

TEST(IptcTags, PrefixedNonEmptyValues) {
  const Bytes jpeg = jpegWithIptc({iptcDataset(2, 5, ""), iptcDataset(2, 25, "k"),
                                   iptcDataset(2, 25, "l"), iptcDataset(2, 90, "")});
  EXPECT_EQ(iptcTags(jpeg), (Entries{{"IPTC:Keywords", "k, l"}}));
}
