// Reading a large JPEG from its first bytes. Whenever a head gives a record, it must be the
// record the whole prefix gives, whatever the file holds; and for ordinary photos a head that
// reaches just past the start-of-scan marker is enough.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/head_watch.h"
#include "metadata/iptc/iptc.h"
#include "metadata/pipeline/locate.h"
#include "metadata/pipeline/read.h"
#include "container/tiff.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"
#include "support/exif_samples.h"
#include "support/makernote_builder.h"
#include "support/sample_photo.h"
#include "support/same_record.h"
#include "support/temp_dir.h"
#include "support/vendor_notes.h"

namespace orvel::metadata::pipeline {

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::iptc;
using namespace orvel::metadata::xmp;

namespace {

using namespace orvel::testing;

constexpr uint16_t kAscii = 2;
constexpr uint16_t kImageDescription = 0x010E;
constexpr uint16_t kMake = 0x010F;
constexpr int64_t kPrefix = kDefaultReadPrefix;

std::optional<Metadata> fromHead(const Bytes& file, int64_t length) {
  return readMetadataFromHead(ByteView(file).first(static_cast<std::size_t>(length)));
}

// Every head length from 16 bytes to the whole file: a record the head gives must be the
// whole file's. Returns how many heads gave one.
int headsAgreeing(const Bytes& file) {
  const Metadata whole = readMetadataFromBytes(file);
  int used = 0;
  for (int64_t length = 16; length < static_cast<int64_t>(file.size()); ++length) {
    const std::optional<Metadata> head = fromHead(file, length);
    if (!head) continue;
    ++used;
    if (!sameRecord(*head, whole)) {
      ADD_FAILURE() << "the head of " << length << " bytes gave another record";
      break;
    }
  }
  return used;
}

// The shortest head the walks need: one byte past the start-of-scan marker's length field.
int64_t shortestHead(const Bytes& file) { return jpegSegmentsEnd(file) + 1; }

Bytes withTrailer(Bytes file, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) file.push_back(static_cast<uint8_t>(0x20 + i % 0x50));
  return file;
}

Bytes fixture(const std::string& name) {
  std::ifstream in(std::string(ORVEL_FIXTURES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Ordinary photos: sample cameras in both byte orders, every vendor's maker note, and
// exiftool-written files with IPTC and XMP.
std::vector<std::pair<std::string, Bytes>> ordinaryPhotos() {
  std::vector<std::pair<std::string, Bytes>> out;
  for (int variant = 0; variant < 4; ++variant) {
    out.emplace_back("sample " + std::to_string(variant),
                     samplePhotoJpeg({variant % 2 == 1, variant, 2048}));
  }
  out.emplace_back("camera", withTrailer(cameraJpeg(), 1024));
  for (const VendorNoteCase& c : vendorNoteCases()) {
    out.emplace_back(std::string(c.name) + (c.bigEndian ? " big-endian" : " little-endian"),
                     withTrailer(jpegWithMakerNote(c.bigEndian, c.make, c.model, c.note), 512));
  }
  for (const char* name : {"combined.jpg", "iptc.jpg", "xmp_attributes.jpg", "xmp_elements.jpg"}) {
    out.emplace_back(name, withTrailer(fixture(std::string("packets/") + name), 512));
  }
  return out;
}

// A JPEG whose ImageDescription lies at `valueAt` in the file, far past its APP1 segment.
Bytes jpegWithFarValue(std::size_t fileLength, std::size_t valueAt) {
  constexpr std::size_t kTiffStart = 12;  // SOI, APP1 marker and length, "Exif\0\0"
  const std::string text = "far away text";
  TiffBuilder tiff;
  const int ifd0 = tiff.addIfd();
  tiff.ascii(ifd0, kMake, "Canon");
  tiff.rawOffset(ifd0, kImageDescription, kAscii, static_cast<uint32_t>(text.size() + 1),
                 static_cast<uint32_t>(valueAt - kTiffStart));
  Bytes file = JpegBuilder().app1Exif(tiff.build()).finish(Bytes(1024, 0x41));
  file.resize(fileLength, 0x42);
  std::copy(text.begin(), text.end(), file.begin() + static_cast<std::ptrdiff_t>(valueAt));
  file[valueAt + text.size()] = 0;
  return file;
}

// A JPEG whose Exif pointer names a directory at `directoryAt` in the file, in the scan.
Bytes jpegWithFarDirectory(std::size_t fileLength, std::size_t directoryAt) {
  constexpr std::size_t kTiffStart = 12;
  constexpr uint16_t kLong = 4;
  TiffBuilder tiff;
  const int ifd0 = tiff.addIfd();
  tiff.ascii(ifd0, kMake, "Canon");
  tiff.entry(ifd0, 0x8769, kLong, 1, tiff.u32(static_cast<uint32_t>(directoryAt - kTiffStart)));
  Bytes file = JpegBuilder().app1Exif(tiff.build()).finish(Bytes(1024, 0x41));
  file.resize(fileLength, 0x42);
  Bytes directory;
  appendLE16(directory, 2);
  for (const auto& [tag, value] : {std::pair<uint16_t, uint16_t>{0x8827, 200}, {0xA217, 2}}) {
    appendLE16(directory, tag);
    appendLE16(directory, 3);  // SHORT
    appendLE32(directory, 1);
    appendLE32(directory, value);
  }
  appendLE32(directory, 0);
  std::copy(directory.begin(), directory.end(),
            file.begin() + static_cast<std::ptrdiff_t>(directoryAt));
  return file;
}

// A JPEG whose metadata segments are preceded by `count` APP2 segments of 60 KiB.
Bytes jpegAfterLongSegments(int count, std::size_t fileLength) {
  JpegBuilder builder;
  for (int i = 0; i < count; ++i) builder.segment(0xE2, Bytes(60 << 10, static_cast<uint8_t>(i)));
  Bytes file = builder.app1Exif(samplePhotoTiff({false, 1, 0})).finish(Bytes(512, 0x30));
  file.resize(std::max(file.size(), fileLength), 0x31);
  return file;
}

}  // namespace

TEST(HeadWatch, OnlyQuestionsAboutTheHeadsEndCount) {
  const Bytes bytes(64, 1);
  const ByteView all(bytes);
  const ByteView head = all.first(32);
  const HeadWatch watch(head);
  EXPECT_TRUE(inBounds(head, 0, 32));
  EXPECT_FALSE(inBounds(head.first(16), 10, 10));  // a view that ends earlier ends there anyway
  EXPECT_FALSE(inBounds(head, -1, 2));              // nothing fits before the start
  EXPECT_FALSE(watch.overrun());
  {
    const HeadWatch inner(all.first(48));
    EXPECT_FALSE(inBounds(all.first(48), 40, 10));
    EXPECT_TRUE(inner.overrun());
  }
  EXPECT_FALSE(watch.overrun());  // the outer watch is restored as it was
  EXPECT_EQ(readUint32(head, 30, false), 0u);
  EXPECT_TRUE(watch.overrun());
}

// Each walk over a file's segments or directories reports reaching the end of the bytes, so a
// head that cuts it is never taken for the whole file.
TEST(HeadWatch, EveryWalkReportsACutByTheHead) {
  const Bytes plain = JpegBuilder().app0Jfif().segment(0xE2, Bytes(40, 7)).finish();
  const int64_t segmentsEnd = jpegSegmentsEnd(plain);
  for (int64_t length = 4; length < segmentsEnd; ++length) {
    SCOPED_TRACE(length);
    const ByteView head = ByteView(plain).first(static_cast<std::size_t>(length));
    const auto cutWalk = [&](auto walk) {
      const HeadWatch watch(head);
      walk(head);
      return watch.overrun();
    };
    EXPECT_TRUE(cutWalk([](ByteView data) { return findExifAPP1(data); }));
    EXPECT_TRUE(cutWalk([](ByteView data) { return findXmpApp1(data); }));
    EXPECT_TRUE(cutWalk([](ByteView data) { return findApp13Iptc(data); }));
  }
  // A directory whose entries run past the head.
  TiffBuilder tiff;
  const int ifd0 = tiff.addIfd();
  for (uint16_t tag = 0x0100; tag < 0x0106; ++tag) tiff.shorts(ifd0, tag, {tag});
  const Bytes block = tiff.build();
  const int64_t entriesEnd = tiff.ifdOffset(ifd0) + 2 + 6 * 12;
  for (int64_t length = tiff.ifdOffset(ifd0) + 2; length < entriesEnd; ++length) {
    const ByteView head = ByteView(block).first(static_cast<std::size_t>(length));
    const HeadWatch watch(head);
    readIFD(head, tiff.ifdOffset(ifd0), 0, false);
    EXPECT_TRUE(watch.overrun()) << length;
  }
}

TEST(JpegSegments, EndAtTheScanOrWhereTheChainBreaks) {
  const Bytes photo = samplePhotoJpeg({false, 0, 256});
  const std::array<uint8_t, 2> startOfScan = {0xFF, 0xDA};
  const auto scan = std::search(photo.begin(), photo.end(), startOfScan.begin(), startOfScan.end());
  ASSERT_NE(scan, photo.end());
  const int64_t scanAt = scan - photo.begin();
  EXPECT_EQ(jpegSegmentsEnd(photo), scanAt + 4);
  EXPECT_GT(jpegSegmentsEnd(ByteView(photo).first(40)), 40);  // the head holds too little
  Bytes broken = JpegBuilder().app0Jfif().finish();
  broken[20] = 0x00;  // where the next marker should begin
  EXPECT_EQ(jpegSegmentsEnd(broken), 24);
}

TEST(HeadRead, EveryHeadOfOrdinaryPhotosAgreesWithTheWholeFile) {
  for (const auto& [name, file] : ordinaryPhotos()) {
    SCOPED_TRACE(name);
    ASSERT_GT(file.size(), 600u);
    EXPECT_GT(headsAgreeing(file), 0);
    // Everything lies before the scan, so the shortest head suffices.
    const std::optional<Metadata> head = fromHead(file, shortestHead(file));
    ASSERT_TRUE(head.has_value());
    EXPECT_TRUE(sameRecord(*head, readMetadataFromBytes(file)));
  }
}

TEST(HeadRead, DeclinesWhileAValueOrDirectoryLiesBeyondTheHead) {
  struct FarCase {
    const char* what;
    Bytes file;
    const char* tag;
    const char* value;
    int64_t cutInside;  // a head ending inside the far bytes
  };
  const FarCase cases[] = {
      {"value", jpegWithFarValue(6000, 4000), "ImageDescription", "far away text", 4000 + 13},
      {"directory", jpegWithFarDirectory(6000, 4000), "ISO", "200", 4000 + 20}};
  for (const FarCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Metadata whole = readMetadataFromBytes(c.file);
    const std::string* found = whole.tags.find(c.tag);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, c.value);
    EXPECT_FALSE(fromHead(c.file, shortestHead(c.file)).has_value());
    EXPECT_FALSE(fromHead(c.file, c.cutInside).has_value());
    EXPECT_GT(headsAgreeing(c.file), 0);
  }
  // Once the head holds the text and its terminator, it suffices.
  EXPECT_TRUE(fromHead(cases[0].file, 4000 + 14).has_value());
}

TEST(HeadRead, RandomDamageNeverMakesAHeadDisagree) {
  std::vector<Bytes> bases;
  for (const auto& entry : ordinaryPhotos()) bases.push_back(entry.second);
  std::mt19937 random(20261208);
  int used = 0;
  for (int round = 0; round < 6000; ++round) {
    Bytes file = bases[random() % bases.size()];
    const auto segmentsEnd =
        static_cast<uint32_t>(std::min<int64_t>(jpegSegmentsEnd(file), file.size()));
    for (int k = 1 + static_cast<int>(random() % 6); k > 0; --k) {
      const uint32_t at = 2 + random() % (segmentsEnd - 2);
      if (random() % 2 == 0 || at + 4 > file.size()) {
        file[at] = static_cast<uint8_t>(random());
      } else {
        // A plausible offset or count, often just past the metadata.
        const uint32_t value = random() % static_cast<uint32_t>(file.size() + 64);
        const bool bigEndian = random() % 2 == 0;
        for (int i = 0; i < 4; ++i) {
          const int shift = bigEndian ? 24 - 8 * i : 8 * i;
          file[at + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> shift);
        }
      }
    }
    const int64_t length = 16 + static_cast<int64_t>(random() % (file.size() - 16));
    const std::optional<Metadata> head = fromHead(file, length);
    if (!head) continue;
    ++used;
    ASSERT_TRUE(sameRecord(*head, readMetadataFromBytes(file)))
        << "round " << round << ", head of " << length << " bytes";
  }
  EXPECT_GT(used, 600);
}

TEST(ReadFile, LargeJpegGivesThePrefixRecordAndItsHeadSuffices) {
  TempDir dir;
  Bytes large = cameraJpeg();
  large.resize(20u << 20, 0x55);  // the EXIF in the first kilobytes, then a long scan
  const std::string path = dir.file("large.jpg", large);
  const Metadata meta = readMetadata(path, kPrefix);
  EXPECT_EQ(meta.camera, "Canon Canon EOS 5D Mark IV");
  EXPECT_TRUE(sameRecord(meta, readMetadataFromBytes(ByteView(large).first(kPrefix))));
  EXPECT_TRUE(fromHead(large, 16 << 10).has_value());
}

TEST(ReadFile, LargeJpegWithAValueFarBeyondItsHeadReadsThePrefix) {
  TempDir dir;
  for (const std::size_t valueAt : {std::size_t{8} << 20, std::size_t{17} << 20}) {
    SCOPED_TRACE(valueAt);
    const Bytes file = jpegWithFarValue(20u << 20, valueAt);
    const std::string path = dir.file("far.jpg", file);
    const Metadata meta = readMetadata(path, kPrefix);
    EXPECT_TRUE(sameRecord(meta, readMetadataFromBytes(ByteView(file).first(kPrefix))));
    // Within the prefix the text is found; beyond it, not.
    const std::string* description = meta.tags.find("ImageDescription");
    const bool found = description != nullptr && *description == "far away text";
    EXPECT_EQ(found, valueAt < (std::size_t{16} << 20));
  }
}

TEST(ReadFile, LongSegmentsBeforeTheExifGrowTheHeadOrMapThePrefix) {
  TempDir dir;
  // Two segments: the head grows to hold them; six: they reach past the head's limit; one
  // in a file barely longer: the head becomes the whole file.
  const std::vector<std::pair<int, std::size_t>> shapes = {
      {2, std::size_t{3} << 20}, {6, std::size_t{3} << 20}, {1, std::size_t{66} << 10}};
  for (const auto& [count, length] : shapes) {
    SCOPED_TRACE(count);
    const Bytes file = jpegAfterLongSegments(count, length);
    const std::string path = dir.file("long.jpg", file);
    const Metadata meta = readMetadata(path, kPrefix);
    EXPECT_TRUE(meta.isValid);
    EXPECT_EQ(meta.camera, readMetadataFromBytes(file).camera);
    EXPECT_TRUE(sameRecord(meta, readMetadataFromBytes(file)));
  }
}

}  // namespace orvel::metadata::pipeline
