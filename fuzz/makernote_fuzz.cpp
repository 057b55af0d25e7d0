// Arbitrary bytes as a camera maker note, read through the directory walk the way a photo's
// Exif directory hands it over. The first input byte picks the Make (one per vendor, or the
// Apple header put in front of the note), the block's byte order and the Model; the rest is
// the note. The note sits inside a small TIFF block, so its offsets may point anywhere in it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "metadata/exif/ifd_walk.h"
#include "metadata/pipeline/read.h"
#include "container/tiff.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::array<std::string_view, 10> kMakes = {
    "Canon", "NIKON CORPORATION", "Panasonic", "FUJIFILM", "PENTAX",
    "OLYMPUS IMAGING CORP.", "CASIO COMPUTER CO.,LTD.", "Minolta Co., Ltd.", "SIGMA", "Apple"};
constexpr std::string_view kAppleHeader{"Apple iOS\0\0\x01MM", 14};

constexpr uint32_t kIfd0 = 8;
constexpr uint32_t kExifIfd = kIfd0 + 2 + 3 * 12 + 4;
constexpr uint32_t kNote = kExifIfd + 2 + 12 + 4;

struct Writer {
  Bytes& out;
  bool bigEndian;

  void u16(uint16_t v) {
    if (bigEndian) {
      out.push_back(uint8_t(v >> 8));
      out.push_back(uint8_t(v));
    } else {
      out.push_back(uint8_t(v));
      out.push_back(uint8_t(v >> 8));
    }
  }
  void u32(uint32_t v) {
    u16(uint16_t(bigEndian ? v >> 16 : v));
    u16(uint16_t(bigEndian ? v : v >> 16));
  }
  void entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag);
    u16(type);
    u32(count);
    u32(value);
  }
};

// Header, IFD0 (Make, Model, Exif pointer), the Exif directory (MakerNote), the note, then the
// Make and Model texts.
Bytes buildBlock(bool bigEndian, std::string_view make, std::string_view model, const Bytes& note) {
  Bytes out;
  Writer w{out, bigEndian};
  out.push_back(bigEndian ? 'M' : 'I');
  out.push_back(bigEndian ? 'M' : 'I');
  w.u16(42);
  w.u32(kIfd0);
  const auto noteSize = static_cast<uint32_t>(note.size());
  const uint32_t makeAt = kNote + noteSize;
  const uint32_t modelAt = makeAt + static_cast<uint32_t>(make.size()) + 1;
  w.u16(3);
  w.entry(0x010F, 2, static_cast<uint32_t>(make.size()) + 1, makeAt);
  w.entry(0x0110, 2, static_cast<uint32_t>(model.size()) + 1, modelAt);
  w.entry(0x8769, 4, 1, kExifIfd);
  w.u32(0);
  w.u16(1);
  // Notes of up to 4 bytes sit in the entry itself, like any short value.
  w.entry(0x927C, 7, noteSize, noteSize > 4 ? kNote : 0);
  if (noteSize <= 4) {
    for (uint32_t i = 0; i < noteSize; ++i) out[out.size() - 4 + i] = note[i];
  }
  w.u32(0);
  out.insert(out.end(), note.begin(), note.end());
  out.insert(out.end(), make.begin(), make.end());
  out.push_back(0);
  out.insert(out.end(), model.begin(), model.end());
  out.push_back(0);
  return out;
}

void walk(const Bytes& block, bool bigEndian) {
  using namespace orvel::container;
  using namespace orvel::metadata;
  using namespace orvel::metadata::exif;
  Metadata meta;
  const Ifd ifd0 = readIFD(block, kIfd0, 0, bigEndian);
  addIfdTags(meta, ifd0, block, 0);
  addIfdTags(meta, readIFD(block, kExifIfd, 0, bigEndian), block, 0);
  for (const auto& [name, value] : meta.tags) {
    // Besides the three IFD0 entries, everything listed comes from a decoder and is prefixed.
    if (name != "Make" && name != "Model" && name != "ExifOffset" &&
        name.find(':') == std::string::npos) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const uint8_t selector = data[0];
  const std::size_t choice = (selector & 0x3F) % (kMakes.size() + 1);
  const bool bigEndian = (selector & 0x80) != 0;
  const std::string_view model = (selector & 0x40) != 0 ? "PENTAX K10D" : "Camera";
  const orvel::base::ByteView rest = orvel::base::ByteView(data, size).subspan(1);
  Bytes note;
  std::string_view make;
  if (choice == kMakes.size()) {
    // The Apple header in front of the bytes: the Apple decoder, whatever the Make says.
    note.assign(kAppleHeader.begin(), kAppleHeader.end());
    make = "Canon";
  } else {
    make = kMakes[choice];
  }
  note.insert(note.end(), rest.begin(), rest.end());
  walk(buildBlock(bigEndian, make, model, note), bigEndian);
  return 0;
}
