// Builders of synthetic inputs for tests and fuzz seeds: TIFF/EXIF blocks in either byte order
// with directory chains, sub-directories, values inline or at offsets and deliberately bad
// offsets, and JPEG files made of chosen segments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvel::testing {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::string_view text);
// Writes a seed file directory/name for the seed makers, saying on stderr when it cannot.
void saveSeed(const std::string& directory, const char* name, const Bytes& bytes);
void appendBE16(Bytes& out, uint16_t value);
void appendBE32(Bytes& out, uint32_t value);
void appendLE16(Bytes& out, uint16_t value);
void appendLE32(Bytes& out, uint32_t value);

// A TIFF block: an 8-byte header, the directories in the order they were added, then one data
// area holding every value longer than 4 bytes (each at an even offset).
class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian = false) : bigEndian_(bigEndian) {}

  bool bigEndian() const { return bigEndian_; }

  // A new, empty directory; the first one added is IFD0. Returns its index.
  int addIfd();

  // An entry whose value bytes are given already encoded in the block's byte order.
  TiffBuilder& entry(int ifd, uint16_t tag, uint16_t type, uint32_t count, Bytes value);
  TiffBuilder& ascii(int ifd, uint16_t tag, std::string_view text);  // NUL terminator added
  TiffBuilder& bytes(int ifd, uint16_t tag, uint16_t type, const Bytes& value);
  TiffBuilder& shorts(int ifd, uint16_t tag, const std::vector<uint16_t>& values);
  TiffBuilder& longs(int ifd, uint16_t tag, const std::vector<uint32_t>& values);
  TiffBuilder& sshorts(int ifd, uint16_t tag, const std::vector<int16_t>& values);
  TiffBuilder& slongs(int ifd, uint16_t tag, const std::vector<int32_t>& values);
  TiffBuilder& rationals(int ifd, uint16_t tag,
                         const std::vector<std::pair<uint32_t, uint32_t>>& values);
  TiffBuilder& srationals(int ifd, uint16_t tag,
                          const std::vector<std::pair<int32_t, int32_t>>& values);
  TiffBuilder& floats(int ifd, uint16_t tag, const std::vector<float>& values);
  TiffBuilder& doubles(int ifd, uint16_t tag, const std::vector<double>& values);

  // A LONG entry holding the offset of another directory (Exif, GPS, Interop, SubIFDs).
  TiffBuilder& pointer(int ifd, uint16_t tag, int child);
  // A LONG entry holding the offsets of several directories (SubIFDs).
  TiffBuilder& pointers(int ifd, uint16_t tag, const std::vector<int>& children);
  // An entry whose value offset is stored verbatim, e.g. past the end of the block.
  TiffBuilder& rawOffset(int ifd, uint16_t tag, uint16_t type, uint32_t count, uint32_t offset);

  // Directory chain: `from`'s next pointer names `to`; or a verbatim next offset.
  TiffBuilder& chain(int from, int to);
  TiffBuilder& nextOffset(int ifd, uint32_t offset);
  // Overrides the header's offset of IFD0.
  TiffBuilder& firstIfdOffset(uint32_t offset);

  // Encoders in the block's byte order.
  Bytes u16(uint16_t value) const;
  Bytes u32(uint32_t value) const;

  Bytes build() const;
  // Offset of a directory in the block that build() returns.
  uint32_t ifdOffset(int ifd) const;

 private:
  enum class ValueKind { data, pointer, raw };
  struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    Bytes value;
    ValueKind kind = ValueKind::data;
    std::vector<int> children;
    uint32_t raw = 0;
  };
  struct Directory {
    std::vector<Entry> entries;
    int next = -1;
    bool rawNext = false;
    uint32_t nextRaw = 0;
  };

  void put16(Bytes& out, uint16_t value) const;
  void put32(Bytes& out, uint32_t value) const;

  bool bigEndian_;
  std::vector<Directory> dirs_;
  bool rawFirst_ = false;
  uint32_t firstRaw_ = 0;
};

// A JPEG file assembled from segments: SOI first, then whatever is added, then the image scan
// and EOI when finished.
class JpegBuilder {
 public:
  JpegBuilder();
  JpegBuilder& app0Jfif();
  JpegBuilder& app1Exif(const Bytes& tiff);
  JpegBuilder& segment(uint8_t marker, const Bytes& payload);
  // SOS with a short entropy-coded payload (stuffed 0xFF 0x00 included), then EOI.
  Bytes finish(const Bytes& entropyData = {0x12, 0xFF, 0x00, 0x34}) const;

 private:
  Bytes out_;
};

// "Exif\0\0" followed by the TIFF block: the payload of an EXIF APP1 segment.
Bytes exifPayload(const Bytes& tiff);

}  // namespace orvel::testing
