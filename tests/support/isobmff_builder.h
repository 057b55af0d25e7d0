// Builders of synthetic ISO base media files: boxes, HEIF stills with chosen item layouts
// (infe/iloc versions, field widths, extents, construction methods) and QuickTime/MP4 movie
// boxes (headers, classic and keyed item lists).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/builders.h"

namespace orvel::testing {

// A box with an 8-byte header, a 16-byte header (size field 1), or a size field of 0.
Bytes box(std::string_view type, const Bytes& payload);
Bytes largeBox(std::string_view type, const Bytes& payload);
Bytes openEndedBox(std::string_view type, const Bytes& payload);
// A box whose payload starts with version and flags.
Bytes fullBox(std::string_view type, uint8_t version, uint32_t flags, const Bytes& payload);
Bytes concat(std::initializer_list<Bytes> parts);
void appendBE64(Bytes& out, uint64_t value);
void appendBytes(Bytes& out, const Bytes& more);

struct HeifItemLayout {
  uint32_t id = 1;
  std::string type = "Exif";
  std::string contentType;    // for "mime" items
  Bytes data;                 // the item's payload, stored in one "mdat" after "meta"
  int extents = 1;            // data is split evenly over this many extents
  int constructionMethod = 0; // written only by iloc versions 1 and 2
};

// ftyp, meta (hdlr, iinf, iloc), mdat holding the items' data in the order added.
class HeifBuilder {
 public:
  HeifBuilder& item(HeifItemLayout entry);
  HeifBuilder& infeVersion(uint8_t version);  // 2 (16-bit item IDs) or 3 (32-bit)
  HeifBuilder& ilocVersion(uint8_t version);  // 0, 1 or 2
  HeifBuilder& fieldSizes(int offsetSize, int lengthSize, int baseOffsetSize);
  HeifBuilder& brand(std::string_view major);
  HeifBuilder& trailing(Bytes bytes);         // appended after mdat (e.g. padding)
  HeifBuilder& leading(Bytes bytes);          // between ftyp and meta

  Bytes build() const;
  // Absolute offset of an item's data in what build() returns.
  int64_t dataOffset(uint32_t id) const;

 private:
  Bytes meta(const std::map<uint32_t, int64_t>& offsets) const;
  std::map<uint32_t, int64_t> layout(int64_t mdatPayload) const;

  std::vector<HeifItemLayout> items_;
  uint8_t infeVersion_ = 2;
  uint8_t ilocVersion_ = 0;
  int offsetSize_ = 4;
  int lengthSize_ = 4;
  int baseOffsetSize_ = 0;
  std::string brand_ = "heic";
  Bytes leading_;
  Bytes trailing_;
};

// An Exif item payload: a 4-byte header offset, `gap` bytes, then the TIFF block.
Bytes exifItemPayload(const Bytes& tiff, const Bytes& gap = {});

// Movie boxes.
Bytes mvhd(uint8_t version, uint64_t creation);
Bytes tkhd(uint8_t version, uint32_t width, uint32_t height);  // whole pixels
Bytes track(const Bytes& trackHeader);
Bytes dataBox(std::string_view text, uint32_t typeIndicator = 1);
Bytes ilstItem(std::string_view type, std::string_view text);
Bytes ilstItemIndexed(uint32_t keyIndex, std::string_view text);  // type = 32-bit index
Bytes keysBox(const std::vector<std::string>& keys);
// "meta" as MP4 writes it (version and flags first) or as phones write it (no version).
Bytes metaBox(const Bytes& children, bool quickTimeStyle = false);

// Canon CR3: "ftyp" (major brand "crx "), "moov" holding the camera's "uuid" box and a track of
// 6000x4000, then a short "mdat". The uuid box holds the given blocks as CMT1, CMT2, ... unless
// a whole uuid box is given instead.
extern const Bytes kCanonRawUuid;
Bytes canonRawFile(const std::vector<Bytes>& blocks, const Bytes& uuidBox = {});

}  // namespace orvel::testing
