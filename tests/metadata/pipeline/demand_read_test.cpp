// Reading a large file's prefix with bounded reads, as far as the parsers ask for it, instead of
// mapping it: whatever the file holds, the record (and the edit) a file read gives must be the
// one the file's bytes in memory give, and a file that shrinks while it is read raises no
// signal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "base/file.h"
#include "metadata/edit/load.h"
#include "metadata/edit/serialize.h"
#include "metadata/pipeline/read.h"
#include "support/builders.h"
#include "support/chunk_builder.h"
#include "support/exif_samples.h"
#include "support/isobmff_builder.h"
#include "support/same_record.h"
#include "support/sample_photo.h"
#include "support/temp_dir.h"

namespace orvel::metadata::pipeline {
namespace {

using namespace orvel::testing;

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Image data that is not metadata: a reader never needs it.
Bytes imageBytes(std::size_t size) {
  Bytes out(size);
  std::mt19937 random(static_cast<unsigned>(size));
  for (uint8_t& b : out) b = static_cast<uint8_t>(random());
  return out;
}

// Large files whose metadata lies beyond the first bytes, in every container.
std::vector<std::pair<std::string, Bytes>> largeFiles() {
  const Bytes tiff = cameraTiff({false, true, true, {}});
  const Bytes tiffBe = cameraTiff({true, true, true, {}});
  const Bytes packet = text("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF><rdf:Description "
                            "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='5'/></rdf:RDF></x:xmpmeta>");
  Bytes manyIdats = pngFile({pngIhdr()});  // libpng's 8 KiB chunks, text after them
  for (int i = 0; i < 40; ++i) manyIdats = concat({manyIdats, pngChunk("IDAT", imageBytes(8192 + i))});
  manyIdats = concat({manyIdats, pngChunk("zTXt", ztxtData("Comment", zlibStored(text("late")))), pngIend()});
  HeifBuilder heif;
  heif.item({1, "hvc1", "", imageBytes(300000), 1, 0}).item({2, "Exif", "", exifItemPayload(tiff), 1, 0});
  HeifBuilder scanned;  // an Exif item in two extents: found by the byte scan
  scanned.item({1, "hvc1", "", imageBytes(200000), 1, 0})
      .item({2, "Exif", "", exifItemPayload(tiffBe, text(std::string_view("Exif\0\0", 6))), 2, 0});
  TiffBuilder large(true);
  const int ifd0 = large.addIfd();
  const int exif = large.addIfd();
  large.bytes(ifd0, 0x00FE, 7, imageBytes(200000)).ascii(ifd0, 0x010F, "Big").pointer(ifd0, 0x8769, exif);
  large.ascii(exif, 0x9003, "2021:01:01 10:00:00").ascii(exif, 0xA434, "lens after the blob");
  Bytes jpeg = {0xFF, 0xD8};  // metadata segments beyond the 256 KiB a head read may take
  for (int i = 0; i < 5; ++i) jpeg = concat({jpeg, Bytes{0xFF, 0xE2, 0xFF, 0xFF}, imageBytes(65533)});
  const Bytes photo = samplePhotoJpeg({false, 1, 4000});
  jpeg.insert(jpeg.end(), photo.begin() + 2, photo.end());
  const Bytes moov = box("moov", concat({mvhd(0, 3800000000u), box("udta", ilstItem("\xA9mak", "Canon"))}));
  return {{"png", pngFile({pngIhdr(), pngChunk("eXIf", tiff), pngChunk("IDAT", imageBytes(300000)),
                           pngChunk("tEXt", textData("Title", "after the image")),
                           pngChunk("iTXt", itxtData("XML:com.adobe.xmp", false, "", "", packet)), pngIend()})},
          {"png-8k-idats", manyIdats},
          {"webp", webpFile({vp8xChunk(0x0C), riffChunk("VP8L", imageBytes(300001)), riffChunk("EXIF", tiffBe),
                             riffChunk("XMP ", packet)})},
          {"heif", heif.build()},
          {"heif-scanned", scanned.build()},
          {"tiff", large.build()},
          {"jpeg", jpeg},
          {"movie", concat({box("ftyp", text("qt  ")), box("mdat", imageBytes(200000)), moov})}};
}

// The file damaged where its structure is: bytes near its start and its end.
Bytes damaged(const Bytes& file, std::mt19937& random) {
  Bytes out = file;
  for (int i = 0; i < 3; ++i) {
    const std::size_t span = std::min<std::size_t>(4096, out.size());
    const std::size_t at = random() % 2 == 0 ? random() % span : out.size() - 1 - random() % span;
    out[at] = static_cast<uint8_t>(random());
  }
  return out;
}

TEST(DemandRead, AFileReadGivesWhatItsBytesGive) {
  const TempDir dir;
  std::mt19937 random(13);
  for (const auto& [name, file] : largeFiles()) {
    std::vector<Bytes> variants = {file};
    for (int k = 1; k <= 4; ++k) variants.emplace_back(file.begin(), file.begin() + file.size() * k / 5);
    for (int k = 0; k < 40; ++k) variants.push_back(damaged(file, random));
    for (std::size_t v = 0; v < variants.size(); ++v) {
      SCOPED_TRACE(name + " variant " + std::to_string(v));
      const Bytes& bytes = variants[v];
      const std::string path = dir.file(name + std::to_string(v), bytes);
      ASSERT_TRUE(sameRecord(readMetadata(path, kDefaultReadPrefix), readMetadataFromBytes(bytes)));
      EXPECT_EQ(edit::serialize(edit::parseExif(path)), edit::serialize(edit::parseExifBytes(bytes)));
    }
    EXPECT_TRUE(readMetadataFromBytes(file).isValid) << name;
  }
}

// A file cut short by another process while its prefix is being read: reading past the new
// end raises no signal (as a mapping of the file would: SIGBUS), and the read says it failed.
TEST(DemandRead, AFileThatShrinksWhileReadRaisesNoSignal) {
  const TempDir dir;
  const Bytes bytes = imageBytes(1 << 20);
  const std::string path = dir.file("shrinking", bytes);
  base::ReadOnlyFile file(path);
  const auto prefix = file.prefix(file.size());
  ASSERT_TRUE(prefix.has_value());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 1000, prefix->begin()));
  ASSERT_EQ(::truncate(path.c_str(), 100000), 0);
  base::demand(*prefix, 500000, 100);
  EXPECT_TRUE(file.demandFailed());
  EXPECT_FALSE(readMetadata(path, kDefaultReadPrefix).isValid);
}

}  // namespace
}  // namespace orvel::metadata::pipeline
