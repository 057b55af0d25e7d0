// Movie facts from "moov" payloads: headers, track sizes, classic and keyed item lists, the
// depth limit and the fallback scan.
#include <gtest/gtest.h>

#include "container/isobmff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/movie/movie.h"
#include "metadata/pipeline/locate.h"
#include "support/isobmff_builder.h"

using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::movie;
using namespace orvel::metadata::pipeline;
using namespace orvel::metadata::edit;
using namespace orvel::testing;

namespace {

const std::string kMake = "\xA9mak";
const std::string kModel = "\xA9mod";
const std::string kSoftware = "\xA9swr";
const std::string kDay = "\xA9" "day";
// The scan looks only at data boxes well before the end, as in real movies where tracks follow.
const Bytes kPadding = box("free", Bytes(40, 0));

Bytes udta(const Bytes& items) { return box("udta", metaBox(box("ilst", items))); }

}  // namespace

TEST(MovieHeader, VersionZeroAndOneCreationTimes) {
  EXPECT_EQ(parseIsobmff(mvhd(0, 3'700'000'000)).creation, "MP4-Time-V0:3700000000");
  EXPECT_EQ(parseIsobmff(mvhd(1, 0x00000001'00000002)).creation, "MP4-Time-V1:4294967298");
  EXPECT_EQ(parseIsobmff(mvhd(1, 0xFFFFFFFF'FFFFFFFF)).creation, "MP4-Time-V1:-1");
  EXPECT_EQ(parseIsobmff(mvhd(0, 0)).creation, "MP4-Time-V0:0");
  // The first header wins.
  EXPECT_EQ(parseIsobmff(concat({mvhd(0, 5), mvhd(0, 6)})).creation, "MP4-Time-V0:5");
  Bytes shortHeader = fullBox("mvhd", 0, 0, Bytes(15, 1));  // payload of 19 bytes
  EXPECT_EQ(parseIsobmff(shortHeader).creation, "");
}

TEST(MovieTracks, LargestWidthAndHeightFromAnyTrack) {
  const Bytes movie = concat({mvhd(0, 1), track(tkhd(0, 1920, 200)), track(tkhd(1, 640, 1080)),
                              track(box("mdia", Bytes(8, 0)))});
  const VideoMeta video = parseIsobmff(movie);
  EXPECT_EQ(video.width, 1920);
  EXPECT_EQ(video.height, 1080);
  Bytes truncatedV1 = tkhd(1, 4000, 3000);
  truncatedV1.resize(truncatedV1.size() - 12);  // 84 payload bytes: too short for version 1
  truncatedV1[3] = static_cast<uint8_t>(truncatedV1.size());
  EXPECT_EQ(parseIsobmff(track(truncatedV1)).width, 0);
}

TEST(MovieItems, ClassicItemsUnderUserData) {
  const Bytes movie = concat({mvhd(0, 100), udta(concat({ilstItem(kMake, "Canon"),
                                                         ilstItem(kModel, "EOS R5"),
                                                         ilstItem(kSoftware, "1.0"),
                                                         ilstItem(kSoftware, "1.1"),
                                                         ilstItem(kDay, "2024-05-01")}))});
  const VideoMeta video = parseIsobmff(movie);
  EXPECT_EQ(video.make, "Canon");
  EXPECT_EQ(video.model, "EOS R5");
  EXPECT_EQ(video.software, "1.1");        // later items overwrite
  EXPECT_EQ(video.creation, "MP4-Time-V0:100");  // the header came first
  EXPECT_EQ(parseIsobmff(udta(ilstItem(kDay, "2024-05-01T10:00:00"))).creation,
            "String:2024-05-01T10:00:00");
}

TEST(MovieItems, ValueIsTheFirstUtf8DataBox) {
  const Bytes item = box(kMake, concat({dataBox("\x01\x02", 21), box("free", {}), dataBox("Nikon")}));
  EXPECT_EQ(parseIsobmff(udta(item)).make, "Nikon");
  Bytes bytes = ilstItem(kModel, "Z9");
  EXPECT_EQ(readStringData(bytes, 8, static_cast<int64_t>(bytes.size())), "Z9");
  EXPECT_EQ(readStringData(bytes, 8, 20), "");  // the data box does not fit the range
}

TEST(MovieKeys, DigitAndBinaryIndexesSelectKeys) {
  const Bytes keys = keysBox({"com.apple.quicktime.make", "com.apple.quicktime.model",
                              "com.apple.quicktime.software", "com.apple.quicktime.creationdate",
                              "com.example.other"});
  const Bytes items = concat({ilstItem("0001", "Apple"), ilstItemIndexed(2, "iPhone 15 Pro"),
                              ilstItemIndexed(3, "17.1"),
                              ilstItemIndexed(4, "2024-01-02T03:04:05+0100"),
                              ilstItemIndexed(5, "ignored"), ilstItemIndexed(6, "no such key"),
                              ilstItemIndexed(0, "no key zero")});
  for (bool quickTimeStyle : {false, true}) {
    const VideoMeta video = parseIsobmff(metaBox(concat({keys, box("ilst", items)}), quickTimeStyle));
    EXPECT_EQ(video.make, "Apple");
    EXPECT_EQ(video.model, "iPhone 15 Pro");
    EXPECT_EQ(video.software, "17.1");
    EXPECT_EQ(video.creation, "String:2024-01-02T03:04:05+0100");
  }
}

TEST(MovieKeys, KeyListGrowsAcrossBoxes) {
  const Bytes movie = metaBox(concat({keysBox({"com.example.a"}), keysBox({"com.apple.quicktime.model"}),
                                      box("ilst", ilstItem("0002", "Pixel 8"))}));
  EXPECT_EQ(parseIsobmff(movie).model, "Pixel 8");
  const Bytes noKeys = metaBox(box("ilst", ilstItem("0001", "Pixel 8")));
  EXPECT_EQ(parseIsobmff(noKeys).model, "");
}

TEST(MovieKeys, MalformedKeyEntriesEndTheList) {
  Bytes keys = keysBox({"com.apple.quicktime.make", "com.apple.quicktime.model"});
  keys[16 + 32 + 3] = 7;  // second key's size below 8
  const Bytes movie = concat({metaBox(concat({keys, box("ilst", concat({ilstItem("0001", "Apple"),
                                                                  ilstItem("0002", "iPhone X")}))})),
                              kPadding});
  const VideoMeta video = parseIsobmff(movie);
  EXPECT_EQ(video.make, "Apple");
  EXPECT_EQ(video.model, "iPhone X");  // only through the fallback scan (text begins "iPhone")
  const Bytes other = metaBox(concat({keys, box("ilst", ilstItem("0002", "Pixel"))}));
  EXPECT_EQ(parseIsobmff(other).model, "");
}

TEST(MovieDepth, NestingIsReadToDepthThirtyTwo) {
  const auto nest = [](int levels, const Bytes& inner) {
    Bytes out = inner;
    for (int i = 0; i < levels; ++i) out = box("moov", out);
    return out;
  };
  EXPECT_EQ(parseIsobmff(nest(32, mvhd(0, 7))).creation, "MP4-Time-V0:7");
  EXPECT_EQ(parseIsobmff(nest(33, mvhd(0, 7))).creation, "");
  EXPECT_EQ(parseIsobmff(nest(40, mvhd(0, 7))).creation, "");
}

TEST(MovieWalk, BadSizesEndTheWalk) {
  Bytes movie = concat({openEndedBox("free", Bytes(8, 0)), mvhd(0, 9)});
  EXPECT_EQ(parseIsobmff(movie).creation, "");  // size 0 ends the walk
  Bytes overrun = concat({box("free", Bytes(8, 0)), mvhd(0, 9)});
  overrun[3] = 200;
  EXPECT_EQ(parseIsobmff(overrun).creation, "");
  const Bytes large = concat({largeBox("free", Bytes(4, 0)), mvhd(0, 9)});
  EXPECT_EQ(parseIsobmff(large).creation, "MP4-Time-V0:9");
  EXPECT_EQ(parseIsobmff(Bytes{}).creation, "");
}

TEST(MovieScan, FindsItemsOutsideTheKnownContainers) {
  const Bytes hidden = box("xtra", concat({ilstItem(kMake, "GoPro"), ilstItem(kModel, "HERO12"),
                                           ilstItem(kSoftware, "H23.01"), ilstItem(kDay, "2023")}));
  const VideoMeta video = parseIsobmff(concat({mvhd(0, 3), hidden, kPadding}));
  EXPECT_EQ(video.make, "GoPro");
  EXPECT_EQ(video.model, "HERO12");
  EXPECT_EQ(video.software, "H23.01");
  EXPECT_EQ(video.creation, "MP4-Time-V0:3");  // the scan fills only what is empty

  const VideoMeta apple = parseIsobmff(concat({box("xtra", concat({ilstItemIndexed(9, "Apple"),
                                                           ilstItemIndexed(9, "iPhone 12 mini")})),
                                             kPadding}));
  EXPECT_EQ(apple.make, "Apple");
  EXPECT_EQ(apple.model, "iPhone 12 mini");
}

TEST(MovieScan, KeepsItsSizeLimits) {
  const VideoMeta tooLong = parseIsobmff(concat({box("xtra", ilstItem(kMake, std::string(128, 'm'))), kPadding}));
  EXPECT_EQ(tooLong.make, "");  // data box of 144 bytes
  const VideoMeta longest = parseIsobmff(concat({box("xtra", ilstItem(kMake, std::string(127, 'm'))), kPadding}));
  EXPECT_EQ(longest.make, std::string(127, 'm'));
  const VideoMeta empty = parseIsobmff(concat({box("xtra", ilstItem(kMake, "")), kPadding}));
  EXPECT_EQ(empty.make, "");  // data box of 16 bytes holds no text
}

// Classic QuickTime user-data text: a 16-bit length, a 16-bit language code, then the text.
Bytes classicText(std::string_view type, std::string_view text, uint16_t length) {
  std::string payload = {static_cast<char>(length >> 8), static_cast<char>(length), 0x55, '\xC4'};
  payload += text;
  return box(type, Bytes(payload.begin(), payload.end()));
}

TEST(MovieFacts, ClassicUserDataTextFillsOnlyWhatItemListsLeave) {
  const Bytes classic = box("udta", concat({classicText(kMake, "Maker", 5),
                                            classicText(kModel, "Cam", 3),
                                            classicText(kSoftware, "Soft", 40),  // overruns
                                            classicText("\xA9" "day", "2021:03:04 05:06:07", 19)}));
  const VideoMeta alone = parseIsobmff(classic);
  EXPECT_EQ(alone.make, "Maker");
  EXPECT_EQ(alone.model, "Cam");
  EXPECT_EQ(alone.software, "");
  EXPECT_EQ(alone.creation, "String:2021:03:04 05:06:07");
  // An item list in a later udta keeps its values.
  const VideoMeta both = parseIsobmff(concat({classic, udta(ilstItem(kMake, "Listed"))}));
  EXPECT_EQ(both.make, "Listed");
  EXPECT_EQ(both.model, "Cam");
}
