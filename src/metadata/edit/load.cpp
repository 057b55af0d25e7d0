#include "metadata/edit/load.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/file.h"
#include "base/read_limits.h"
#include "container/isobmff.h"
#include "container/jpeg.h"
#include "container/png.h"
#include "container/riff.h"
#include "metadata/makernotes/relocation.h"
#include "metadata/pipeline/locate.h"

namespace orvel::metadata::edit {
namespace {

using base::byteAt;
using base::chargeOutput;
using base::mayProduceOutput;
using base::ReadLimits;
using base::readUint16;
using base::readUint32;
using container::hasTiffSignature;
using container::Ifd;
using container::ItemInfo;
using container::LongValue;
using container::readIFD;
using container::readLongTag;
using container::TiffTag;
using container::typeSize;
using enum container::TiffType;

constexpr uint16_t kMakeTag = 0x010F;

// Tags whose values point into the old block (or describe data that only such a pointer
// reaches). The block is laid out afresh and carries none of their targets, so they are not
// loaded: written back they would point at unrelated bytes.
constexpr std::array<uint16_t, 11> kUncarriedTags = {
    0x0111,  // StripOffsets
    0x0117,  // StripByteCounts
    0x0144,  // TileOffsets
    0x0145,  // TileByteCounts
    0x014A,  // SubIFDs
    0x0190,  // GlobalParametersIFD
    0x0201,  // JPEGInterchangeFormat (thumbnail)
    0x0202,  // JPEGInterchangeFormatLength
    kExifPointerTag,
    kGpsPointerTag,
    0xA005,  // Interop directory
};

bool isUncarried(uint16_t tag) {
  return std::find(kUncarriedTags.begin(), kUncarriedTags.end(), tag) != kUncarriedTags.end();
}

// Absolute position of the TIFF header, or 0 or less when there is none.
int64_t locateBlock(ByteView data) {
  if (hasTiffSignature(data)) return 0;
  if (container::isJpeg(data)) return pipeline::findExifAPP1(data).start;
  if (container::isPng(data)) return pipeline::findExifInPng(data);
  if (container::isWebp(data)) return pipeline::findExifInWebp(data);
  if (container::isIsobmff(data)) {
    const int64_t tiff = pipeline::findExifTiffInIsobmff(data);
    return tiff >= 0 ? tiff : pipeline::findExifInHEIC(data);
  }
  return -1;
}

int64_t sum(int64_t a, int64_t b) {
  int64_t out = 0;
  if (__builtin_add_overflow(a, b, &out)) throw std::overflow_error("EXIF offset overflow");
  return out;
}

// Entries with a value count but no value bytes (their offset lay outside the data) hold
// nothing to carry.
bool holdsValue(const TiffTag& entry) { return entry.count == 0 || !entry.data.empty(); }

void loadDirectory(TagValues& into, const Ifd& ifd, int64_t base) {
  for (const auto& [tag, entry] : ifd.tags) {
    if (isUncarried(tag) || !holdsValue(entry) || !mayProduceOutput()) continue;
    chargeOutput(static_cast<int64_t>(entry.data.size()));
    ExifValue value = decodeTag(entry);
    if (typeSize(entry.type) * int64_t{entry.count} > 4) value.origin = entry.offset - base;
    into.set(tag, std::move(value));
  }
}

// The directory a pointer entry of IFD0 names, when it fits.
std::optional<Ifd> pointedDirectory(const Ifd& ifd0, uint16_t pointer, ByteView data, int64_t base,
                                    bool bigEndian) {
  auto found = ifd0.tags.find(pointer);
  if (found == ifd0.tags.end()) return std::nullopt;
  const LongValue offset = readLongTag(found->second);
  if (!offset.ok) return std::nullopt;
  const int64_t position = sum(base, offset.value);
  if (sum(position, 2) > static_cast<int64_t>(data.size())) return std::nullopt;
  return readIFD(data, position, base, bigEndian);
}

void noteMakerNoteLayout(ExifEdit& edit) {
  const ExifValue* note = edit.exif.find(kMakerNoteTag);
  const ExifValue* make = edit.ifd0.find(kMakeTag);
  if (note == nullptr || make == nullptr) return;
  edit.makerNote = makernotes::makerNoteLayout(make->text, note->bytes, edit.bigEndian);
}

ExifEdit parseBlockAt(ByteView data, int64_t base) {
  const ReadLimits limits;
  ExifEdit edit;
  const int64_t length = static_cast<int64_t>(data.size());
  if (base < 0 || sum(base, 8) > length) return edit;
  orvel::base::demand(data, base, 8);
  edit.bigEndian = byteAt(data, base) != 'I';
  const int64_t ifd0Position = sum(base, readUint32(data, base + 4, edit.bigEndian));
  if (sum(ifd0Position, 2) > length) return edit;
  const Ifd ifd0 = readIFD(data, ifd0Position, base, edit.bigEndian);
  loadDirectory(edit.ifd0, ifd0, base);
  if (auto exif = pointedDirectory(ifd0, kExifPointerTag, data, base, edit.bigEndian)) {
    loadDirectory(edit.exif, *exif, base);
  }
  if (auto gps = pointedDirectory(ifd0, kGpsPointerTag, data, base, edit.bigEndian)) {
    loadDirectory(edit.gps, *gps, base);
  }
  noteMakerNoteLayout(edit);
  return edit;
}

// ---- ISOBMFF files whose Exif item lies beyond the prefix ----

// The bytes of the file's first top-level "meta" box (at most the read prefix's size).
std::optional<std::vector<uint8_t>> metaBoxInFile(const base::ReadOnlyFile& file) {
  container::FileBoxWalk walk(file, {true, false});
  while (const auto box = walk.next()) {
    if (!(box->type == "meta")) continue;
    if (box->size > kEditReadPrefix) return std::nullopt;
    return file.readAt(box->start, box->size);
  }
  return std::nullopt;
}

// The Exif item's description, from the prefix when its "meta" box is there, else from the
// file.
ItemInfo exifItemOf(ByteView prefix, const base::ReadOnlyFile& file) {
  ItemInfo item = pipeline::locateExifItem(prefix);
  if (item.located) return item;
  const auto meta = metaBoxInFile(file);
  return meta ? pipeline::locateExifItem(*meta) : ItemInfo{};
}

// The record held by an Exif item that the prefix does not wholly contain; nullopt when there
// is no such item or it cannot be read.
std::optional<ExifEdit> exifItemBeyondPrefix(ByteView prefix, const base::ReadOnlyFile& file) {
  const ItemInfo item = exifItemOf(prefix, file);
  const int64_t prefixLength = static_cast<int64_t>(prefix.size());
  if (!item.located || item.constructionMethod != 0 || item.extentCount != 1 ||
      item.length <= 4 || item.length > kEditReadPrefix || item.offset < 0 ||
      item.offset > file.size() - item.length || item.offset + item.length <= prefixLength) {
    return std::nullopt;
  }
  const auto bytes = file.readAt(item.offset, item.length);
  if (!bytes || bytes->size() < 4) return std::nullopt;
  const int64_t header = base::readU32be(*bytes, 0);
  return parseBlockAt(*bytes, sum(4, header));
}

bool isNumeric(uint8_t type) {
  switch (type) {
    case ttShort:
    case ttLong:
    case ttSShort:
    case ttSLong:
    case ttRational:
    case ttSRational: return true;
    default: return false;
  }
}

// The smaller of count and the elements the raw bytes hold, in the entry's byte order.
void decodeNumbers(const TiffTag& entry, ExifValue& value) {
  const ByteView raw(entry.data);
  const bool be = entry.bigEndian;
  const int64_t size = typeSize(entry.type);
  const int64_t elements = std::min<int64_t>(entry.count, static_cast<int64_t>(raw.size()) / size);
  for (int64_t at = 0; at < elements * size; at += size) {
    switch (entry.type) {
      case ttShort: value.ints.push_back(readUint16(raw, at, be)); break;
      case ttLong: value.ints.push_back(readUint32(raw, at, be)); break;
      case ttSShort: value.ints.push_back(static_cast<int16_t>(readUint16(raw, at, be))); break;
      case ttSLong: value.ints.push_back(static_cast<int32_t>(readUint32(raw, at, be))); break;
      case ttRational:
        value.rationals.emplace_back(readUint32(raw, at, be), readUint32(raw, at + 4, be));
        break;
      default:
        value.rationals.emplace_back(static_cast<int32_t>(readUint32(raw, at, be)),
                                     static_cast<int32_t>(readUint32(raw, at + 4, be)));
        break;
    }
  }
}

}  // namespace

ExifEdit parseExifBytes(ByteView data) {
  if (data.size() < 4) return {};
  const int64_t base = locateBlock(data);
  if (base <= 0 && container::isPng(data)) {
    const auto profile = pipeline::exifProfileIn(container::pngTextChunks(data));
    if (profile) return parseBlockAt(*profile, static_cast<int64_t>(pipeline::kExifHeader.size()));
  }
  if (base < 0 || (base == 0 && !hasTiffSignature(data))) return {};
  return parseBlockAt(data, base);
}

ExifEdit parseExif(const std::string& path) {
  base::ReadOnlyFile file(path);
  if (!file.isOpen() || file.size() <= 0) return {};
  const std::optional<ByteView> prefix = file.prefix(std::min(file.size(), kEditReadPrefix));
  if (!prefix) return {};
  if (file.size() > static_cast<int64_t>(prefix->size()) && container::isIsobmff(*prefix)) {
    if (auto beyond = exifItemBeyondPrefix(*prefix, file)) return std::move(*beyond);
  }
  // The JPEG segment walk asks for no bytes: a JPEG prefix is read whole.
  if (container::isJpeg(*prefix)) orvel::base::demand(*prefix, 0, static_cast<int64_t>(prefix->size()));
  ExifEdit edit = parseExifBytes(*prefix);
  if (file.demandFailed()) return {};  // the file changed while it was read
  return edit;
}

ExifValue decodeTag(const TiffTag& entry) {
  ExifValue value;
  value.kind = entry.type;
  value.count = entry.count;
  if (entry.type == ttAscii) {
    const auto end = std::find(entry.data.begin(), entry.data.end(), uint8_t{0});
    value.text.assign(entry.data.begin(), end);
  } else if (isNumeric(entry.type)) {
    decodeNumbers(entry, value);
  } else {
    value.bytes.assign(entry.data.begin(), entry.data.end());
  }
  return value;
}

}  // namespace orvel::metadata::edit
