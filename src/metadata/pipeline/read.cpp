#include "metadata/pipeline/read.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/file.h"
#include "base/head_watch.h"
#include "base/read_limits.h"
#include "base/text.h"
#include "container/isobmff.h"
#include "container/jpeg.h"
#include "container/png.h"
#include "container/tiff.h"
#include "metadata/dates.h"
#include "metadata/exif/ifd_walk.h"
#include "metadata/iptc/iptc.h"
#include "metadata/makernotes/makernotes.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"

namespace orvel::metadata::pipeline {
namespace {

using base::inBounds;
using base::readUint32;
using container::Ifd;
using metadata::TagMap;
using container::LongValue;
using container::readIFD;
using container::readLongTag;
using container::TiffTag;
using container::toString;
using exif::addGpsTags;
using exif::addIfdTags;
using exif::Precedence;

constexpr int64_t kMinimumPrefix = 16;
// A large JPEG is first read this far, then as far as its marker segments reach plus a margin,
// up to the limit; beyond it the prefix is mapped instead.
constexpr int64_t kFirstHeadLength = int64_t{16} << 10;
constexpr int64_t kHeadMargin = int64_t{4} << 10;
constexpr int64_t kHeadLimit = int64_t{256} << 10;
constexpr int64_t kMoviePayloadLimit = int64_t{5} << 20;
constexpr uint16_t kSubIfdsTag = 0x014A;
constexpr uint16_t kExifPointerTag = 0x8769;
constexpr uint16_t kGpsPointerTag = 0x8825;
constexpr uint16_t kDateTimeOriginalTag = 0x9003;
constexpr uint16_t kCreateDateTag = 0x9004;

// Directory offsets already read, so that chains and loops end. Most files have two or three
// directories, so a short list is searched before a hash set is built.
class VisitedOffsets {
 public:
  // False when the offset was seen before.
  bool insert(int64_t offset) {
    if (!large_.empty()) return large_.insert(offset).second;
    if (std::find(small_.begin(), small_.end(), offset) != small_.end()) return false;
    if (small_.size() < kSmallLimit) {
      small_.push_back(offset);
      return true;
    }
    large_.insert(small_.begin(), small_.end());
    return large_.insert(offset).second;
  }

  bool contains(int64_t offset) const {
    if (!large_.empty()) return large_.count(offset) != 0;
    return std::find(small_.begin(), small_.end(), offset) != small_.end();
  }

 private:
  static constexpr std::size_t kSmallLimit = 32;
  std::vector<int64_t> small_;
  std::unordered_set<int64_t> large_;
};

// The directory at base + the pointer entry's value, when the entry holds one that fits.
bool pointedDirectory(const Ifd& ifd, uint16_t pointerTag, ByteView data, int64_t base,
                      bool bigEndian, Ifd& out) {
  auto found = ifd.tags.find(pointerTag);
  if (found == ifd.tags.end()) return false;
  const LongValue pointer = readLongTag(found->second);
  if (!pointer.ok) return false;  // too short to hold an offset
  const int64_t position = base + pointer.value;
  if (!inBounds(data, position, 2)) return false;
  out = readIFD(data, position, base, bigEndian);
  return true;
}

// DateTimeOriginal, or CreateDate when the directory has no DateTimeOriginal at all. A
// directory that only adds tags gives a date only when none was found before.
void takeCaptureDate(Metadata& meta, const Ifd& exif, bool dateSetsValid,
                     Precedence precedence) {
  if (precedence == Precedence::addsOnly && meta.dateTaken.year >= 1900) return;
  auto found = exif.tags.find(kDateTimeOriginalTag);
  if (found == exif.tags.end()) found = exif.tags.find(kCreateDateTag);
  if (found == exif.tags.end()) return;
  const DateTime date = parseDateTime(toString(found->second));
  if (date.year < 1900) return;
  meta.dateTaken = date;
  if (dateSetsValid) meta.isValid = true;
}

// The Exif directory (with the capture date) and the GPS directory that `ifd` points at.
void addPointedDirectories(Metadata& meta, const Ifd& ifd, ByteView data, int64_t base,
                           bool bigEndian, bool dateSetsValid, Precedence precedence) {
  Ifd child;
  if (pointedDirectory(ifd, kExifPointerTag, data, base, bigEndian, child)) {
    addIfdTags(meta, child, data, base, precedence);
    takeCaptureDate(meta, child, dateSetsValid, precedence);
  }
  if (pointedDirectory(ifd, kGpsPointerTag, data, base, bigEndian, child)) {
    addGpsTags(meta, child, precedence);
  }
}

// Reads one directory of a walk and everything it points at except further chain links.
Ifd addDirectory(Metadata& meta, ByteView data, int64_t position, int64_t base, bool bigEndian,
                 Precedence precedence) {
  Ifd ifd = readIFD(data, position, base, bigEndian);
  addIfdTags(meta, ifd, data, base, precedence);
  if (!ifd.tags.empty()) meta.isValid = true;
  addPointedDirectories(meta, ifd, data, base, bigEndian, true, precedence);
  return ifd;
}

// The EXIF APP1 segment of a JPEG: IFD0 and its chain, each directory read once. IFD0 describes
// the image; the directories after it (the thumbnail's) only add what it lacks.
void readJpegExif(Metadata& meta, ByteView data) {
  const ExifBlock block = findExifAPP1(data);
  if (block.start < 1) return;
  const int64_t start = block.start;
  const bool bigEndian = base::byteAt(data, start) != 'I';
  uint32_t offset = readUint32(data, start + 4, bigEndian);
  VisitedOffsets visited;
  Precedence precedence = Precedence::sets;
  while (offset != 0 && offset < block.length && visited.insert(offset)) {
    const int64_t position = start + offset;
    if (!inBounds(data, position, 2)) break;
    offset = addDirectory(meta, data, position, start, bigEndian, precedence).next;
    precedence = Precedence::addsOnly;
  }
}

// Pushes the SubIFDs pointers in their order; popping takes the last one first.
void pushSubIfds(const Ifd& ifd, int64_t length, const VisitedOffsets& visited,
                 std::vector<uint32_t>& stack) {
  auto found = ifd.tags.find(kSubIfdsTag);
  if (found == ifd.tags.end()) return;
  const TiffTag& entry = found->second;
  if (entry.count == 0 || entry.data.size() / 4 < entry.count) return;
  const ByteView values(entry.data);
  for (uint32_t i = 0; i < entry.count; ++i) {
    const uint32_t child = readUint32(values, int64_t{i} * 4, entry.bigEndian);
    // Already-read directories would be skipped when popped; leaving them out keeps the
    // stack small.
    if (child != 0 && child < length && !visited.contains(child)) stack.push_back(child);
  }
}

// A TIFF file: IFD0, its chain and its SubIFDs, depth first, each directory read once. The
// first directory read describes the image; the others only add what it lacks.
void readTiffExif(Metadata& meta, ByteView data) {
  Precedence precedence = Precedence::sets;
  const int64_t length = static_cast<int64_t>(data.size());
  const bool bigEndian = base::byteAt(data, 0) != 'I';
  std::vector<uint32_t> stack = {readUint32(data, 4, bigEndian)};
  VisitedOffsets visited;
  while (!stack.empty()) {
    const uint32_t offset = stack.back();
    stack.pop_back();
    if (offset == 0 || offset >= length || !inBounds(data, offset, 2)) continue;
    if (!visited.insert(offset)) continue;
    Ifd ifd = readIFD(data, offset, 0, bigEndian);
    addIfdTags(meta, ifd, data, 0, precedence);
    if (!ifd.tags.empty()) meta.isValid = true;
    if (ifd.next != 0) stack.push_back(ifd.next);
    pushSubIfds(ifd, length, visited, stack);
    addPointedDirectories(meta, ifd, data, 0, bigEndian, true, precedence);
    precedence = Precedence::addsOnly;
  }
}

// The facts of a QuickTime/MP4 "moov" payload, merged into the record.
void readMovieFacts(Metadata& meta, ByteView payload) {
  applyVideoMeta(meta, movie::parseIsobmff(payload));
}

// Top-level boxes: a size field of 0 runs to the end; a box running past the end is still
// handed over, so that a "moov" cut short is read as far as it goes.
constexpr container::BoxWalkRules kTopLevelMovie{true, true};

// The first top-level "moov" box of the buffer, at most 5 MiB of its payload.
void readMovieBoxInBuffer(Metadata& meta, ByteView data) {
  const auto length = static_cast<int64_t>(data.size());
  container::BoxWalk walk(data, 0, length, kTopLevelMovie);
  while (const auto box = walk.next()) {
    if (!(box->type == "moov")) continue;
    const int64_t payloadLength =
        std::min({box->size - box->headerLength, length - box->payload(), kMoviePayloadLimit});
    if (payloadLength < 1) return;
    base::demand(data, box->payload(), payloadLength);
    readMovieFacts(meta, data.subspan(static_cast<std::size_t>(box->payload()),
                                      static_cast<std::size_t>(payloadLength)));
    return;
  }
}

// ---- Canon CR3 raw files ----

// The "uuid" box of a CR3's "moov" box that holds the camera's TIFF blocks.
constexpr uint8_t kCanonMetadataUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                            0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};

// One CMT box: a TIFF block of its own whose offsets count from its header. first is the
// position of its first directory inside the block, or -1 when it has none.
struct CanonBlock {
  ByteView tiff;
  bool bigEndian = false;
  int64_t first = -1;
};

CanonBlock canonBlock(ByteView data, const container::Box& box) {
  CanonBlock block;
  const int64_t length = box.size - box.headerLength;
  if (length < 8) return block;
  base::demand(data, box.payload(), length);
  block.tiff = data.subspan(static_cast<std::size_t>(box.payload()),
                            static_cast<std::size_t>(length));
  const uint8_t order = base::byteAt(block.tiff, 0);
  if ((order != 'I' && order != 'M') || base::byteAt(block.tiff, 1) != order) return block;
  block.bigEndian = order == 'M';
  const int64_t first = readUint32(block.tiff, 4, block.bigEndian);
  if (inBounds(block.tiff, first, 2)) block.first = first;
  return block;
}

// The CMT blocks read as a JPEG's EXIF reads the same directories: CMT1 is IFD0, CMT2 the Exif
// directory, CMT3 the maker note (its directory's offsets count from its own header), CMT4 the
// GPS directory. Returns whether the "uuid" box was there.
bool readCanonBlocks(Metadata& meta, ByteView data, int64_t start, int64_t end) {
  const auto payload =
      container::uuidBoxPayload(data, start, end, ByteView(kCanonMetadataUuid));
  if (!payload) return false;
  CanonBlock blocks[4];
  container::BoxWalk walk(data, payload->first, payload->second, container::BoxWalkRules{false});
  while (const auto box = walk.next()) {
    const std::string type = box->type.str();
    if (type.compare(0, 3, "CMT") != 0 || type[3] < '1' || type[3] > '4') continue;
    CanonBlock& slot = blocks[type[3] - '1'];
    if (slot.tiff.empty()) slot = canonBlock(data, *box);
  }
  auto directory = [](const CanonBlock& block) {
    return block.first < 0 ? Ifd{} : readIFD(block.tiff, block.first, 0, block.bigEndian);
  };
  const Ifd ifd0 = directory(blocks[0]);
  addIfdTags(meta, ifd0, blocks[0].tiff, 0);
  if (!ifd0.tags.empty()) meta.isValid = true;
  const Ifd exif = directory(blocks[1]);
  addIfdTags(meta, exif, blocks[1].tiff, 0);
  takeCaptureDate(meta, exif, true, Precedence::sets);
  if (blocks[2].first >= 0) {
    const std::string* make = meta.tags.find("Make");
    const std::string* model = meta.tags.find("Model");
    const TagMap notes = makernotes::parseMakerNote(make ? *make : "", model ? *model : "",
                                                    blocks[2].tiff, blocks[2].first, 0,
                                                    blocks[2].bigEndian);
    for (const auto& [name, value] : notes) meta.tags.set(name, value);
  }
  addGpsTags(meta, directory(blocks[3]));
  return true;
}

// The CMT blocks of a CR3 whose "moov" box lies in the buffer.
bool readCanonRawInBuffer(Metadata& meta, ByteView data) {
  if (!container::isCanonRaw(data)) return false;
  const auto length = static_cast<int64_t>(data.size());
  container::BoxWalk walk(data, 0, length, kTopLevelMovie);
  while (const auto box = walk.next()) {
    // A "moov" cut short is read as far as it goes (its declared end may lie past 2^63).
    if (box->type == "moov") {
      return readCanonBlocks(meta, data, box->payload(),
                             box->start + std::min(box->size, length - box->start));
    }
  }
  return false;
}

void readIsobmffMetadata(Metadata& meta, ByteView data) {
  if (!readCanonRawInBuffer(meta, data)) {
    const int64_t tiff = isobmffTiffOffset(data);
    if (tiff >= 1) parseTiffAt(meta, data, tiff);
  }
  if (!meta.isValid) readMovieBoxInBuffer(meta, data);
}

// The PNG text chunks ("tEXt", "zTXt", "iTXt"): each keyword becomes a tag and sets isValid.
void addPngTextTags(Metadata& meta, const container::TextList& texts) {
  for (const auto& [keyword, text] : texts) {
    meta.tags.set(keyword, text);
    meta.isValid = true;
  }
}

// Raw text profiles of writers from before the eXIf chunk hold IPTC datasets, bare or in
// Photoshop resources.
constexpr container::RawProfileKind kIptcProfiles[] = {{"iptc", ""}, {"8bim", "8BIM"}};

void addIptcProfileTags(Metadata& meta, const container::TextList& texts) {
  const auto profile = container::rawProfileIn(texts, kIptcProfiles);
  if (!profile) return;
  const ByteView bytes(*profile);
  const iptc::IptcRecord record = base::hasBytesAt(bytes, 0, "8BIM")
                                      ? iptc::parseResources(bytes)
                                      : iptc::parseDatasets(bytes);
  for (auto& [name, value] : iptc::tagsOf(record)) meta.tags.set(std::move(name), value);
}

void readPngMetadata(Metadata& meta, ByteView data) {
  const container::TextList texts = container::pngTextChunks(data);
  const int64_t tiff = pngTiffOffset(data);
  if (tiff >= 1) {
    parseTiffAt(meta, data, tiff);
  } else if (const auto profile = exifProfileIn(texts)) {
    parseTiffAt(meta, *profile, static_cast<int64_t>(kExifHeader.size()));
  }
  addPngTextTags(meta, texts);
  addIptcProfileTags(meta, texts);
}

void readWebpMetadata(Metadata& meta, ByteView data) {
  const int64_t tiff = webpTiffOffset(data);
  if (tiff >= 1) parseTiffAt(meta, data, tiff);
}

// The IPTC record of a JPEG's APP13 Photoshop block: "IPTC:" + name tags, non-empty values,
// in record order. They do not make the record valid.
void addIptcTags(Metadata& meta, ByteView data) {
  for (auto& [name, value] : iptc::iptcTags(data)) meta.tags.set(std::move(name), std::move(value));
}

// The XMP packet of any container: "XMP:" + name tags, non-empty values, in packet order.
void addXmpTags(Metadata& meta, ByteView data) {
  for (auto& [name, value] : xmp::xmpTags(data)) meta.tags.set(std::move(name), std::move(value));
}

bool isBelowSeaLevel(const Metadata& meta) {
  const std::string* ref = meta.tags.find("GPSAltitudeRef");
  return ref != nullptr && (*ref == "1" || *ref == "01" || *ref == "Below Sea Level");
}

// The GPS directory stores magnitudes; the references give the signs.
void applyGpsSigns(Metadata& meta) {
  if (meta.latRef == 'S' && meta.latitude > 0) meta.latitude = -meta.latitude;
  if (meta.lonRef == 'W' && meta.longitude > 0) meta.longitude = -meta.longitude;
  if (meta.altitude > 0 && isBelowSeaLevel(meta)) meta.altitude = -meta.altitude;
}

template <class Unsigned>
bool parseUnsigned(std::string_view text, Unsigned& out) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, 10);
  return error == std::errc() && end == text.data() + text.size();
}

void applyCreation(Metadata& meta, std::string_view creation) {
  constexpr std::string_view kTime32 = "MP4-Time-V0:";
  constexpr std::string_view kTime64 = "MP4-Time-V1:";
  constexpr std::string_view kText = "String:";
  if (creation.starts_with(kTime32)) {
    uint32_t seconds = 0;
    if (!parseUnsigned(creation.substr(kTime32.size()), seconds) || seconds == 0) return;
    meta.dateTaken = parseMP4Time(seconds);
  } else if (creation.starts_with(kTime64)) {
    uint64_t seconds = 0;
    if (!parseUnsigned(creation.substr(kTime64.size()), seconds) || seconds == 0) return;
    if (!mp4TimeFromSeconds(seconds, meta.dateTaken)) return;
  } else if (creation.starts_with(kText)) {
    meta.dateTaken = parseDateTime(creation.substr(kText.size()));
  } else {
    return;
  }
  if (meta.dateTaken.year >= 1900) meta.isValid = true;
}

// ---- Reading a file beyond its prefix (movies and HEIF files larger than the prefix) ----

// The first top-level "moov" box of the file, at most 5 MiB of its payload.
// A CR3's CMT blocks are looked for there too.
void readMovieBoxInFile(Metadata& meta, const base::ReadOnlyFile& file, bool canonRaw) {
  container::FileBoxWalk walk(file, kTopLevelMovie);
  while (const auto box = walk.next()) {
    if (!(box->type == "moov")) continue;
    const int64_t length = std::min(box->size - box->headerLength, kMoviePayloadLimit);
    auto payload = file.readAt(box->payload(), length);
    if (!payload || payload->empty()) return;
    const ByteView bytes(*payload);
    if (canonRaw && readCanonBlocks(meta, bytes, 0, static_cast<int64_t>(bytes.size()))) {
      applyGpsSigns(meta);
    }
    if (!meta.isValid) readMovieFacts(meta, bytes);
    return;
  }
}

// A HEIF Exif item that lies beyond the prefix replaces the record with what it holds.
void readExifItemInFile(Metadata& meta, ByteView prefix, const base::ReadOnlyFile& file) {
  const container::ItemInfo item = locateExifItem(prefix);
  const int64_t prefixLength = static_cast<int64_t>(prefix.size());
  if (!item.located || item.constructionMethod != 0 || item.length < 5 || item.offset < 0 ||
      item.offset > file.size() - item.length || item.offset + item.length <= prefixLength) {
    return;
  }
  auto bytes = file.readAt(item.offset, item.length);
  if (!bytes || bytes->size() < 4) return;
  const ByteView itemBytes(*bytes);
  const int64_t header = base::readU32be(itemBytes, 0);
  if (header + 5 >= static_cast<int64_t>(itemBytes.size())) return;
  const uint8_t order = base::byteAt(itemBytes, 4 + header);
  if (order != 'I' && order != 'M') return;
  meta = readMetadataFromBytes(itemBytes.subspan(static_cast<std::size_t>(4 + header)));
}

void readBeyondPrefix(Metadata& meta, ByteView prefix, const base::ReadOnlyFile& file) {
  const int64_t prefixLength = static_cast<int64_t>(prefix.size());
  if (prefixLength < 8 || prefixLength >= file.size() || !hasIsobmffSignature(prefix)) return;
  // Input/output failures here keep what the prefix gave.
  try {
    if (!meta.isValid) readMovieBoxInFile(meta, file, container::isCanonRaw(prefix));
    if (!meta.isValid && hasFtypSignature(prefix)) readExifItemInFile(meta, prefix, file);
  } catch (const std::exception&) {
  }
}

// The head of a large JPEG, grown until it holds the marker segments; nullopt when they reach
// past the limit or the file cannot be read that far.
std::optional<ByteView> readJpegHead(base::ReadOnlyFile& file, int64_t prefixLength) {
  std::optional<ByteView> head = file.head(std::min(kFirstHeadLength, prefixLength));
  if (!head || !container::isJpeg(*head)) return std::nullopt;
  for (;;) {
    const int64_t wanted = std::min(jpegSegmentsEnd(*head) + kHeadMargin, prefixLength);
    if (wanted <= static_cast<int64_t>(head->size())) return head;
    if (wanted > kHeadLimit) return std::nullopt;
    head = file.head(wanted);
    if (!head) return std::nullopt;
  }
}

// A JPEG keeps its metadata before the scan, so a large one is read from its head when that
// gives the record the whole prefix would; mapping the prefix costs more than reading a few
// kilobytes.
std::optional<Metadata> readFromHead(base::ReadOnlyFile& file, int64_t prefixLength) {
  if (prefixLength <= base::kWholeReadLimit) return std::nullopt;
  std::optional<Metadata> meta;
  if (const std::optional<ByteView> head = readJpegHead(file, prefixLength)) {
    meta = static_cast<int64_t>(head->size()) >= prefixLength ? readMetadataFromBytes(*head)
                                                              : readMetadataFromHead(*head);
  }
  file.releaseHead();
  return meta;
}

}  // namespace

void parseTiffAt(Metadata& meta, ByteView data, int64_t position) {
  if (position <= 0 || position >= static_cast<int64_t>(data.size())) return;
  base::demand(data, position, 8);
  const bool bigEndian = base::byteAt(data, position) != 'I';
  const int64_t ifd0 = position + readUint32(data, position + 4, bigEndian);
  if (!inBounds(data, ifd0, 2)) return;
  const Ifd ifd = readIFD(data, ifd0, position, bigEndian);
  addIfdTags(meta, ifd, data, position);
  if (!ifd.tags.empty()) meta.isValid = true;
  addPointedDirectories(meta, ifd, data, position, bigEndian, false, Precedence::sets);
}

void applyVideoMeta(Metadata& meta, const movie::VideoMeta& video) {
  if (!video.make.empty()) meta.tags.set("Make", video.make);
  if (!video.model.empty()) meta.tags.set("Model", video.model);
  if (!video.software.empty()) meta.tags.set("Software", video.software);
  if (video.width > 0) meta.tags.set("ImageWidth", std::to_string(video.width));
  if (video.height > 0) meta.tags.set("ImageHeight", std::to_string(video.height));
  applyCreation(meta, video.creation);
}

Metadata readMetadataFromBytes(ByteView data) {
  std::optional<base::ReadLimits> limits;  // a caller's own limits hold instead
  if (!base::readLimitsActive()) limits.emplace();
  Metadata meta = defaultMetadata();
  if (data.size() < 2) return meta;
  switch (detectContainer(data)) {
    case ctJpeg:
      readJpegExif(meta, data);
      break;
    case ctTiff:
      readTiffExif(meta, data);
      break;
    case ctIsobmff:
      readIsobmffMetadata(meta, data);
      break;
    case ctPng:
      readPngMetadata(meta, data);
      break;
    case ctWebp:
      readWebpMetadata(meta, data);
      break;
    case ctUnknown:
      break;
  }
  if (container::isJpeg(data)) addIptcTags(meta, data);
  addXmpTags(meta, data);
  applyGpsSigns(meta);
  return meta;
}

std::optional<Metadata> readMetadataFromHead(ByteView head) {
  if (static_cast<int64_t>(head.size()) < kMinimumPrefix || !container::isJpeg(head)) {
    return std::nullopt;
  }
  const base::HeadWatch watch(head);
  Metadata meta = readMetadataFromBytes(head);
  if (watch.overrun()) return std::nullopt;
  return meta;
}

Metadata readMetadata(const std::string& path, int64_t maxBytes) {
  base::ReadOnlyFile file(path);
  if (!file.isOpen() || file.size() <= 0) return defaultMetadata();
  const int64_t wanted = std::min(file.size(), std::max(maxBytes, kMinimumPrefix));
  if (std::optional<Metadata> meta = readFromHead(file, wanted)) return std::move(*meta);
  const std::optional<ByteView> prefix = file.prefix(wanted);
  if (!prefix || prefix->empty()) return defaultMetadata();
  // The JPEG readers walk segments without asking for bytes: a JPEG whose head did not hold
  // its metadata is read whole.
  if (container::isJpeg(*prefix)) base::demand(*prefix, 0, wanted);
  Metadata meta = readMetadataFromBytes(*prefix);
  if (file.demandFailed()) return defaultMetadata();  // the file changed while it was read
  readBeyondPrefix(meta, *prefix, file);
  return meta;
}

}  // namespace orvel::metadata::pipeline
