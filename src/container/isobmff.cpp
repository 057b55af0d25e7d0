#include "container/isobmff.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/text.h"

namespace orvel::container {
namespace {

constexpr int64_t kLargeHeader = 16;

int64_t clampToSigned(uint64_t value) {
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return static_cast<int64_t>(std::min(value, kMax));
}

// The box whose header bytes are `header` (at least 8, 16 for a 64-bit size), standing at
// `position` of a range with `room` bytes left; nothing when the rules end the walk here.
// `overruns` tells whether the box runs past the range.
std::optional<Box> boxFromHeader(ByteView header, int64_t position, int64_t room,
                                 const BoxWalkRules& rules, bool& overruns) {
  if (room < 8 || !base::inBounds(header, 0, 8)) return std::nullopt;
  Box box;
  box.start = position;
  std::memcpy(box.type.bytes, header.data() + 4, 4);
  const uint32_t field = base::readU32be(header, 0);
  if (field == 1) {
    if (room < kLargeHeader || !base::inBounds(header, 0, kLargeHeader)) return std::nullopt;
    box.size = clampToSigned(base::readUint64(header, 8, true));
    box.headerLength = kLargeHeader;
  } else if (field == 0) {
    if (!rules.zeroSizeRunsToEnd) return std::nullopt;
    box.size = room;
  } else {
    box.size = field;
  }
  if (box.size < box.headerLength) return std::nullopt;
  overruns = box.size > room;
  if (overruns && !rules.yieldOverrunningBox) return std::nullopt;
  return box;
}

// Reads consecutive big-endian fields of a box payload; a field that would pass the end
// fails, and so does every later one.
class FieldReader {
 public:
  FieldReader(ByteView data, int64_t position, int64_t end)
      : data_(data), position_(position), end_(std::min(end, static_cast<int64_t>(data.size()))) {}

  int64_t position() const { return position_; }

  std::optional<uint64_t> take(int width) {
    if (width < 0 || width > 8 || position_ < 0 || width > end_ - position_) return std::nullopt;
    const int64_t value = base::beInt(data_, position_, width);
    position_ += width;
    return static_cast<uint64_t>(value);
  }

  bool skip(int64_t count) {
    if (count < 0 || position_ < 0 || count > end_ - position_) return false;
    position_ += count;
    return true;
  }

 private:
  ByteView data_;
  int64_t position_;
  int64_t end_;
};

constexpr BoxWalkRules kMetaChildren{true, false};

void readInfe(ByteView file, int64_t payload, int64_t end, ItemMap& items) {
  FieldReader reader(file, payload, end);
  const auto version = reader.take(1);
  if (!version || !reader.skip(3)) return;
  const auto itemId = reader.take(*version >= 3 ? 4 : 2);
  if (!itemId || !reader.skip(2)) return;  // protection index
  const int64_t typePosition = reader.position();
  if (!reader.skip(4)) return;
  const std::string type = base::textAt(file, typePosition, 4);
  const int64_t position = readCString(file, reader.position(), end).next;  // item name, unused
  std::string contentType;
  if (type == "mime" && position < end) contentType = readCString(file, position, end).text;
  ItemInfo& item = items[static_cast<uint32_t>(*itemId)];
  item.type = type;
  item.contentType = std::move(contentType);
}

void readIinf(ByteView file, int64_t payload, int64_t end, ItemMap& items) {
  if (!base::inBounds(file, payload, 1) || payload >= end) return;
  const uint8_t version = base::byteAt(file, payload);
  const int64_t entries = payload + 4 + (version == 0 ? 2 : 4);  // the count is not needed
  BoxWalk walk(file, entries, end, kMetaChildren);
  while (const auto box = walk.next()) {
    if (box->type == "infe") readInfe(file, box->payload(), box->end(), items);
  }
}

struct IlocLayout {
  uint64_t version = 0;
  int offsetSize = 0;
  int lengthSize = 0;
  int baseOffsetSize = 0;
  int indexSize = 0;
};

void recordFirstExtent(ItemInfo& item, const IlocLayout& layout, int64_t base, uint64_t offset,
                       uint64_t length, int64_t offsetField, int64_t lengthField) {
  int64_t absolute = 0;
  const bool overflow = base < 0 || __builtin_add_overflow(base, clampToSigned(offset), &absolute);
  item.offset = overflow ? -1 : absolute;  // an unaddressable item is never used
  item.length = clampToSigned(length);
  item.offsetFieldPosition = offsetField;
  item.lengthFieldPosition = lengthField;
  item.offsetSize = layout.offsetSize;
  item.lengthSize = layout.lengthSize;
}

// One item entry of "iloc"; false when a field does not fit.
bool readIlocItem(FieldReader& reader, const IlocLayout& layout, ItemMap& items) {
  const bool extended = layout.version == 1 || layout.version == 2;
  const auto itemId = reader.take(layout.version == 2 ? 4 : 2);
  if (!itemId) return false;
  std::optional<uint64_t> method = 0;
  if (extended) method = reader.take(2);
  if (!method || !reader.skip(2)) return false;  // data reference index
  const auto baseOffset = reader.take(layout.baseOffsetSize);
  const auto extentCount = reader.take(2);
  if (!baseOffset || !extentCount) return false;

  ItemInfo& item = items[static_cast<uint32_t>(*itemId)];
  item.located = true;
  item.baseOffset = static_cast<int64_t>(*baseOffset);  // 8-byte values above 2^63 go negative
  item.offset = item.baseOffset;
  item.length = 0;
  item.extentCount = static_cast<int64_t>(*extentCount);
  item.constructionMethod = static_cast<int>(*method & 0x0F);
  if (*extentCount == 0) return true;

  const int indexSize = extended ? layout.indexSize : 0;
  if (!reader.skip(indexSize)) return false;
  const int64_t offsetField = reader.position();
  const auto offset = reader.take(layout.offsetSize);
  const int64_t lengthField = reader.position();
  const auto length = reader.take(layout.lengthSize);
  if (!offset || !length) return false;
  recordFirstExtent(item, layout, item.baseOffset, *offset, *length, offsetField, lengthField);
  // Later extents are only stepped over; all have the same width.
  const int64_t extentBytes = indexSize + layout.offsetSize + layout.lengthSize;
  return reader.skip(extentBytes * (item.extentCount - 1));
}

void readIloc(ByteView file, int64_t payload, int64_t end, ItemMap& items) {
  FieldReader reader(file, payload, end);
  IlocLayout layout;
  const auto version = reader.take(1);
  if (!version || !reader.skip(3)) return;
  const auto sizes = reader.take(1);
  const auto moreSizes = reader.take(1);
  if (!sizes || !moreSizes) return;
  layout.version = *version;
  layout.offsetSize = static_cast<int>(*sizes >> 4);
  layout.lengthSize = static_cast<int>(*sizes & 0x0F);
  layout.baseOffsetSize = static_cast<int>(*moreSizes >> 4);
  layout.indexSize = static_cast<int>(*moreSizes & 0x0F);
  const auto count = reader.take(layout.version == 2 ? 4 : 2);
  if (!count) return;
  for (uint64_t i = 0; i < *count; ++i) {
    if (!readIlocItem(reader, layout, items)) return;
  }
}

}  // namespace

bool isIsobmff(ByteView data) noexcept {
  return data.size() >= 12 && base::hasBytesAt(data, 4, "ftyp");
}

bool hasIsobmffSignature(ByteView data) noexcept {
  return data.size() >= 8 && (base::hasBytesAt(data, 4, "moov") || base::hasBytesAt(data, 4, "ftyp"));
}

bool isCanonRaw(ByteView data) noexcept {
  return isIsobmff(data) && base::hasBytesAt(data, 8, "crx ");
}

std::optional<std::pair<int64_t, int64_t>> uuidBoxPayload(ByteView data, int64_t start,
                                                          int64_t end, ByteView uuid) {
  constexpr int64_t kUuidLength = 16;
  if (uuid.size() != kUuidLength) return std::nullopt;
  end = std::min(end, static_cast<int64_t>(data.size()));
  BoxWalk walk(data, start, end, BoxWalkRules{false, false});
  while (const auto box = walk.next()) {
    if (!(box->type == "uuid") || box->size - box->headerLength < kUuidLength) continue;
    base::demand(data, box->payload(), kUuidLength);
    if (!std::equal(uuid.begin(), uuid.end(), data.begin() + box->payload())) continue;
    return std::pair{box->payload() + kUuidLength, std::min(box->end(), end)};
  }
  return std::nullopt;
}

std::optional<Box> BoxWalk::next() noexcept {
  if (ended_ || position_ < 0 || position_ >= end_) return std::nullopt;
  const int64_t room = end_ - position_;
  bool overruns = false;
  base::demand(data_, position_, kLargeHeader);
  const ByteView header =
      base::inBounds(data_, position_, kLargeHeader)
          ? data_.subspan(static_cast<size_t>(position_), kLargeHeader)
          : data_.subspan(std::min(static_cast<size_t>(position_), data_.size()));
  const std::optional<Box> box = boxFromHeader(header, position_, room, rules_, overruns);
  if (!box || overruns) ended_ = true;
  if (box && !overruns) position_ = box->end();  // an overrunning box may end past 2^63
  return box;
}

std::optional<Box> FileBoxWalk::next() {
  if (ended_ || position_ + 8 > file_.size()) return std::nullopt;
  const auto header = file_.readAt(position_, kLargeHeader);
  bool overruns = false;
  std::optional<Box> box;
  if (header) box = boxFromHeader(*header, position_, file_.size() - position_, rules_, overruns);
  if (!box || overruns) ended_ = true;
  if (box && !overruns) position_ = box->end();  // an overrunning box may end past 2^63
  return box;
}

std::optional<std::pair<int64_t, int64_t>> topLevelMeta(ByteView file) {
  BoxWalk walk(file, 0, static_cast<int64_t>(file.size()), kMetaChildren);
  while (const auto box = walk.next()) {
    if (box->type == "meta") return std::make_pair(box->payload() + 4, box->end());
  }
  return std::nullopt;
}

CString readCString(ByteView data, int64_t position, int64_t end) {
  end = std::min(end, static_cast<int64_t>(data.size()));
  if (position < 0 || position >= end) return {{}, std::max<int64_t>(position, end)};
  const auto from = data.begin() + position;
  const auto to = data.begin() + end;
  const auto nul = std::find(from, to, uint8_t{0});
  return {std::string(from, nul), nul == to ? end : (nul - data.begin()) + 1};
}

ItemMap parseItemRecords(ByteView file) {
  ItemMap items;
  const auto meta = topLevelMeta(file);
  if (!meta) return items;
  base::demand(file, meta->first, meta->second - meta->first);
  BoxWalk walk(file, meta->first, meta->second, kMetaChildren);
  while (const auto box = walk.next()) {
    if (box->type == "iinf") readIinf(file, box->payload(), box->end(), items);
    if (box->type == "iloc") readIloc(file, box->payload(), box->end(), items);
  }
  return items;
}

ItemInfo firstItemOfType(const ItemMap& items, std::string_view type) {
  const ItemInfo* chosen = nullptr;
  uint32_t chosenId = 0;
  for (const auto& [id, item] : items) {
    if (item.type != type || (chosen != nullptr && id > chosenId)) continue;
    chosen = &item;
    chosenId = id;
  }
  return chosen != nullptr ? *chosen : ItemInfo{};
}

bool isSingleExtentInFile(const ItemInfo& item, int64_t fileLength) noexcept {
  return item.located && item.constructionMethod == 0 && item.extentCount == 1 &&
         item.offset >= 0 && item.length >= 0 && item.offset <= fileLength &&
         item.length <= fileLength - item.offset;
}

}  // namespace orvel::container
