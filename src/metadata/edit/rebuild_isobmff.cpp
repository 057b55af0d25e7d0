#include <algorithm>

#include "container/isobmff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"

namespace orvel::metadata::edit {
namespace {

using base::fitsIn;
using base::putBE;
using container::isSingleExtentInFile;
using container::ItemInfo;
using pipeline::locateExifItem;

constexpr std::string_view kXmpContentType = "application/rdf+xml";
// An empty big-endian TIFF: header, then at offset 8 a directory with no entries and no next.
constexpr uint8_t kEmptyTiff[14] = {'M', 'M', 0, '*', 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};

int64_t sizeOf(ByteView data) { return static_cast<int64_t>(data.size()); }

bool isMetadataItem(const ItemInfo& item) {
  return item.type == "Exif" || (item.type == "mime" && item.contentType == kXmpContentType);
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

// Whether every top-level box ends inside the file: a box cut short (a truncated file) would
// swallow an appended box, and its missing bytes are image data no rewrite can give back.
bool topLevelBoxesFit(ByteView file) {
  constexpr container::BoxWalkRules kEveryBox{true, true};
  container::BoxWalk walk(file, 0, sizeOf(file), kEveryBox);
  while (const auto box = walk.next()) {
    if (box->size > sizeOf(file) - box->start) return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> writeExifIsobmff(ByteView file, ByteView tiff) {
  const ItemInfo item = locateExifItem(file);
  const int64_t fileLength = sizeOf(file);
  if (!isSingleExtentInFile(item, fileLength) || !topLevelBoxesFit(file)) return {};
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
  base::appendU32(out, static_cast<uint32_t>(payloadLength + 8), true);
  constexpr std::string_view kMdat = "mdat";
  out.insert(out.end(), kMdat.begin(), kMdat.end());
  base::appendBytes(out, payload);
  putBE(out, item.offsetFieldPosition, item.offsetSize, static_cast<uint64_t>(newOffset));
  putBE(out, item.lengthFieldPosition, item.lengthSize, static_cast<uint64_t>(payloadLength));
  return out;
}

std::vector<uint8_t> stripIsobmff(ByteView file) {
  // A CR3 keeps its EXIF in TIFF blocks inside "moov", which no item table names: blanking
  // items alone would report it stripped with its camera data still there.
  if (!container::isIsobmff(file) || container::isCanonRaw(file) || !topLevelBoxesFit(file)) {
    return {};
  }
  const container::ItemMap items = container::parseItemRecords(file);
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

}  // namespace orvel::metadata::edit
