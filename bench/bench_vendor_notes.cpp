// Reading JPEGs whose Exif directory carries a Pentax, Olympus, Casio, Minolta or Sigma maker
// note: open from memory, list every tag as text (maker-note fields included), close; against
// libexif (which decodes Pentax, Olympus and Casio notes) and exiv2 in the same run.
#include <benchmark/benchmark.h>

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

constexpr uint16_t kByte = 1;
constexpr uint16_t kUndefined = 7;

Bytes wordsOf(const NoteIfdBuilder& note, const std::vector<uint32_t>& values) {
  Bytes out;
  for (uint32_t value : values) {
    const Bytes word = note.u32(value);
    out.insert(out.end(), word.begin(), word.end());
  }
  return out;
}

Bytes jpeg(std::string_view make, std::string_view model, const Bytes& header,
           const NoteIfdBuilder& note) {
  return orvel::testing::jpegWithMakerNote(note.bigEndian(), make, model, [&](uint32_t at) {
    return orvel::testing::noteWithHeader(header, note, at);
  });
}

Bytes pentaxPhoto() {
  NoteIfdBuilder note(true);
  note.bytes(0x0000, kByte, {3, 0, 0, 0})
      .shorts(0x0002, {640, 480})
      .longs(0x0005, {76830})
      .bytes(0x0006, kUndefined, {0x07, 0xD6, 11, 25})
      .bytes(0x0007, kUndefined, {13, 5, 9})
      .shorts(0x0008, {2})
      .shorts(0x0017, {2})
      .shorts(0x0019, {10})
      .bytes(0x0047, 6, {0xF6})
      .shorts(0x004F, {3})
      .bytes(0x005C, kUndefined, {1, 1, 0, 0})
      .bytes(0x0205, kUndefined, {5, 0xE1, 0x31, 0x22, 0, 0x21, 40, 9, 5, 0, 0x71,
                                  0, 0, 37, 1, 0, 0x82, 0xC6, 124, 108, 48, 61})
      .bytes(0x0206, kUndefined, {120, 100, 48, 68, 0xFD, 96, 35, 0, 3, 76, 84, 140, 2});
  return jpeg("PENTAX Corporation", "PENTAX K10D", {'A', 'O', 'C', 0, 'M', 'M'}, note);
}

Bytes olympusPhoto() {
  NoteIfdBuilder note(false);
  Bytes cameraId = orvel::testing::bytesOf("OLYMPUS DIGITAL CAMERA");
  cameraId.resize(32, 0);
  note.longs(0x0200, {3, 1, 2})
      .shorts(0x0201, {3})
      .shorts(0x0202, {2})
      .shorts(0x0203, {0})
      .rationals(0x0204, {{3, 2}})
      .rationals(0x0205, {{649, 30}})
      .ascii(0x0207, "SR951")
      .ascii(0x0208, "[picture info]\r\nResolution=1\r\n")
      .bytes(0x0209, kUndefined, cameraId);
  return jpeg("OLYMPUS OPTICAL CO.,LTD", "C2000Z", {'O', 'L', 'Y', 'M', 'P', 0, 1, 0}, note);
}

Bytes casioPhoto() {
  NoteIfdBuilder note(true);
  note.shorts(1, {1}).shorts(2, {3}).shorts(3, {7}).shorts(4, {4}).shorts(5, {13});
  note.longs(6, {1500}).shorts(7, {129}).longs(10, {0x10000}).shorts(11, {2}).shorts(12, {1});
  return jpeg("CASIO COMPUTER CO.,LTD", "QV-3000EX", {}, note);
}

Bytes minoltaPhoto() {
  NoteIfdBuilder note(true);
  std::vector<uint32_t> settings(51, 1);
  settings[21] = 0x07D50A1F;
  settings[22] = 0x000E1E05;
  note.bytes(0x0000, kUndefined, orvel::testing::bytesOf("MLT0"))
      .bytes(0x0003, kUndefined, wordsOf(note, settings))
      .longs(0x0040, {1234567})
      .longs(0x0089, {25000});
  return jpeg("Minolta Co., Ltd.", "DiMAGE A1", {}, note);
}

Bytes sigmaPhoto() {
  NoteIfdBuilder note(false);
  note.ascii(2, "1000123").ascii(3, "SINGLE").ascii(5, "AF-S").ascii(7, "Auto").ascii(8, "A");
  note.ascii(9, "8").ascii(10, "18.0 - 50.0 mm").ascii(12, "Expo:+0.3").ascii(13, "Cont:-1.0");
  note.ascii(22, "Qual:12").ascii(23, "1.0.3");
  return jpeg("SIGMA", "SIGMA SD10", {'S', 'I', 'G', 'M', 'A', 0, 0, 0, 1, 0}, note);
}

const Bytes& photo(int vendor) {
  static const std::vector<Bytes> photos = [] {
    ov_exif_init();
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    return std::vector<Bytes>{pentaxPhoto(), olympusPhoto(), casioPhoto(), minoltaPhoto(),
                              sigmaPhoto()};
  }();
  return photos.at(static_cast<std::size_t>(vendor));
}

using orvel::bench::Lister;
using orvel::bench::listExiv2;
using orvel::bench::listLibexif;
using orvel::bench::listOrvel;

void readNote(benchmark::State& state, Lister list, int vendor) {
  const Bytes& bytes = photo(vendor);
  for (auto _ : state) benchmark::DoNotOptimize(list(bytes).characters);
  state.counters["fields"] = static_cast<double>(list(bytes).fields);
}

// Each implementation must find the maker-note fields, or the timings mean nothing.
void reportFieldCounts() {
  for (int vendor = 0; vendor < 5; ++vendor) {
    ov_meta* handle = nullptr;
    const Bytes& bytes = photo(vendor);
    ov_exif_read_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), &handle);
    std::fprintf(stderr, "photo %d: orvel %lld tags\n", vendor,
                 static_cast<long long>(ov_exif_tag_count(handle)));
    ov_exif_meta_free(handle);
  }
}

const char* const kVendors[] = {"pentax", "olympus", "casio", "minolta", "sigma"};

void registerAll() {
  for (int vendor = 0; vendor < 5; ++vendor) {
    const std::string task = std::string(kVendors[vendor]) + "_note_read/";
    benchmark::RegisterBenchmark((task + "orvel").c_str(), readNote, listOrvel, vendor);
    // libexif has no Minolta or Sigma decoder; its time there would not be comparable.
    if (vendor <= 2) {
      benchmark::RegisterBenchmark((task + "libexif").c_str(), readNote, listLibexif, vendor);
    }
    benchmark::RegisterBenchmark((task + "exiv2").c_str(), readNote, listExiv2, vendor);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  reportFieldCounts();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
