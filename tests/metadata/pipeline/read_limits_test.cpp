// Bounds on what one read may do: directory entries read and text rendered. A hostile file
// cannot make a read take hours or gigabytes; no camera file comes near the bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "metadata/edit/load.h"
#include "metadata/pipeline/read.h"
#include "base/read_limits.h"
#include "support/builders.h"

namespace orvel::metadata::pipeline {

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::edit;

namespace {

using namespace orvel::testing;

constexpr uint16_t kUndefined = 7;
constexpr uint16_t kFirstUnknownTag = 0xE000;

std::string unknownName(uint16_t tag) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string name = "Unknown:0x";
  for (int shift = 12; shift >= 0; shift -= 4) name.push_back(kDigits[(tag >> shift) & 15]);
  return name;
}

// A TIFF whose entries all name one region of `regionBytes` bytes, rendered as hex pairs.
Bytes entriesNamingOneRegion(int entries, uint32_t regionBytes) {
  Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  appendLE16(tiff, static_cast<uint16_t>(entries));
  const uint32_t region = 8 + 2 + 12 * static_cast<uint32_t>(entries) + 4;
  for (int i = 0; i < entries; ++i) {
    appendLE16(tiff, static_cast<uint16_t>(kFirstUnknownTag + i));
    appendLE16(tiff, kUndefined);
    appendLE32(tiff, regionBytes);
    appendLE32(tiff, region);
  }
  appendLE32(tiff, 0);
  tiff.resize(region + regionBytes, 0x80);  // not printable, so hex
  return tiff;
}

std::size_t renderedBytes(const Metadata& meta) {
  std::size_t total = 0;
  for (const auto& [name, value] : meta.tags) total += value.size();
  return total;
}

}  // namespace

TEST(ReadLimits, GrantsEntriesAndRenderingUntilTheLimits) {
  EXPECT_FALSE(readLimitsActive());
  EXPECT_EQ(grantEntries(5000), 5000);  // outside a read nothing is bounded
  {
    const ReadLimits limits(1000, 10);
    EXPECT_TRUE(readLimitsActive());
    EXPECT_EQ(grantEntries(600), 600);
    EXPECT_EQ(grantEntries(600), 400);
    EXPECT_EQ(grantEntries(1), 0);
    EXPECT_TRUE(mayProduceOutput());
    chargeOutput(25);  // the value that crosses the limit is kept whole
    EXPECT_FALSE(mayProduceOutput());
  }
  EXPECT_FALSE(readLimitsActive());
  EXPECT_TRUE(mayProduceOutput());
}

TEST(ReadLimits, DirectoriesBeyondTheEntryLimitAreReadEmpty) {
  // A chain of three directories of 600 entries, each with tags of its own holding its number.
  TiffBuilder tiff;
  const auto tagOf = [](int ifd, int i) { return static_cast<uint16_t>(kFirstUnknownTag + 600 * ifd + i); };
  for (int ifd = 0; ifd < 3; ++ifd) {
    tiff.addIfd();
    for (int i = 0; i < 600; ++i) tiff.shorts(ifd, tagOf(ifd, i), {static_cast<uint16_t>(ifd)});
    if (ifd > 0) tiff.chain(ifd - 1, ifd);
  }
  const Bytes block = tiff.build();
  EXPECT_EQ(*readMetadataFromBytes(block).tags.find(unknownName(tagOf(2, 599))), "2");

  const ReadLimits limits(1000, kOutputBytesPerRead);
  const Metadata meta = readMetadataFromBytes(block);
  // IFD0 whole, IFD1 its first 400 entries, IFD2 nothing.
  EXPECT_EQ(*meta.tags.find(unknownName(tagOf(0, 599))), "0");
  EXPECT_EQ(*meta.tags.find(unknownName(tagOf(1, 399))), "1");
  EXPECT_FALSE(meta.tags.contains(unknownName(tagOf(1, 400))));
  EXPECT_FALSE(meta.tags.contains(unknownName(tagOf(2, 0))));
}

TEST(ReadLimits, RenderingStopsAtTheTextLimit) {
  const Bytes file = entriesNamingOneRegion(10, 1000);  // 2,999 characters each
  const ReadLimits limits(kEntriesPerRead, 7000);
  const Metadata meta = readMetadataFromBytes(file);
  for (uint16_t i = 0; i < 10; ++i) {
    EXPECT_EQ(meta.tags.find(unknownName(kFirstUnknownTag + i))->size(), i < 3 ? 2999u : 0u) << i;
  }
}

TEST(ReadLimits, EntriesNamingOneLargeRegionStayWithinTheDefaultLimit) {
  // Unbounded, 40 entries naming one MiB would render 120 MiB of text.
  const Bytes file = entriesNamingOneRegion(40, 1 << 20);
  const Metadata meta = readMetadataFromBytes(file);
  const std::size_t perValue = (std::size_t{3} << 20) - 1;
  EXPECT_LE(renderedBytes(meta), static_cast<std::size_t>(kOutputBytesPerRead) + perValue);
  EXPECT_GE(renderedBytes(meta), static_cast<std::size_t>(kOutputBytesPerRead));
  EXPECT_EQ(meta.tags.find(unknownName(kFirstUnknownTag))->size(), perValue);
  EXPECT_TRUE(meta.tags.find(unknownName(kFirstUnknownTag + 39))->empty());
}

TEST(ReadLimits, LoadingForAnEditCopiesNoMoreThanTheLimit) {
  const Bytes file = entriesNamingOneRegion(80, 1 << 20);
  const ExifEdit edit = parseExifBytes(file);
  std::size_t copied = 0;
  std::size_t loaded = 0;
  for (uint16_t i = 0; i < 80; ++i) {
    if (const ExifValue* value = edit.ifd0.find(static_cast<uint16_t>(kFirstUnknownTag + i))) {
      copied += value->bytes.size();
      ++loaded;
    }
  }
  EXPECT_EQ(loaded, 64u);  // 64 MiB of values, one MiB each; the rest are dropped
  EXPECT_EQ(copied, std::size_t{64} << 20);
}

}  // namespace orvel::metadata::pipeline
