#include "exif/isobmff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>

#include "boxo/isobmff.h"

namespace orvel::exif {
namespace {

constexpr std::string_view kXmpContentType = "application/rdf+xml";
// An empty big-endian TIFF: header, then at offset 8 a directory with no entries and no next.
constexpr uint8_t kEmptyTiff[14] = {'M', 'M', 0, '*', 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};

int64_t sizeOf(ByteView data) { return static_cast<int64_t>(data.size()); }

bool bytesAre(ByteView data, int64_t position, std::string_view text) {
  if (!inBounds(data, position, static_cast<int64_t>(text.size()))) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (data[static_cast<size_t>(position) + i] != static_cast<uint8_t>(text[i])) return false;
  }
  return true;
}

std::string textAt(ByteView data, int64_t position, int64_t length) {
  if (!inBounds(data, position, length)) return {};
  const ByteView part = data.subspan(static_cast<size_t>(position), static_cast<size_t>(length));
  return std::string(part.begin(), part.end());
}

// Reads consecutive big-endian fields of a box payload; a field that would pass the end
// fails, and so does every later one.
class FieldReader {
 public:
  FieldReader(ByteView data, int64_t position, int64_t end)
      : data_(data), position_(position), end_(std::min(end, sizeOf(data))) {}

  int64_t position() const { return position_; }

  std::optional<uint64_t> take(int width) {
    if (width < 0 || width > 8 || position_ < 0 || width > end_ - position_) return std::nullopt;
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | data_[static_cast<size_t>(position_ + i)];
    position_ += width;
    return value;
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

int64_t clampToSigned(uint64_t value) {
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return static_cast<int64_t>(std::min(value, kMax));
}

// Payload range of the first top-level "meta" box, after its version and flags.
std::optional<std::pair<int64_t, int64_t>> topLevelMeta(ByteView file) {
  int64_t position = 0;
  while (auto header = boxo::readBoxHeader(file, position)) {
    const int64_t remaining = sizeOf(file) - position;
    const uint32_t field = boxo::beU32(file, position);
    const int64_t size = field == 0 ? remaining : clampToSigned(header->size);
    const int64_t headerLength = boxo::headerLength(file, position);
    if (size < 8 || size < headerLength || size > remaining) return std::nullopt;
    if (header->type == "meta") {
      return std::make_pair(position + headerLength + 4, position + size);
    }
    position += size;
  }
  return std::nullopt;
}

void readInfe(ByteView file, int64_t payload, int64_t end, ItemMap& items) {
  FieldReader reader(file, payload, end);
  const auto version = reader.take(1);
  if (!version || !reader.skip(3)) return;
  const auto itemId = reader.take(*version >= 3 ? 4 : 2);
  if (!itemId || !reader.skip(2)) return;  // protection index
  const int64_t typePosition = reader.position();
  if (!reader.skip(4)) return;
  const std::string type = textAt(file, typePosition, 4);
  int64_t position = readCString(file, reader.position(), end).next;  // item name, unused
  std::string contentType;
  if (type == "mime" && position < end) contentType = readCString(file, position, end).text;
  ItemInfo& item = items[static_cast<uint32_t>(*itemId)];
  item.type = type;
  item.contentType = std::move(contentType);
}

void readIinf(ByteView file, int64_t payload, int64_t end, ItemMap& items) {
  if (!inBounds(file, payload, 1) || payload >= end) return;
  const uint8_t version = file[static_cast<size_t>(payload)];
  int64_t position = payload + 4 + (version == 0 ? 2 : 4);  // entry count is not needed
  while (position < end) {
    const int64_t size = boxSizeAt(file, position, end);
    if (size < 8 || size > end - position) return;
    if (box4(file, position) == "infe") {
      readInfe(file, position + boxo::headerLength(file, position), position + size, items);
    }
    position += size;
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

bool isMetadataItem(const ItemInfo& item) {
  return item.type == "Exif" || (item.type == "mime" && item.contentType == kXmpContentType);
}

// Stored in the file as one extent that lies wholly inside it.
bool isSingleExtentInFile(const ItemInfo& item, int64_t fileLength) {
  return item.located && item.constructionMethod == 0 && item.extentCount == 1 &&
         item.offset >= 0 && item.length >= 0 && item.offset <= fileLength &&
         item.length <= fileLength - item.offset;
}

void fill(std::vector<uint8_t>& out, int64_t from, int64_t to, uint8_t value) {
  std::fill(out.begin() + from, out.begin() + to, value);
}

void blankExif(std::vector<uint8_t>& out, const ItemInfo& item) {
  const int64_t end = item.offset + item.length;
  fill(out, item.offset, end, 0);
  const int64_t start = item.offset + 4;  // the header offset before the TIFF stays 0
  const int64_t count = std::min<int64_t>(sizeof kEmptyTiff, end - start);
  std::copy(kEmptyTiff, kEmptyTiff + count, out.begin() + start);
}

void blankXmp(std::vector<uint8_t>& out, const ItemInfo& item) {
  const int64_t end = item.offset + item.length;
  const auto packetLength = static_cast<int64_t>(kEmptyXmpPacket.size());
  if (item.length < packetLength) {
    fill(out, item.offset, end, 0);
    return;
  }
  std::copy(kEmptyXmpPacket.begin(), kEmptyXmpPacket.end(), out.begin() + item.offset);
  fill(out, item.offset + packetLength, end, ' ');
}

// Position of the first byte equal to value at or after from, or -1. The one place that
// hands input to memchr, which scans far faster than a byte loop.
int64_t findByte(ByteView data, int64_t from, uint8_t value) {
  if (from < 0 || from >= sizeOf(data)) return -1;
  const auto start = static_cast<size_t>(from);
  const void* hit = std::memchr(data.data() + start, value, data.size() - start);
  return hit == nullptr ? -1 : static_cast<const uint8_t*>(hit) - data.data();
}

bool isTiffHeader(ByteView data, int64_t position) {
  return bytesAre(data, position, std::string_view("MM\0*", 4)) ||
         bytesAre(data, position, std::string_view("II*\0", 4));
}

}  // namespace

int64_t boxSizeAt(ByteView data, int64_t position, int64_t end) {
  if (position < 0 || !inBounds(data, position, 8)) return -1;
  const uint32_t field = readUint32(data, position, true);
  if (field == 0) return end - position >= 8 ? end - position : -1;
  if (field != 1) return field < 8 ? -1 : static_cast<int64_t>(field);
  if (!inBounds(data, position, 16)) return -1;
  const int64_t size = clampToSigned(readUint64(data, position + 8, true));
  return size < 16 ? -1 : size;
}

std::string box4(ByteView data, int64_t position) {
  if (position < 0 || !inBounds(data, position, 8)) return {};
  return textAt(data, position + 4, 4);
}

int64_t beInt(ByteView data, int64_t position, int width) {
  if (position < 0 || width < 0 || width > 8) return -1;
  FieldReader reader(data, position, sizeOf(data));
  const auto value = reader.take(width);
  return value ? static_cast<int64_t>(*value) : -1;
}

CString readCString(ByteView data, int64_t position, int64_t end) {
  end = std::min(end, sizeOf(data));
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
  const auto [start, end] = *meta;
  for (int64_t position = start; position < end;) {
    const int64_t size = boxSizeAt(file, position, end);
    if (size < 8 || size > end - position) break;
    const std::string type = box4(file, position);
    const int64_t payload = position + boxo::headerLength(file, position);
    if (type == "iinf") readIinf(file, payload, position + size, items);
    if (type == "iloc") readIloc(file, payload, position + size, items);
    position += size;
  }
  return items;
}

ItemInfo locateExifItem(ByteView file) {
  const ItemMap items = parseItemRecords(file);
  const ItemInfo* chosen = nullptr;
  uint32_t chosenId = 0;
  for (const auto& [id, item] : items) {
    if (item.type != "Exif" || (chosen != nullptr && id > chosenId)) continue;
    chosen = &item;
    chosenId = id;
  }
  return chosen != nullptr ? *chosen : ItemInfo{};
}

int64_t findExifTiffInIsobmff(ByteView file) {
  const ItemInfo item = locateExifItem(file);
  if (!isSingleExtentInFile(item, sizeOf(file)) || item.length <= 4) return -1;
  const int64_t tiff = item.offset + 4 + readUint32(file, item.offset, true);
  if (tiff + 4 > item.offset + item.length || !isTiffHeader(file, tiff)) return -1;
  return tiff;
}

int64_t findExifInHEIC(ByteView file) {
  const int64_t length = sizeOf(file);
  for (int64_t j = findByte(file, 0, 'E'); j >= 0 && j < length - 10; j = findByte(file, j + 1, 'E')) {
    if (!bytesAre(file, j, "Exif")) continue;
    const int64_t stop = std::min(j + 68, length - 4);
    for (int64_t k = j + 4; k < stop; ++k) {
      if (bytesAre(file, k, std::string_view("MM\0", 3)) || bytesAre(file, k, "II*")) return k;
    }
  }
  return -1;
}

void putBE(std::vector<uint8_t>& out, int64_t position, int width, uint64_t value) {
  if (width < 0 || position < 0 || position > static_cast<int64_t>(out.size()) ||
      width > static_cast<int64_t>(out.size()) - position) {
    throw std::out_of_range("putBE: field outside the output");
  }
  for (int i = 0; i < width; ++i) {
    const int shift = 8 * (width - 1 - i);  // most significant byte first
    out[static_cast<size_t>(position + i)] = shift < 64 ? static_cast<uint8_t>(value >> shift) : 0;
  }
}

bool fitsIn(int64_t value, int width) noexcept {
  if (value < 0) return false;
  if (width > 7) return true;
  if (width < 0) return false;
  return (static_cast<uint64_t>(value) >> (8 * width)) == 0;
}

std::vector<uint8_t> writeExifIsobmff(ByteView file, ByteView tiff) {
  const ItemInfo item = locateExifItem(file);
  const int64_t fileLength = sizeOf(file);
  if (!isSingleExtentInFile(item, fileLength)) return {};
  std::vector<uint8_t> payload(4, 0);  // header offset 0: the TIFF header follows at once
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  const auto payloadLength = static_cast<int64_t>(payload.size());
  std::vector<uint8_t> out(file.begin(), file.end());

  if (payloadLength <= item.length && fitsIn(payloadLength, item.lengthSize)) {
    std::copy(payload.begin(), payload.end(), out.begin() + item.offset);
    fill(out, item.offset + payloadLength, item.offset + item.length, 0);
    putBE(out, item.lengthFieldPosition, item.lengthSize, static_cast<uint64_t>(payloadLength));
    return out;
  }
  int64_t newOffset = 0;
  if (__builtin_sub_overflow(fileLength + 8, item.baseOffset, &newOffset) ||
      !fitsIn(newOffset, item.offsetSize) || !fitsIn(payloadLength, item.lengthSize) ||
      payloadLength + 8 > int64_t{0xFFFFFFFF}) {
    return {};  // the new payload cannot be addressed: nothing was written
  }
  const auto boxSize = static_cast<uint32_t>(payloadLength + 8);
  const uint8_t boxHeader[8] = {static_cast<uint8_t>(boxSize >> 24), static_cast<uint8_t>(boxSize >> 16),
                                static_cast<uint8_t>(boxSize >> 8),  static_cast<uint8_t>(boxSize),
                                'm', 'd', 'a', 't'};
  out.insert(out.end(), boxHeader, boxHeader + 8);
  out.insert(out.end(), payload.begin(), payload.end());
  putBE(out, item.offsetFieldPosition, item.offsetSize, static_cast<uint64_t>(newOffset));
  putBE(out, item.lengthFieldPosition, item.lengthSize, static_cast<uint64_t>(payloadLength));
  return out;
}

std::vector<uint8_t> stripIsobmff(ByteView file) {
  if (!boxo::isIsobmff(file)) return {};
  const ItemMap items = parseItemRecords(file);
  if (items.empty()) return {};
  std::vector<uint8_t> out(file.begin(), file.end());
  for (const auto& [id, item] : items) {
    if (!isMetadataItem(item) || !item.located || item.extentCount == 0) continue;
    // Metadata we cannot reach must not be reported as stripped.
    if (!isSingleExtentInFile(item, sizeOf(file))) return {};
    if (item.length <= 4) continue;
    if (item.type == "Exif") {
      blankExif(out, item);
    } else {
      blankXmp(out, item);
    }
  }
  return out;
}

}  // namespace orvel::exif
