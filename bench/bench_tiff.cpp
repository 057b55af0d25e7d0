// The TIFF reader against libexif on the same EXIF block: decode IFD0, the Exif and GPS
// directories and render every value as text.
#include <benchmark/benchmark.h>
#include <libexif/exif-data.h>

#include <string>

#include "container/tiff.h"
#include "support/builders.h"

namespace {

using orvel::testing::Bytes;

// A camera-like block: IFD0, Exif and GPS directories with values inline and at offsets.
Bytes realisticExifBlock() {
  orvel::testing::TiffBuilder t(false);
  int ifd0 = t.addIfd();
  int exif = t.addIfd();
  int gps = t.addIfd();
  t.ascii(ifd0, 0x010F, "Canon").ascii(ifd0, 0x0110, "Canon EOS 5D Mark IV");
  t.shorts(ifd0, 0x0112, {1}).rationals(ifd0, 0x011A, {{72, 1}}).rationals(ifd0, 0x011B, {{72, 1}});
  t.shorts(ifd0, 0x0128, {2}).ascii(ifd0, 0x0131, "Digital Photo Professional");
  t.ascii(ifd0, 0x0132, "2023:07:14 09:30:00").ascii(ifd0, 0x013B, "Jane Doe");
  t.ascii(ifd0, 0x8298, "Copyright Jane Doe").pointer(ifd0, 0x8769, exif).pointer(ifd0, 0x8825, gps);
  t.rationals(exif, 0x829A, {{1, 250}}).rationals(exif, 0x829D, {{28, 10}}).shorts(exif, 0x8822, {3});
  t.shorts(exif, 0x8827, {400}).bytes(exif, 0x9000, 7, {'0', '2', '3', '1'});
  t.ascii(exif, 0x9003, "2023:07:14 09:30:00").ascii(exif, 0x9004, "2023:07:14 09:30:00");
  t.srationals(exif, 0x9201, {{8, 1}}).rationals(exif, 0x9202, {{3, 1}});
  t.srationals(exif, 0x9204, {{-1, 3}}).rationals(exif, 0x9205, {{3, 1}}).shorts(exif, 0x9207, {5});
  t.shorts(exif, 0x9209, {16}).rationals(exif, 0x920A, {{50, 1}});
  t.bytes(exif, 0x9286, 7, Bytes(64, 0)).ascii(exif, 0x9290, "42").bytes(exif, 0xA000, 7, {'0', '1', '0', '0'});
  t.shorts(exif, 0xA001, {1}).longs(exif, 0xA002, {6720}).longs(exif, 0xA003, {4480});
  t.rationals(exif, 0xA20E, {{6720000, 1418}}).rationals(exif, 0xA20F, {{4480000, 945}});
  t.shorts(exif, 0xA210, {2}).shorts(exif, 0xA401, {0}).shorts(exif, 0xA402, {0}).shorts(exif, 0xA403, {0});
  t.shorts(exif, 0xA406, {0}).ascii(exif, 0xA431, "012345678901");
  t.rationals(exif, 0xA432, {{24, 1}, {70, 1}, {0, 1}, {0, 1}}).ascii(exif, 0xA434, "EF24-70mm f/2.8L II USM");
  t.bytes(gps, 0x0000, 1, {2, 3, 0, 0}).ascii(gps, 0x0001, "S").rationals(gps, 0x0002, {{33, 1}, {52, 1}, {0, 1}});
  t.ascii(gps, 0x0003, "E").rationals(gps, 0x0004, {{151, 1}, {12, 1}, {3456, 100}});
  t.bytes(gps, 0x0005, 1, {0}).rationals(gps, 0x0006, {{10, 1}}).ascii(gps, 0x001D, "2023:07:14");
  return t.build();
}

const Bytes& block() {
  static const Bytes bytes = realisticExifBlock();
  return bytes;
}

void tiffRender(benchmark::State& state) {
  using namespace orvel::base;
  using namespace orvel::container;
  ByteView data(block());
  for (auto _ : state) {
    std::size_t total = 0;
    Ifd ifd0 = readIFD(data, readUint32(data, 4, false), 0, false);
    for (const auto& [number, tag] : ifd0.tags) total += toString(tag).size();
    for (uint16_t pointer : {uint16_t{0x8769}, uint16_t{0x8825}}) {
      Ifd sub = readIFD(data, readLongTag(ifd0.tags.at(pointer)).value, 0, false);
      for (const auto& [number, tag] : sub.tags) total += toString(tag).size();
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(tiffRender)->Name("tiff_render/orvel");

void renderEntry(ExifEntry* entry, void* total) {
  char buffer[1024];
  *static_cast<std::size_t*>(total) += std::string(exif_entry_get_value(entry, buffer, sizeof buffer)).size();
}

void renderContent(ExifContent* content, void* total) { exif_content_foreach_entry(content, renderEntry, total); }

void tiffRenderLibexif(benchmark::State& state) {
  const Bytes payload = orvel::testing::exifPayload(block());
  for (auto _ : state) {
    std::size_t total = 0;
    ExifData* data = exif_data_new_from_data(payload.data(), static_cast<unsigned>(payload.size()));
    exif_data_foreach_content(data, renderContent, &total);
    exif_data_unref(data);
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(tiffRenderLibexif)->Name("tiff_render/libexif");

}  // namespace

BENCHMARK_MAIN();
