#include "support/makernote_builder.h"

#include <algorithm>
#include <stdexcept>

namespace orvel::testing {
namespace {

constexpr uint16_t kMakerNoteTag = 0x927C;

void put16(Bytes& out, uint16_t value, bool bigEndian) {
  bigEndian ? appendBE16(out, value) : appendLE16(out, value);
}

void put32(Bytes& out, uint32_t value, bool bigEndian) {
  bigEndian ? appendBE32(out, value) : appendLE32(out, value);
}

uint32_t get32(const Bytes& in, std::size_t at, bool bigEndian) {
  const uint32_t b0 = in.at(at), b1 = in.at(at + 1), b2 = in.at(at + 2), b3 = in.at(at + 3);
  return bigEndian ? b0 << 24 | b1 << 16 | b2 << 8 | b3 : b3 << 24 | b2 << 16 | b1 << 8 | b0;
}

}  // namespace

NoteIfdBuilder& NoteIfdBuilder::entry(uint16_t tag, uint16_t type, uint32_t count, Bytes value) {
  Entry e;
  e.tag = tag;
  e.type = type;
  e.count = count;
  e.value = std::move(value);
  entries_.push_back(std::move(e));
  return *this;
}

NoteIfdBuilder& NoteIfdBuilder::ascii(uint16_t tag, std::string_view text) {
  Bytes value = bytesOf(text);
  value.push_back(0);
  const auto count = static_cast<uint32_t>(value.size());
  return entry(tag, 2, count, std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::bytes(uint16_t tag, uint16_t type, const Bytes& value) {
  return entry(tag, type, static_cast<uint32_t>(value.size()), value);
}

NoteIfdBuilder& NoteIfdBuilder::shorts(uint16_t tag, const std::vector<uint16_t>& values) {
  Bytes value;
  for (uint16_t v : values) put16(value, v, bigEndian_);
  return entry(tag, 3, static_cast<uint32_t>(values.size()), std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::sshorts(uint16_t tag, const std::vector<int16_t>& values) {
  Bytes value;
  for (int16_t v : values) put16(value, static_cast<uint16_t>(v), bigEndian_);
  return entry(tag, 8, static_cast<uint32_t>(values.size()), std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::longs(uint16_t tag, const std::vector<uint32_t>& values) {
  Bytes value;
  for (uint32_t v : values) put32(value, v, bigEndian_);
  return entry(tag, 4, static_cast<uint32_t>(values.size()), std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::slongs(uint16_t tag, const std::vector<int32_t>& values) {
  Bytes value;
  for (int32_t v : values) put32(value, static_cast<uint32_t>(v), bigEndian_);
  return entry(tag, 9, static_cast<uint32_t>(values.size()), std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::rationals(
    uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values) {
  Bytes value;
  for (auto [n, d] : values) {
    put32(value, n, bigEndian_);
    put32(value, d, bigEndian_);
  }
  return entry(tag, 5, static_cast<uint32_t>(values.size()), std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::srationals(
    uint16_t tag, const std::vector<std::pair<int32_t, int32_t>>& values) {
  Bytes value;
  for (auto [n, d] : values) {
    put32(value, static_cast<uint32_t>(n), bigEndian_);
    put32(value, static_cast<uint32_t>(d), bigEndian_);
  }
  return entry(tag, 10, static_cast<uint32_t>(values.size()), std::move(value));
}

NoteIfdBuilder& NoteIfdBuilder::rawOffset(uint16_t tag, uint16_t type, uint32_t count,
                                          uint32_t offset) {
  Entry e;
  e.tag = tag;
  e.type = type;
  e.count = count;
  e.rawOffset = true;
  e.offset = offset;
  entries_.push_back(std::move(e));
  return *this;
}

NoteIfdBuilder& NoteIfdBuilder::claimedCount(uint16_t count) {
  claimedCount_ = count;
  return *this;
}

Bytes NoteIfdBuilder::u16(uint16_t value) const {
  Bytes out;
  put16(out, value, bigEndian_);
  return out;
}

Bytes NoteIfdBuilder::u32(uint32_t value) const {
  Bytes out;
  put32(out, value, bigEndian_);
  return out;
}

Bytes NoteIfdBuilder::build(uint32_t position) const {
  const auto count = static_cast<uint32_t>(entries_.size());
  const uint32_t dataStart = position + 2 + 12 * count + 4;
  Bytes out;
  Bytes data;
  put16(out, claimedCount_ >= 0 ? static_cast<uint16_t>(claimedCount_) : static_cast<uint16_t>(count),
        bigEndian_);
  for (const Entry& e : entries_) {
    put16(out, e.tag, bigEndian_);
    put16(out, e.type, bigEndian_);
    put32(out, e.count, bigEndian_);
    if (e.rawOffset) {
      put32(out, e.offset, bigEndian_);
    } else if (e.value.size() <= 4) {
      Bytes inline4 = e.value;
      inline4.resize(4, 0);
      out.insert(out.end(), inline4.begin(), inline4.end());
    } else {
      put32(out, dataStart + static_cast<uint32_t>(data.size()), bigEndian_);
      data.insert(data.end(), e.value.begin(), e.value.end());
      if (data.size() % 2 != 0) data.push_back(0);
    }
  }
  put32(out, 0, bigEndian_);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes noteWithHeader(const Bytes& header, const NoteIfdBuilder& ifd, uint32_t originOfNote) {
  Bytes out = header;
  Bytes directory = ifd.build(originOfNote + static_cast<uint32_t>(header.size()));
  out.insert(out.end(), directory.begin(), directory.end());
  return out;
}

Bytes canonNote(const NoteIfdBuilder& ifd, uint32_t noteOffset) {
  return noteWithHeader({}, ifd, noteOffset);
}

Bytes nikonNote(const NoteIfdBuilder& ifd) {
  Bytes out = {'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
  // The embedded TIFF header: byte order, 42, and its first directory right after it.
  Bytes header = ifd.bigEndian() ? bytesOf("MM") : bytesOf("II");
  put16(header, 42, ifd.bigEndian());
  put32(header, 8, ifd.bigEndian());
  out.insert(out.end(), header.begin(), header.end());
  Bytes directory = ifd.build(8);
  out.insert(out.end(), directory.begin(), directory.end());
  return out;
}

Bytes nikonPlainNote(const NoteIfdBuilder& ifd) {
  return noteWithHeader({'N', 'i', 'k', 'o', 'n', 0, 1, 0}, ifd, 0);
}

Bytes panasonicNote(const NoteIfdBuilder& ifd, uint32_t noteOffset) {
  return noteWithHeader({'P', 'a', 'n', 'a', 's', 'o', 'n', 'i', 'c', 0, 0, 0}, ifd, noteOffset);
}

Bytes fujiNote(const NoteIfdBuilder& ifd) {
  if (ifd.bigEndian()) throw std::invalid_argument("Fujifilm notes are little-endian");
  Bytes header = bytesOf("FUJIFILM");
  appendLE32(header, 12);
  return noteWithHeader(header, ifd, 0);
}

Bytes appleNote(const NoteIfdBuilder& ifd) {
  if (!ifd.bigEndian()) throw std::invalid_argument("Apple notes are big-endian");
  Bytes header = {'A', 'p', 'p', 'l', 'e', ' ', 'i', 'O', 'S', 0, 0, 1, 'M', 'M'};
  return noteWithHeader(header, ifd, 0);
}

NoteInTiff tiffWithMakerNote(bool bigEndian, std::string_view make, std::string_view model,
                             const NoteMaker& makeNote) {
  const auto size = static_cast<uint32_t>(makeNote(0).size());
  TiffBuilder t(bigEndian);
  const int ifd0 = t.addIfd();
  const int exif = t.addIfd();
  t.ascii(ifd0, 0x010F, make);
  if (!model.empty()) t.ascii(ifd0, 0x0110, model);
  t.pointer(ifd0, 0x8769, exif);
  t.rationals(exif, 0x829A, {{1, 250}});
  t.entry(exif, kMakerNoteTag, 7, size, Bytes(size, 0));
  Bytes block = t.build();
  // The MakerNote is the Exif directory's second entry; its value field says where it went.
  const std::size_t field = t.ifdOffset(exif) + 2 + 12 + 8;
  const uint32_t noteOffset = size > 4 ? get32(block, field, bigEndian) : static_cast<uint32_t>(field);
  const Bytes note = makeNote(noteOffset);
  if (note.size() != size) throw std::logic_error("a maker note changed size with its offset");
  std::copy(note.begin(), note.end(), block.begin() + noteOffset);
  return {std::move(block), noteOffset};
}

Bytes jpegWithMakerNote(bool bigEndian, std::string_view make, std::string_view model,
                        const NoteMaker& makeNote) {
  return JpegBuilder().app0Jfif().app1Exif(tiffWithMakerNote(bigEndian, make, model, makeNote).tiff)
      .finish();
}

}  // namespace orvel::testing
