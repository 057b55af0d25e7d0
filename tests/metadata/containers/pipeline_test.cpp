// The reading pipeline over HEIF, movies, PNG and WebP: buffers, files larger than the read
// prefix, and the TIFF base the thumbnail loader uses.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "metadata/pipeline/read.h"
#include "metadata/pipeline/thumbnail.h"
#include "support/builders.h"
#include "support/chunk_builder.h"
#include "support/isobmff_builder.h"

using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;
using namespace orvel::testing;

namespace {

Bytes fixture(const std::string& name) {
  std::ifstream in(std::string(ORVEL_FIXTURES) + "/containers/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string tag(const Metadata& meta, const std::string& name) {
  const std::string* value = meta.tags.find(name);
  return value == nullptr ? std::string("<none>") : *value;
}

Bytes tiffWithMake(const std::string& make) {
  TiffBuilder tiff(true);
  tiff.ascii(tiff.addIfd(), 0x010F, make);
  return tiff.build();
}

// A file in a fresh temporary directory, removed with it.
class TempFile {
 public:
  explicit TempFile(const Bytes& bytes) {
    char pattern[] = "/tmp/orvel-containers-XXXXXX";
    directory_ = mkdtemp(pattern);
    path_ = (directory_ / "file").string();
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove_all(directory_); }
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path directory_;
  std::string path_;
};

constexpr int64_t kPrefix = int64_t{1} << 24;

}  // namespace

TEST(ContainerPipeline, HeifStillsGiveTheirExif) {
  for (const char* name : {"still.heic", "still.avif"}) {
    const Bytes file = fixture(name);
    const Metadata meta = readMetadataFromBytes(file);
    EXPECT_TRUE(meta.isValid) << name;
    EXPECT_EQ(tag(meta, "Make"), "Apple") << name;
    EXPECT_EQ(meta.orientation, 6) << name;
    EXPECT_LT(meta.latitude, -33.0) << name;
    EXPECT_GT(exifTiffBase(file), 0) << name;
  }
}

TEST(ContainerPipeline, SplitExifItemIsFoundByTheScan) {
  HeifItemLayout exif;
  exif.data = exifItemPayload(tiffWithMake("Scanned"), {'E', 'x', 'i', 'f', 0, 0});
  exif.extents = 2;
  HeifBuilder heif;
  heif.item(exif);
  const Bytes file = heif.build();
  EXPECT_EQ(tag(readMetadataFromBytes(file), "Make"), "Scanned");
  EXPECT_EQ(exifTiffBase(file), heif.dataOffset(1) + 10);
}

TEST(ContainerPipeline, MoviesGiveTheirFacts) {
  const Metadata mp4 = readMetadataFromBytes(fixture("movie_keys.mp4"));
  EXPECT_TRUE(mp4.isValid);
  EXPECT_EQ(tag(mp4, "Make"), "Canon");
  EXPECT_EQ(tag(mp4, "Model"), "EOS R6");
  EXPECT_EQ(tag(mp4, "Software"), "Firmware 1.2");
  EXPECT_EQ(tag(mp4, "ImageWidth"), "64");
  EXPECT_EQ(mp4.dateTaken.unixSeconds, 1685622896);  // 2023-06-01 12:34:56 UTC
  const Metadata mov = readMetadataFromBytes(fixture("movie_phone.mov"));
  EXPECT_TRUE(mov.isValid);
  EXPECT_EQ(tag(mov, "Model"), "iPhone 14");
  EXPECT_EQ(tag(mov, "Software"), "16.5");
  EXPECT_EQ(exifTiffBase(fixture("movie_phone.mov")), -1);
}

TEST(ContainerPipeline, PngExifAndText) {
  const Bytes png = fixture("chunks.png");
  const Metadata meta = readMetadataFromBytes(png);
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tag(meta, "Make"), "Canon");
  EXPECT_EQ(tag(meta, "Title"), "Rose");
  EXPECT_EQ(tag(meta, "Description"), "A red rose, compressed, compressed, compressed");
  EXPECT_GT(exifTiffBase(png), 0);
  // Text alone makes the record valid; a later duplicate keyword wins.
  const Metadata text = readMetadataFromBytes(
      pngFile({pngIhdr(), pngChunk("tEXt", textData("K", "one")), pngIdat(),
               pngChunk("tEXt", textData("K", "two")), pngIend()}));
  EXPECT_TRUE(text.isValid);
  EXPECT_EQ(tag(text, "K"), "two");
  EXPECT_EQ(exifTiffBase(pngFile({pngIhdr(), pngIdat(), pngChunk("eXIf", tiffWithMake("x"))})), -1);
}

TEST(ContainerPipeline, WebpExif) {
  const Bytes webp = fixture("extended.webp");
  const Metadata meta = readMetadataFromBytes(webp);
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tag(meta, "Make"), "Canon");
  EXPECT_GT(exifTiffBase(webp), 0);
  EXPECT_FALSE(readMetadataFromBytes(fixture("simple.webp")).isValid);
  EXPECT_EQ(exifTiffBase(fixture("simple.webp")), -1);
}

TEST(ContainerPipeline, ExifItemBeyondTheReadPrefix) {
  // 20 MiB: a picture item first, then the Exif item past the first 16 MiB.
  HeifItemLayout picture;
  picture.id = 1;
  picture.type = "hvc1";
  picture.data = Bytes(size_t{20} << 20, 0x11);
  HeifItemLayout exif;
  exif.id = 2;
  exif.data = exifItemPayload(tiffWithMake("Far Away"), {'E', 'x', 'i', 'f', 0, 0});
  HeifBuilder heif;
  heif.item(picture).item(exif);
  const Bytes file = heif.build();
  ASSERT_GT(heif.dataOffset(2), kPrefix);
  const TempFile temp(file);
  const Metadata meta = readMetadata(temp.path(), kPrefix);
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tag(meta, "Make"), "Far Away");
}

TEST(ContainerPipeline, MovieBoxBeyondTheReadPrefix) {
  const Bytes movie = concat({box("ftyp", bytesOf("isom")), box("mdat", Bytes(size_t{17} << 20, 0)),
                              box("moov", concat({mvhd(0, 3'768'467'696),
                                                  box("udta", metaBox(box("ilst", ilstItem("\xA9mak", "Far"))))}))});
  const TempFile temp(movie);
  const Metadata meta = readMetadata(temp.path(), kPrefix);
  EXPECT_TRUE(meta.isValid);
  EXPECT_EQ(tag(meta, "Make"), "Far");
  EXPECT_EQ(meta.dateTaken.unixSeconds, 1685622896);
}
