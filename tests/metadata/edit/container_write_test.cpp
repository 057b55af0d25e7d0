// Writing and stripping PNG, WebP and HEIF/AVIF files: metadata replaced or gone, image data
// byte-identical, and the results readable by our reader and by exiftool.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "edit_test_util.h"
#include "support/chunk_builder.h"
#include "support/exif_samples.h"
#include "support/isobmff_builder.h"
#include "metadata/edit/edit.h"
#include "metadata/edit/load.h"
#include "container/isobmff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/movie/movie.h"
#include "metadata/pipeline/locate.h"
#include "metadata/pipeline/read.h"
#include "metadata/edit/write.h"

namespace orvel::metadata::edit {

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::movie;
using namespace orvel::metadata::pipeline;

namespace {

using testing::Bytes;

Bytes fixture(const std::string& name) {
  return testing::readBytes(std::string(ORVEL_FIXTURES) + "/containers/" + name);
}

// Chunks of a PNG (type → concatenated whole chunks) or a WebP (FourCC → payloads).
std::string pngChunksOfType(const Bytes& png, std::string_view type) {
  std::string out;
  for (std::size_t p = 8; p + 12 <= png.size();) {
    const std::size_t n = readUint32(png, static_cast<int64_t>(p), true);
    if (p + 12 + n > png.size()) break;
    if (std::string_view(reinterpret_cast<const char*>(png.data()) + p + 4, 4) == type) {
      out.append(reinterpret_cast<const char*>(png.data()) + p, n + 12);
    }
    p += 12 + n;
  }
  return out;
}

std::string webpChunksOfType(const Bytes& webp, std::string_view type) {
  std::string out;
  for (std::size_t p = 12; p + 8 <= webp.size();) {
    const std::size_t n = readUint32(webp, static_cast<int64_t>(p), false);
    if (p + 8 + n > webp.size()) break;
    if (std::string_view(reinterpret_cast<const char*>(webp.data()) + p, 4) == type) {
      out.append(reinterpret_cast<const char*>(webp.data()) + p + 8, n);
    }
    p += 8 + n + (n & 1);
  }
  return out;
}

// Read back through the edit loader, which finds the block in every container.
std::string tagOf(const Bytes& bytes, const char* name) {
  const std::string_view wanted = name;
  const uint16_t tag = wanted == "Artist" ? 0x013B : wanted == "Make" ? 0x010F : 0x0110;
  const ExifEdit edit = parseExifBytes(bytes);
  const ExifValue* value = edit.ifd0.find(tag);
  return value == nullptr ? "<absent>" : value->text;
}

void checkWithExiftool(const Bytes& bytes, const std::string& name, const char* artist) {
  if (!testing::haveExiftool()) return;
  testing::ScratchDir dir;
  const std::string path = dir.file(name);
  testing::writeBytes(path, bytes);
  const std::string report = testing::exiftoolValidate(path);
  EXPECT_EQ(report.find("Error"), std::string::npos) << report;
  EXPECT_EQ(testing::exiftoolTag(path, "Artist"), artist) << name;
}

Bytes rewrite(const Bytes& source, const char* artist) {
  ExifEdit edit = parseExifBytes(source);
  setArtist(edit, artist);
  return writeExifBytes(source, edit);
}

TEST(ContainerWrite, PngKeepsItsImageChunks) {
  const Bytes png = fixture("chunks.png");
  ASSERT_FALSE(png.empty());
  const Bytes written = rewrite(png, "Png Person");
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(pngChunksOfType(written, "IDAT"), pngChunksOfType(png, "IDAT"));
  EXPECT_EQ(tagOf(written, "Artist"), "Png Person");
  EXPECT_EQ(tagOf(written, "Make"), tagOf(png, "Make"));
  checkWithExiftool(written, "out.png", "Png Person");

  const Bytes stripped = stripMetadataBytes(png);
  for (const char* type : {"eXIf", "tEXt", "iTXt", "zTXt"}) {
    EXPECT_TRUE(pngChunksOfType(stripped, type).empty()) << type;
  }
  EXPECT_EQ(pngChunksOfType(stripped, "IDAT"), pngChunksOfType(png, "IDAT"));
  EXPECT_EQ(tagOf(stripped, "Make"), "<absent>");
}

TEST(ContainerWrite, WebpKeepsItsImageChunks) {
  const Bytes webp = fixture("extended.webp");
  ASSERT_FALSE(webp.empty());
  const Bytes written = rewrite(webp, "Webp Person");
  ASSERT_FALSE(written.empty());
  for (const char* type : {"VP8 ", "VP8L", "ALPH", "ANMF"}) {
    EXPECT_EQ(webpChunksOfType(written, type), webpChunksOfType(webp, type)) << type;
  }
  EXPECT_EQ(tagOf(written, "Artist"), "Webp Person");
  checkWithExiftool(written, "out.webp", "Webp Person");

  const Bytes stripped = stripMetadataBytes(webp);
  EXPECT_TRUE(webpChunksOfType(stripped, "EXIF").empty());
  EXPECT_TRUE(webpChunksOfType(stripped, "XMP ").empty());
  EXPECT_EQ(webpChunksOfType(stripped, "VP8L"), webpChunksOfType(webp, "VP8L"));
  EXPECT_EQ(webpChunksOfType(stripped, "VP8 "), webpChunksOfType(webp, "VP8 "));
  // A simple WebP cannot take EXIF; a PNG without IHDR has nowhere to put it.
  EXPECT_TRUE(rewrite(testing::pngFile({testing::pngIdat(), testing::pngIend()}), "x").empty());
  EXPECT_TRUE(rewrite(fixture("simple.webp"), "x").empty());
}

TEST(ContainerWrite, HeifAndAvifItemsAreRewrittenOrBlankedInPlace) {
  for (const char* name : {"still.heic", "still.avif"}) {
    SCOPED_TRACE(name);
    const Bytes file = fixture(name);
    ASSERT_FALSE(file.empty());
    const Bytes written = rewrite(file, "Heif Person");
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(tagOf(written, "Artist"), "Heif Person");
    EXPECT_EQ(tagOf(written, "Model"), tagOf(file, "Model"));
    checkWithExiftool(written, std::string("out.") + (name + 6), "Heif Person");

    const Bytes stripped = stripMetadataBytes(file);
    ASSERT_EQ(stripped.size(), file.size());
    EXPECT_EQ(tagOf(stripped, "Model"), "<absent>");
    const ItemInfo exifItem = locateExifItem(file);
    ASSERT_TRUE(exifItem.located);
    // Outside the metadata items every byte is unchanged.
    for (std::size_t i = 0; i < file.size(); ++i) {
      const bool inExif = static_cast<int64_t>(i) >= exifItem.offset &&
                          static_cast<int64_t>(i) < exifItem.offset + exifItem.length;
      if (!inExif && stripped[i] != file[i]) {
        const ItemMap items = parseItemRecords(file);
        bool inMetadata = false;
        for (const auto& [id, item] : items) {
          if (item.type == "mime" && static_cast<int64_t>(i) >= item.offset &&
              static_cast<int64_t>(i) < item.offset + item.length) {
            inMetadata = true;
          }
        }
        ASSERT_TRUE(inMetadata) << "byte " << i << " changed";
      }
    }
  }
}

// No rewrite loses image data: a file cut inside a chunk or box (a truncated download, a
// copy stopped short) is refused by every writer, so nothing is written; whole files, and
// files whose last few bytes hold no chunk header, are rewritten with their image intact.
TEST(TruncatedContainers, ACutChunkOrBoxIsRefusedAndNothingElse) {
  const Bytes tiff = testing::cameraTiff({false, false, false, {}});
  const Bytes image(300000, 0x5A);  // the image data: lossless WebP of about 300 KB
  const Bytes png = testing::pngFile({testing::pngIhdr(), testing::pngChunk("IDAT", image),
                                      testing::pngChunk("tEXt", testing::textData("Key", "value")),
                                      testing::pngIend()});
  const Bytes webp = testing::webpFile({testing::vp8xChunk(0x08), testing::riffChunk("VP8L", image),
                                        testing::riffChunk("EXIF", tiff)});
  testing::HeifBuilder heifBuilder;
  // The Exif item first, so that a cut in the image leaves it whole.
  heifBuilder.item({1, "Exif", "", testing::exifItemPayload(tiff), 1, 0}).item({2, "hvc1", "", image, 1, 0});
  const Bytes heif = heifBuilder.build();
  const auto cut = [](const Bytes& bytes, std::size_t keep) { return Bytes(bytes.begin(), bytes.begin() + keep); };
  const auto extended = [](Bytes bytes, const Bytes& tail) {
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  };
  struct Case {
    const char* name;
    Bytes file;
    bool refused;
  } const cases[] = {
      {"png whole", png, false},
      {"png cut in IDAT", cut(png, 120000), true},
      {"png cut in the tEXt after IDAT", cut(png, png.size() - 16), true},
      {"png cut in a chunk header", cut(png, 8 + 25 + 4), true},
      {"png with stray bytes after IEND", extended(png, {0, 0, 0}), false},
      {"webp whole", webp, false},
      {"webp cut in VP8L", cut(webp, 120000), true},
      {"webp cut in EXIF", cut(webp, webp.size() - 10), true},
      {"webp with stray bytes", extended(webp, {1, 2, 3}), false},
      {"heif whole", heif, false},
      {"heif cut in the image", cut(heif, heif.size() - 1000), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExifEdit edit = parseExifBytes(c.file);
    setArtist(edit, "someone");
    const Bytes stripped = stripMetadataBytes(c.file);
    const Bytes written = writeExifBytes(c.file, edit);
    EXPECT_EQ(stripped.empty(), c.refused);
    EXPECT_EQ(written.empty(), c.refused);
    if (c.refused) continue;
    // The image data is there, whole, in both results.
    for (const Bytes& out : {stripped, written}) {
      EXPECT_NE(std::search(out.begin(), out.end(), image.begin(), image.end()), out.end());
    }
  }
}

// A strip ends a PNG at its IEND, as it ends a JPEG at its end of image: chunks and bytes
// appended after the image (another program's trailer, an archive) are left behind. An EXIF
// write keeps them.
TEST(PngStrip, EndsAtTheImageEnd) {
  const Bytes png = testing::pngFile({testing::pngIhdr(), testing::pngChunk("IDAT", Bytes(64, 7)),
                                      testing::pngIend()});
  Bytes trailed = png;
  for (const Bytes& tail : {testing::pngChunk("tEXt", testing::textData("Where", "home")),
                            testing::pngChunk("zzZz", Bytes(9, 1)), Bytes{'P', 'K', 3, 4}}) {
    trailed.insert(trailed.end(), tail.begin(), tail.end());
  }
  EXPECT_EQ(stripMetadataBytes(trailed), png);
  ExifEdit edit = parseExifBytes(trailed);
  setArtist(edit, "someone");
  const Bytes written = writeExifBytes(trailed, edit);
  ASSERT_GT(written.size(), trailed.size() - png.size());
  EXPECT_TRUE(std::equal(trailed.begin() + static_cast<long>(png.size()), trailed.end(),
                         written.end() - static_cast<long>(trailed.size() - png.size())));
}

}  // namespace
}  // namespace orvel::metadata::edit
