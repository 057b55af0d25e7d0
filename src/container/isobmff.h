// ISO base media boxes (HEIF/HEIC/AVIF stills, MP4 and QuickTime movies): the one box walk,
// over bytes in memory or over a file's top level, and the item tables of a "meta" box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/bytes.h"
#include "base/file.h"

namespace orvel::container {

using base::ByteView;

// At least 12 bytes whose bytes 4..7 are "ftyp".
bool isIsobmff(ByteView data) noexcept;

// Bytes 4..7 are "moov" or "ftyp" (at least 8 bytes): how a reader recognises a HEIF still or a
// QuickTime/MP4 movie.
bool hasIsobmffSignature(ByteView data) noexcept;

// An ISO file whose "ftyp" names "crx " as its major brand: a Canon CR3 raw file.
bool isCanonRaw(ByteView data) noexcept;

// A box type: four bytes, compared with text.
struct FourCC {
  char bytes[4] = {};
  bool operator==(std::string_view text) const noexcept {
    return text.size() == 4 && std::string_view(bytes, 4) == text;
  }
  std::string str() const { return std::string(bytes, 4); }
};

// One box as its header declares it. A 32-bit size field of 1 means a 64-bit size follows and
// the header is 16 bytes; sizes beyond 2^63 are clamped.
struct Box {
  int64_t start = 0;
  int64_t size = 0;          // whole box, header included
  int64_t headerLength = 8;  // 8 or 16
  FourCC type;

  int64_t payload() const { return start + headerLength; }
  int64_t end() const { return start + size; }
};

// How a walk reads the sizes it meets. Boxes whose size cannot even hold their header end
// every walk.
struct BoxWalkRules {
  // A size field of 0: the box runs to the end of its range (top-level and "meta" children),
  // or the walk ends (inside movie boxes).
  bool zeroSizeRunsToEnd = true;
  // A box running past its range: the walk ends before it, or hands it over as the last box
  // (so that a caller may read what there is of it).
  bool yieldOverrunningBox = false;
};

// Walks the boxes in [start, end) of the data.
class BoxWalk {
 public:
  BoxWalk(ByteView data, int64_t start, int64_t end, BoxWalkRules rules) noexcept
      : data_(data), position_(start), end_(end), rules_(rules) {}

  std::optional<Box> next() noexcept;

 private:
  ByteView data_;
  int64_t position_;
  int64_t end_;
  BoxWalkRules rules_;
  bool ended_ = false;
};

// Walks the top-level boxes of a file, reading each header from it, under the same rules.
class FileBoxWalk {
 public:
  FileBoxWalk(const base::ReadOnlyFile& file, BoxWalkRules rules) noexcept
      : file_(file), rules_(rules) {}

  std::optional<Box> next();

 private:
  const base::ReadOnlyFile& file_;
  BoxWalkRules rules_;
  int64_t position_ = 0;
  bool ended_ = false;
};

// The payload (past the 16-byte UUID) of the first "uuid" box among the boxes in [start, end)
// whose UUID is the given one; the range is clamped to the data.
std::optional<std::pair<int64_t, int64_t>> uuidBoxPayload(ByteView data, int64_t start,
                                                          int64_t end, ByteView uuid);

// The payload range of the first top-level "meta" box, after its version and flags.
std::optional<std::pair<int64_t, int64_t>> topLevelMeta(ByteView file);

// ---- Items of a HEIF "meta" box ----

// One item, from its "infe" entry and the first extent of its "iloc" entry. Offsets are
// absolute file offsets.
struct ItemInfo {
  std::string type;         // "Exif", "mime", "hvc1", ...
  std::string contentType;  // only for "mime" items
  bool located = false;     // an "iloc" entry was read
  int64_t offset = 0;       // base offset + first extent offset; -1 when that overflows
  int64_t length = 0;       // length of the first extent
  int64_t offsetFieldPosition = 0;
  int64_t lengthFieldPosition = 0;
  int offsetSize = 0;  // widths in bytes of the two extent fields
  int lengthSize = 0;
  int64_t baseOffset = 0;
  int64_t extentCount = 0;
  int constructionMethod = 0;  // 0 = file offset, 1 = inside "idat", 2 = item reference
};

using ItemMap = std::unordered_map<uint32_t, ItemInfo>;

struct CString {
  std::string text;
  int64_t next = 0;  // just past the NUL, or the end when there is none
};

// Bytes from position up to a NUL or end.
CString readCString(ByteView data, int64_t position, int64_t end);

// Every item named by "iinf" or "iloc" of the first top-level "meta" box.
ItemMap parseItemRecords(ByteView file);

// The item of the given type with the lowest item ID; located is false when there is none.
ItemInfo firstItemOfType(const ItemMap& items, std::string_view type);

// Stored in the file as one extent that lies wholly inside it.
bool isSingleExtentInFile(const ItemInfo& item, int64_t fileLength) noexcept;

}  // namespace orvel::container
