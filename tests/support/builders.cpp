#include "support/builders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace orvel::testing {

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

void saveSeed(const std::string& directory, const char* name, const Bytes& bytes) {
  const std::string path = directory + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    return;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

void appendBE16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void appendBE32(Bytes& out, uint32_t value) {
  appendBE16(out, static_cast<uint16_t>(value >> 16));
  appendBE16(out, static_cast<uint16_t>(value));
}

void appendLE16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void appendLE32(Bytes& out, uint32_t value) {
  appendLE16(out, static_cast<uint16_t>(value));
  appendLE16(out, static_cast<uint16_t>(value >> 16));
}

void TiffBuilder::put16(Bytes& out, uint16_t value) const {
  bigEndian_ ? appendBE16(out, value) : appendLE16(out, value);
}

void TiffBuilder::put32(Bytes& out, uint32_t value) const {
  bigEndian_ ? appendBE32(out, value) : appendLE32(out, value);
}

Bytes TiffBuilder::u16(uint16_t value) const {
  Bytes out;
  put16(out, value);
  return out;
}

Bytes TiffBuilder::u32(uint32_t value) const {
  Bytes out;
  put32(out, value);
  return out;
}

int TiffBuilder::addIfd() {
  dirs_.emplace_back();
  return static_cast<int>(dirs_.size()) - 1;
}

TiffBuilder& TiffBuilder::entry(int ifd, uint16_t tag, uint16_t type, uint32_t count, Bytes value) {
  Entry e;
  e.tag = tag;
  e.type = type;
  e.count = count;
  e.value = std::move(value);
  dirs_.at(static_cast<std::size_t>(ifd)).entries.push_back(std::move(e));
  return *this;
}

TiffBuilder& TiffBuilder::ascii(int ifd, uint16_t tag, std::string_view text) {
  Bytes value = bytesOf(text);
  value.push_back(0);
  auto count = static_cast<uint32_t>(value.size());
  return entry(ifd, tag, 2, count, std::move(value));
}

TiffBuilder& TiffBuilder::bytes(int ifd, uint16_t tag, uint16_t type, const Bytes& value) {
  return entry(ifd, tag, type, static_cast<uint32_t>(value.size()), value);
}

TiffBuilder& TiffBuilder::shorts(int ifd, uint16_t tag, const std::vector<uint16_t>& values) {
  Bytes value;
  for (uint16_t v : values) put16(value, v);
  return entry(ifd, tag, 3, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::longs(int ifd, uint16_t tag, const std::vector<uint32_t>& values) {
  Bytes value;
  for (uint32_t v : values) put32(value, v);
  return entry(ifd, tag, 4, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::sshorts(int ifd, uint16_t tag, const std::vector<int16_t>& values) {
  Bytes value;
  for (int16_t v : values) put16(value, static_cast<uint16_t>(v));
  return entry(ifd, tag, 8, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::slongs(int ifd, uint16_t tag, const std::vector<int32_t>& values) {
  Bytes value;
  for (int32_t v : values) put32(value, static_cast<uint32_t>(v));
  return entry(ifd, tag, 9, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::rationals(int ifd, uint16_t tag,
                                    const std::vector<std::pair<uint32_t, uint32_t>>& values) {
  Bytes value;
  for (auto [n, d] : values) {
    put32(value, n);
    put32(value, d);
  }
  return entry(ifd, tag, 5, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::srationals(int ifd, uint16_t tag,
                                     const std::vector<std::pair<int32_t, int32_t>>& values) {
  Bytes value;
  for (auto [n, d] : values) {
    put32(value, static_cast<uint32_t>(n));
    put32(value, static_cast<uint32_t>(d));
  }
  return entry(ifd, tag, 10, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::floats(int ifd, uint16_t tag, const std::vector<float>& values) {
  Bytes value;
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put32(value, bits);
  }
  return entry(ifd, tag, 11, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::doubles(int ifd, uint16_t tag, const std::vector<double>& values) {
  Bytes value;
  for (double v : values) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    // The high word comes first in big-endian blocks, the low word in little-endian ones.
    auto high = static_cast<uint32_t>(bits >> 32);
    auto low = static_cast<uint32_t>(bits);
    put32(value, bigEndian_ ? high : low);
    put32(value, bigEndian_ ? low : high);
  }
  return entry(ifd, tag, 12, static_cast<uint32_t>(values.size()), std::move(value));
}

TiffBuilder& TiffBuilder::pointer(int ifd, uint16_t tag, int child) {
  return pointers(ifd, tag, {child});
}

TiffBuilder& TiffBuilder::pointers(int ifd, uint16_t tag, const std::vector<int>& children) {
  Entry e;
  e.tag = tag;
  e.type = 4;
  e.count = static_cast<uint32_t>(children.size());
  e.kind = ValueKind::pointer;
  e.children = children;
  dirs_.at(static_cast<std::size_t>(ifd)).entries.push_back(std::move(e));
  return *this;
}

TiffBuilder& TiffBuilder::rawOffset(int ifd, uint16_t tag, uint16_t type, uint32_t count,
                                    uint32_t offset) {
  Entry e;
  e.tag = tag;
  e.type = type;
  e.count = count;
  e.kind = ValueKind::raw;
  e.raw = offset;
  dirs_.at(static_cast<std::size_t>(ifd)).entries.push_back(std::move(e));
  return *this;
}

TiffBuilder& TiffBuilder::chain(int from, int to) {
  dirs_.at(static_cast<std::size_t>(from)).next = to;
  return *this;
}

TiffBuilder& TiffBuilder::nextOffset(int ifd, uint32_t offset) {
  auto& dir = dirs_.at(static_cast<std::size_t>(ifd));
  dir.rawNext = true;
  dir.nextRaw = offset;
  return *this;
}

TiffBuilder& TiffBuilder::firstIfdOffset(uint32_t offset) {
  rawFirst_ = true;
  firstRaw_ = offset;
  return *this;
}

uint32_t TiffBuilder::ifdOffset(int ifd) const {
  uint32_t offset = 8;
  for (int i = 0; i < ifd; ++i) {
    offset += 2 + 12 * static_cast<uint32_t>(dirs_.at(static_cast<std::size_t>(i)).entries.size()) + 4;
  }
  return offset;
}

Bytes TiffBuilder::build() const {
  Bytes out = bigEndian_ ? bytesOf("MM") : bytesOf("II");
  put16(out, 42);
  put32(out, rawFirst_ ? firstRaw_ : (dirs_.empty() ? 0 : 8));
  const auto count = static_cast<int>(dirs_.size());
  uint32_t dataOffset = ifdOffset(count);
  Bytes data;
  for (const Directory& dir : dirs_) {
    put16(out, static_cast<uint16_t>(dir.entries.size()));
    for (const Entry& e : dir.entries) {
      put16(out, e.tag);
      put16(out, e.type);
      put32(out, e.count);
      Bytes value = e.value;
      if (e.kind == ValueKind::raw) {
        put32(out, e.raw);
        continue;
      }
      if (e.kind == ValueKind::pointer) {
        value.clear();
        for (int child : e.children) put32(value, ifdOffset(child));
      }
      if (value.size() <= 4) {
        value.resize(4, 0);
        out.insert(out.end(), value.begin(), value.end());
      } else {
        put32(out, dataOffset + static_cast<uint32_t>(data.size()));
        data.insert(data.end(), value.begin(), value.end());
        if (data.size() % 2 != 0) data.push_back(0);
      }
    }
    put32(out, dir.rawNext ? dir.nextRaw : (dir.next >= 0 ? ifdOffset(dir.next) : 0));
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes exifPayload(const Bytes& tiff) {
  Bytes out(6 + tiff.size());
  const uint8_t header[6] = {'E', 'x', 'i', 'f', 0, 0};
  std::copy(header, header + 6, out.begin());
  std::copy(tiff.begin(), tiff.end(), out.begin() + 6);
  return out;
}

JpegBuilder::JpegBuilder() : out_{0xFF, 0xD8} {}

JpegBuilder& JpegBuilder::segment(uint8_t marker, const Bytes& payload) {
  if (payload.size() + 2 > 0xFFFF) throw std::length_error("JPEG segment too long");
  out_.push_back(0xFF);
  out_.push_back(marker);
  appendBE16(out_, static_cast<uint16_t>(payload.size() + 2));
  out_.insert(out_.end(), payload.begin(), payload.end());
  return *this;
}

JpegBuilder& JpegBuilder::app0Jfif() {
  Bytes payload = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  return segment(0xE0, payload);
}

JpegBuilder& JpegBuilder::app1Exif(const Bytes& tiff) { return segment(0xE1, exifPayload(tiff)); }

Bytes JpegBuilder::finish(const Bytes& entropyData) const {
  Bytes out = out_;
  Bytes sos = {1, 1, 0, 0, 63, 0};  // one component, table 0/0, full spectral range
  out.push_back(0xFF);
  out.push_back(0xDA);
  appendBE16(out, static_cast<uint16_t>(sos.size() + 2));
  out.insert(out.end(), sos.begin(), sos.end());
  out.insert(out.end(), entropyData.begin(), entropyData.end());
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

}  // namespace orvel::testing
