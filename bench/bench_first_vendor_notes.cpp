// Reading JPEGs whose Exif directory carries an Apple, Canon, Nikon, Panasonic or Fujifilm
// maker note: open from memory, list every tag as text (maker-note fields included), close;
// against libexif (Apple, Canon, Nikon through its Olympus family, Fujifilm) and exiv2.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "orvel.h"
#include "peer_listing.h"
#include "support/makernote_builder.h"

namespace {

using orvel::testing::Bytes;
using orvel::testing::NoteIfdBuilder;

constexpr uint16_t kUndefined = 7;

Bytes canonPhoto() {
  NoteIfdBuilder note(false);
  std::vector<uint16_t> settings(46, 0);
  settings[0] = 92;
  settings[3] = 3;
  settings[4] = 16;
  settings[7] = 1;
  settings[9] = 7;
  settings[17] = 3;
  settings[20] = 3;
  std::vector<uint16_t> shots(34, 0);
  shots[0] = 68;
  shots[7] = 8;
  shots[26] = 248;
  shots[27] = 1;
  note.shorts(1, settings)
      .shorts(2, {0, 105, 24, 0})
      .shorts(4, shots)
      .ascii(6, "Canon EOS 5D Mark II")
      .ascii(7, "Firmware Version 2.1.0")
      .longs(8, {1000123})
      .longs(12, {1234})
      .longs(16, {0x80000218})
      .ascii(149, "EF24-105mm f/4L IS USM");
  return orvel::testing::jpegWithMakerNote(false, "Canon", "Canon EOS 5D Mark II",
                                           [&](uint32_t at) { return canonNote(note, at); });
}

Bytes nikonPhoto() {
  NoteIfdBuilder note(true);
  note.bytes(1, kUndefined, {'0', '2', '1', '0'})
      .ascii(3, "COLOR")
      .ascii(4, "FINE  ")
      .ascii(5, "AUTO        ")
      .ascii(7, "AF-S  ")
      .ascii(15, "MANUAL")
      .ascii(128, "AUTO")
      .ascii(130, "OFF         ")
      .rationals(132, {{18, 1}, {55, 1}, {35, 10}, {56, 10}});
  return orvel::testing::jpegWithMakerNote(false, "NIKON CORPORATION", "NIKON D300",
                                           [&](uint32_t) { return nikonNote(note); });
}

Bytes panasonicPhoto() {
  NoteIfdBuilder note(false);
  note.shorts(0x01, {2})
      .bytes(0x02, kUndefined, {0, 1, 2, 1})
      .shorts(0x03, {12})
      .shorts(0x07, {4})
      .shorts(0x1A, {4})
      .shorts(0x1C, {257})
      .shorts(0x1F, {7})
      .bytes(0x25, kUndefined, orvel::testing::bytesOf(std::string_view("F541005180345\0\0\0", 16)))
      .bytes(0x26, kUndefined, orvel::testing::bytesOf("0260"))
      .longs(0x29, {370000})
      .longs(0x2B, {3})
      .shorts(0x2D, {3});
  return orvel::testing::jpegWithMakerNote(false, "Panasonic", "DMC-FZ100",
                                           [&](uint32_t at) { return panasonicNote(note, at); });
}

Bytes fujiPhoto() {
  NoteIfdBuilder note(false);
  note.bytes(0x0000, kUndefined, orvel::testing::bytesOf("0130"))
      .ascii(0x1000, "NORMAL ")
      .shorts(0x1002, {256})
      .shorts(0x1010, {3})
      .shorts(0x1020, {1})
      .shorts(0x1021, {0})
      .shorts(0x1031, {256})
      .shorts(0x1100, {2})
      .shorts(0x1300, {1})
      .shorts(0x1301, {0})
      .shorts(0x1302, {1});
  return orvel::testing::jpegWithMakerNote(true, "FUJIFILM", "FinePix S5Pro",
                                           [&](uint32_t) { return fujiNote(note); });
}

Bytes applePhoto() {
  NoteIfdBuilder note(true);
  note.slongs(1, {14})
      .slongs(4, {1})
      .slongs(5, {170})
      .srationals(8, {{-1, 50}, {981, 1000}, {3, 100}})
      .slongs(10, {3})
      .srationals(12, {{37, 100}, {3, 10}})
      .slongs(20, {10})
      .srationals(33, {{1, 3}})
      .srationals(39, {{5123, 100}})
      .slongs(45, {4996})
      .slongs(46, {6})
      .slongs(47, {50})
      .srationals(48, {{-1, 8}});
  return orvel::testing::jpegWithMakerNote(true, "Apple", "iPhone 15 Pro",
                                           [&](uint32_t) { return appleNote(note); });
}

constexpr std::array<const char*, 5> kVendors = {"apple", "canon", "nikon", "panasonic", "fuji"};

const Bytes& photo(std::size_t vendor) {
  static const std::vector<Bytes> photos = [] {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    return std::vector<Bytes>{applePhoto(), canonPhoto(), nikonPhoto(), panasonicPhoto(),
                              fujiPhoto()};
  }();
  return photos.at(vendor);
}

using orvel::bench::Lister;
using orvel::bench::listExiv2;
using orvel::bench::listLibexif;
using orvel::bench::listOrvel;

void readNote(benchmark::State& state, Lister list, std::size_t vendor) {
  const Bytes& bytes = photo(vendor);
  for (auto _ : state) benchmark::DoNotOptimize(list(bytes).characters);
  state.counters["fields"] = static_cast<double>(list(bytes).fields);
}

void registerAll() {
  for (std::size_t vendor = 0; vendor < kVendors.size(); ++vendor) {
    const std::string task = std::string(kVendors[vendor]) + "_note_read/";
    benchmark::RegisterBenchmark((task + "orvel").c_str(), readNote, listOrvel, vendor);
    // libexif has no Panasonic decoder; its time there would not be comparable.
    if (std::string_view(kVendors[vendor]) != "panasonic") {
      benchmark::RegisterBenchmark((task + "libexif").c_str(), readNote, listLibexif, vendor);
    }
    benchmark::RegisterBenchmark((task + "exiv2").c_str(), readNote, listExiv2, vendor);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
