// Reading the metadata of large PNG, WebP and HEIF files from disk (warm page cache): open,
// list every tag, close. "orvel" reads the prefix with bounded pread calls as the parsers ask
// for it; "mapped" is the way the library read such files before, done here through the public
// interface: the first 16 KiB read to test for a JPEG, the prefix mapped into memory and
// handed to ov_exif_read_buffer. exiv2 opening the same file is shown for scale.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "orvel.h"
#include "support/builders.h"
#include "support/chunk_builder.h"
#include "support/exif_samples.h"
#include "support/isobmff_builder.h"

namespace {

using orvel::testing::Bytes;
namespace t = orvel::testing;

constexpr int64_t kPrefix = int64_t{16} << 20;
constexpr int64_t kJpegTest = int64_t{16} << 10;

// Compressed image data looks random.
Bytes imageData(std::size_t size, unsigned seed) {
  Bytes out(size);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t word = random();
    std::memcpy(out.data() + i, &word, 4);
  }
  return out;
}

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

const Bytes& xmpPacket() {
  static const Bytes packet = text(
      "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
      "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:dc='http://purl.org/dc/"
      "elements/1.1/' xmp:Rating='4' xmp:CreatorTool='Editor 2.1'><dc:title><rdf:Alt><rdf:li "
      "xml:lang='x-default'>Harbour at dusk</rdf:li></rdf:Alt></dc:title></rdf:Description>"
      "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>");
  return packet;
}

// An 8 MB photo saved by libpng with its default 8 KiB IDAT chunks (ImageMagick, GIMP), or
// with large ones (optimisers write a single IDAT): EXIF and XMP before the image, a text chunk
// after it.
Bytes pngPhoto(std::size_t idatSize) {
  Bytes out = t::pngFile({t::pngIhdr(3000, 2000), t::pngChunk("eXIf", t::cameraTiff()),
                          t::pngChunk("iTXt", t::itxtData("XML:com.adobe.xmp", false, "", "",
                                                          xmpPacket()))});
  const Bytes data = imageData(8 << 20, 1);
  for (std::size_t at = 0; at < data.size(); at += idatSize) {
    const std::size_t size = std::min(idatSize, data.size() - at);
    const Bytes chunk = t::pngChunk("IDAT", Bytes(data.begin() + static_cast<long>(at),
                                                  data.begin() + static_cast<long>(at + size)));
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  for (const Bytes& chunk : {t::pngChunk("tEXt", t::textData("Software", "Editor 2.1")), t::pngIend()}) {
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return out;
}

// A 3 MB lossy WebP as a muxer writes it: VP8X, the image, then EXIF and XMP last.
Bytes webpPhoto() {
  return t::webpFile({t::vp8xChunk(0x0C, 4000, 3000), t::riffChunk("VP8 ", imageData(3 << 20, 2)),
                      t::riffChunk("EXIF", t::cameraTiff()), t::riffChunk("XMP ", xmpPacket())});
}

// A 3 MB HEIF still: ftyp, the item tables, then the image and the Exif item in one mdat.
Bytes heifPhoto() {
  t::HeifBuilder heif;
  heif.item({1, "hvc1", "", imageData(3 << 20, 3), 1, 0})
      .item({2, "Exif", "", t::exifItemPayload(t::cameraTiff()), 1, 0})
      .item({3, "mime", "application/rdf+xml", xmpPacket(), 1, 0});
  return heif.build();
}

struct Files {
  std::filesystem::path directory;
  std::string png, pngLarge, webp, heif;

  Files() {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    char pattern[] = "/tmp/orvel-bench-files-XXXXXX";
    directory = mkdtemp(pattern);
    png = write("photo.png", pngPhoto(8192));
    pngLarge = write("photo-large-chunks.png", pngPhoto(std::size_t{1} << 20));
    webp = write("photo.webp", webpPhoto());
    heif = write("photo.heic", heifPhoto());
  }
  ~Files() { std::filesystem::remove_all(directory); }

  std::string write(const char* name, const Bytes& bytes) const {
    const std::string path = (directory / name).string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
    std::fclose(file);
    return path;
  }
};

const Files& files() {
  static const Files all;
  return all;
}

std::size_t listed(ov_meta* handle) {
  std::size_t total = 0;
  const int64_t count = ov_exif_tag_count(handle);
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    ov_exif_tag_at(handle, i, &name, &value);
    total += std::strlen(name) + std::strlen(value);
  }
  ov_exif_meta_free(handle);
  return total;
}

std::size_t readOrvel(const std::string& path) {
  ov_meta* handle = nullptr;
  ov_exif_read_file(path.c_str(), &handle);
  return listed(handle);
}

// What the library did before: test the head for a JPEG, map the prefix, read it.
std::size_t readMapped(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) std::abort();
  std::vector<uint8_t> head(static_cast<std::size_t>(kJpegTest));
  if (::pread(fd, head.data(), head.size(), 0) < 2 || (head[0] == 0xFF && head[1] == 0xD8)) {
    std::abort();
  }
  const auto length = static_cast<std::size_t>(std::min<int64_t>(info.st_size, kPrefix));
  void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) std::abort();
  ov_meta* handle = nullptr;
  ov_exif_read_buffer(static_cast<const uint8_t*>(map), static_cast<int64_t>(length), &handle);
  const std::size_t total = listed(handle);
  ::munmap(map, length);
  ::close(fd);
  return total;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::size_t readExiv2(const std::string& path) {
  auto image = Exiv2::ImageFactory::open(path);
  image->readMetadata();
  std::size_t total = 0;
  for (const Exiv2::Exifdatum& datum : image->exifData()) total += datum.key().size();
  return total;
}
#pragma GCC diagnostic pop

using Reader = std::size_t (*)(const std::string&);

void readFile(benchmark::State& state, std::string Files::*which, Reader read) {
  const std::string& path = files().*which;
  if (readOrvel(path) != readMapped(path) || readOrvel(path) == 0) {
    state.SkipWithError("the two reads disagree");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(read(path));
}

}  // namespace

BENCHMARK_CAPTURE(readFile, png_orvel, &Files::png, readOrvel)->Name("read_file_png/orvel");
BENCHMARK_CAPTURE(readFile, png_mapped, &Files::png, readMapped)->Name("read_file_png/mapped");
BENCHMARK_CAPTURE(readFile, png_exiv2, &Files::png, readExiv2)->Name("read_file_png/exiv2");
BENCHMARK_CAPTURE(readFile, pngl_orvel, &Files::pngLarge, readOrvel)->Name("read_file_png_large_chunks/orvel");
BENCHMARK_CAPTURE(readFile, pngl_mapped, &Files::pngLarge, readMapped)->Name("read_file_png_large_chunks/mapped");
BENCHMARK_CAPTURE(readFile, pngl_exiv2, &Files::pngLarge, readExiv2)->Name("read_file_png_large_chunks/exiv2");
BENCHMARK_CAPTURE(readFile, webp_orvel, &Files::webp, readOrvel)->Name("read_file_webp/orvel");
BENCHMARK_CAPTURE(readFile, webp_mapped, &Files::webp, readMapped)->Name("read_file_webp/mapped");
BENCHMARK_CAPTURE(readFile, webp_exiv2, &Files::webp, readExiv2)->Name("read_file_webp/exiv2");
BENCHMARK_CAPTURE(readFile, heif_orvel, &Files::heif, readOrvel)->Name("read_file_heif/orvel");
BENCHMARK_CAPTURE(readFile, heif_mapped, &Files::heif, readMapped)->Name("read_file_heif/mapped");
BENCHMARK_CAPTURE(readFile, heif_exiv2, &Files::heif, readExiv2)->Name("read_file_heif/exiv2");

BENCHMARK_MAIN();
