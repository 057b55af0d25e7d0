// Canon CR3 raw files: the four TIFF blocks of the "moov" uuid box read against a JPEG holding
// the same directories, and hostile blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "metadata/edit/write.h"
#include "metadata/pipeline/read.h"
#include "support/builders.h"
#include "support/isobmff_builder.h"
#include "support/makernote_builder.h"
#include "support/temp_dir.h"

using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;
using namespace orvel::testing;

namespace {

using Fill = std::function<void(TiffBuilder&, int)>;

void fillIfd0(TiffBuilder& t, int d) {
  t.ascii(d, 0x010F, "Canon");
  t.ascii(d, 0x0110, "Canon EOS R5");
  t.shorts(d, 0x0112, {6});
  t.ascii(d, 0x0132, "2023:05:06 07:08:09");
}

void fillExif(TiffBuilder& t, int d) {
  t.rationals(d, 0x829A, {{1, 250}});
  t.rationals(d, 0x829D, {{28, 10}});
  t.shorts(d, 0x8827, {400});
  t.ascii(d, 0x9003, "2023:05:06 07:08:09");
  t.srationals(d, 0x9204, {{-1, 3}});
}

void fillGps(TiffBuilder& t, int d) {
  t.ascii(d, 0x0001, "S");
  t.rationals(d, 0x0002, {{33, 1}, {51, 1}, {3156, 100}});
  t.ascii(d, 0x0003, "E");
  t.rationals(d, 0x0004, {{151, 1}, {12, 1}, {3000, 100}});
  t.rationals(d, 0x0006, {{58, 1}});
}

NoteIfdBuilder canonDirectory(bool bigEndian) {
  NoteIfdBuilder note(bigEndian);
  note.shorts(0x0001, {0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 5});
  note.ascii(0x0006, "Canon EOS R5");
  note.ascii(0x0007, "Firmware Version 1.8.1");
  note.longs(0x000C, {1234567});
  return note;
}

// The JPEG: IFD0 pointing at the Exif and GPS directories, the maker note in the Exif one.
Bytes referenceJpeg(bool bigEndian) {
  const NoteIfdBuilder note = canonDirectory(bigEndian);
  const auto size = static_cast<uint32_t>(canonNote(note, 0).size());
  auto build = [&](uint32_t noteOffset) {
    TiffBuilder t(bigEndian);
    const int ifd0 = t.addIfd(), exif = t.addIfd(), gps = t.addIfd();
    fillIfd0(t, ifd0);
    t.pointer(ifd0, 0x8769, exif);
    t.pointer(ifd0, 0x8825, gps);
    fillExif(t, exif);
    t.bytes(exif, 0x927C, 7, canonNote(note, noteOffset));
    fillGps(t, gps);
    return t.build();
  };
  // The note's data offsets count from the TIFF header: find where it lands, then rebuild.
  const Bytes first = build(0);
  const Bytes placed = canonNote(note, 0);
  const auto at = std::search(first.begin(), first.end(), placed.begin(), placed.end());
  EXPECT_NE(at, first.end());
  const Bytes tiff = build(static_cast<uint32_t>(at - first.begin()));
  EXPECT_EQ(canonNote(note, static_cast<uint32_t>(at - first.begin())).size(), size);
  return JpegBuilder().app0Jfif().app1Exif(tiff).finish();
}

Bytes tiffWith(bool bigEndian, const Fill& fill) {
  TiffBuilder t(bigEndian);
  fill(t, t.addIfd());
  return t.build();
}

Bytes noteBlock(const NoteIfdBuilder& note) {
  Bytes out = bytesOf(note.bigEndian() ? "MM" : "II");
  appendBytes(out, note.u16(42));
  appendBytes(out, note.u32(8));
  appendBytes(out, canonNote(note, 8));
  return out;
}

struct Cr3Parts {
  Bytes cmt[4];
  Bytes uuidBox;  // built from cmt when empty
};

Cr3Parts standardParts(bool bigEndian) {
  Cr3Parts parts;
  parts.cmt[0] = tiffWith(bigEndian, fillIfd0);
  parts.cmt[1] = tiffWith(bigEndian, fillExif);
  parts.cmt[2] = noteBlock(canonDirectory(bigEndian));
  parts.cmt[3] = tiffWith(bigEndian, fillGps);
  return parts;
}

Bytes cr3Of(const Cr3Parts& parts) {
  return canonRawFile({parts.cmt[0], parts.cmt[1], parts.cmt[2], parts.cmt[3]}, parts.uuidBox);
}

std::vector<std::pair<std::string, std::string>> tagsWithout(const Metadata& meta,
                                                             std::vector<std::string> dropped) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [name, value] : meta.tags) {
    if (std::find(dropped.begin(), dropped.end(), name) == dropped.end()) out.emplace_back(name, value);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void expectSameAsJpeg(const Metadata& raw, const Metadata& jpeg) {
  // The JPEG's IFD0 also names the directories it points at.
  EXPECT_EQ(tagsWithout(raw, {}), tagsWithout(jpeg, {"ExifOffset", "GPSInfo"}));
  EXPECT_EQ(raw.isValid, jpeg.isValid);
  EXPECT_EQ(raw.camera, jpeg.camera);
  EXPECT_EQ(raw.orientation, jpeg.orientation);
  EXPECT_EQ(raw.latitude, jpeg.latitude);
  EXPECT_EQ(raw.longitude, jpeg.longitude);
  EXPECT_EQ(raw.altitude, jpeg.altitude);
  EXPECT_EQ(raw.dateTaken.unixSeconds, jpeg.dateTaken.unixSeconds);
}

TEST(CanonRaw, ReadsLikeAJpegWithTheSameDirectories) {
  const TempDir dir;
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const Bytes cr3 = cr3Of(standardParts(bigEndian));
    const Metadata jpeg = readMetadataFromBytes(referenceJpeg(bigEndian));
    const Metadata raw = readMetadataFromBytes(cr3);
    ASSERT_NE(jpeg.tags.find("Canon:ImageType"), nullptr);  // the maker note was read
    ASSERT_NE(jpeg.tags.find("GPSLatitude"), nullptr);
    expectSameAsJpeg(raw, jpeg);
    // A prefix too short for "moov": the box is read from the file.
    const std::string path = dir.file("raw.cr3", cr3);
    expectSameAsJpeg(readMetadata(path, 16), jpeg);
    // Its EXIF lies in no item that could be blanked: stripping is refused.
    EXPECT_TRUE(edit::stripMetadataBytes(cr3).empty());
  }
}

std::string tagOr(const Metadata& meta, std::string_view name) {
  const std::string* value = meta.tags.find(name);
  return value ? *value : "<absent>";
}

TEST(CanonRaw, HostileBlocksStayInsideTheirBox) {
  struct Case {
    const char* name;
    std::function<void(Cr3Parts&)> mutate;
    // Tag name and its value: "<absent>", or "*" for any value.
    std::vector<std::pair<const char*, const char*>> expected;
  };
  const Case cases[] = {
      {"Exif block cut inside its directory",
       [](Cr3Parts& p) { p.cmt[1].resize(10); },
       {{"Make", "*"}, {"ExposureTime", "<absent>"}, {"Canon:ImageType", "*"}}},
      {"IFD0 offset past the block",
       [](Cr3Parts& p) { p.cmt[0][4] = 0xF0, p.cmt[0][5] = 0xFF, p.cmt[0][6] = 0xFF; },
       {{"Make", "<absent>"}, {"ExposureTime", "*"}, {"GPSLatitude", "*"}}},
      {"Exif value offset into the next block",
       [](Cr3Parts& p) {
         TiffBuilder t(false);
         const int d = t.addIfd();
         t.rawOffset(d, 0x829A, 5, 1, static_cast<uint32_t>(p.cmt[1].size() + 12));
         t.shorts(d, 0x8827, {400});
         p.cmt[1] = t.build();
       },
       // No bytes of the next block: an empty rational.
       {{"ExposureTime", "0"}, {"ISO", "400"}}},
      {"maker note value far outside its block",
       [](Cr3Parts& p) {
         NoteIfdBuilder note(false);
         note.rawOffset(0x0007, 2, 64, 0x7FFFFFF0);
         note.ascii(0x0006, "Canon EOS R5");
         p.cmt[2] = noteBlock(note);
       },
       {{"Canon:ImageType", "*"}, {"Canon:FirmwareVersion", "<absent>"}, {"Make", "*"}}},
      {"maker note directory count running off its block",
       [](Cr3Parts& p) {
         NoteIfdBuilder note(false);
         note.claimedCount(0xFFFF).ascii(0x0006, "Canon EOS R5");
         p.cmt[2] = noteBlock(note);
       },
       {{"Make", "*"}, {"GPSLatitude", "*"}}},
      {"GPS block size overflowing the uuid box",
       [](Cr3Parts& p) {
         Bytes payload = kCanonRawUuid;
         for (int i = 0; i < 3; ++i) appendBytes(payload, box("CMT" + std::to_string(i + 1), p.cmt[i]));
         Bytes gps = box("CMT4", p.cmt[3]);
         gps[0] = gps[1] = gps[2] = gps[3] = 0xFF;
         appendBytes(payload, gps);
         p.uuidBox = box("uuid", payload);
       },
       {{"Make", "*"}, {"ExposureTime", "*"}, {"GPSLatitude", "<absent>"}}},
      {"uuid box with a 64-bit size beyond the file",
       [](Cr3Parts& p) {
         Bytes payload = kCanonRawUuid;
         appendBytes(payload, box("CMT1", p.cmt[0]));
         p.uuidBox = largeBox("uuid", payload);
         p.uuidBox[8] = 0x7F;
       },
       {{"Make", "<absent>"}, {"Canon:ImageType", "<absent>"}}},
      {"blocks too short for a TIFF header",
       [](Cr3Parts& p) {
         for (Bytes& block : p.cmt) block.resize(6);
       },
       {{"Make", "<absent>"}, {"ExposureTime", "<absent>"}, {"ImageWidth", "*"}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Cr3Parts parts = standardParts(false);
    test.mutate(parts);
    const Metadata meta = readMetadataFromBytes(cr3Of(parts));
    for (const auto& [name, value] : test.expected) {
      const std::string found = tagOr(meta, name);
      if (value == std::string_view("*")) {
        EXPECT_NE(found, "<absent>") << name;
      } else {
        EXPECT_EQ(found, value) << name;
      }
    }
  }
}

}  // namespace
