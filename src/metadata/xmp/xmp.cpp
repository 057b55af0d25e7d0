#include "metadata/xmp/xmp.h"

#include <algorithm>
#include <map>
#include <optional>

#include "base/file.h"
#include "base/text.h"
#include "container/isobmff.h"
#include "container/jpeg.h"
#include "container/png.h"
#include "container/riff.h"

namespace orvel::metadata::xmp {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kXmpSignature{"http://ns.adobe.com/xap/1.0/\0", kXmpSignatureSize};
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
constexpr std::string_view kExtensionSignature{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr int64_t kGuidSize = 32;
// The signature, the GUID, the full length and the piece's offset.
constexpr int64_t kExtensionHeaderSize = 35 + kGuidSize + 4 + 4;
constexpr std::string_view kHasExtendedXmp = "xmpNote:HasExtendedXMP";
constexpr std::string_view kXmpContentType = "application/rdf+xml";
// Raw PNG profiles that hold XMP: the packet itself, or an APP1 segment's payload.
constexpr container::RawProfileKind kXmpProfiles[] = {{"xmp", ""}, {"APP1", kXmpSignature}};
// The segment length counts itself (2 bytes) and the signature.
constexpr int64_t kApp1HeaderSize = 2 + kXmpSignatureSize;

using base::stripSpace;

bool isPropertyName(std::string_view name) {
  return name.find(':') != std::string_view::npos && !name.starts_with("rdf:");
}

std::string joined(const std::vector<std::string_view>& items) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) out += ", ";
    out += item;
  }
  return out;
}

// The stripped, non-empty texts of the rdf:li elements below an element, as views into the
// document.
std::vector<std::string_view> liTexts(const XmlElement& element) {
  std::vector<std::string_view> texts;
  for (const auto& item : element.descendants("rdf:li")) {
    const std::string_view text = stripSpace(item.innerText());
    if (!text.empty()) texts.push_back(text);
  }
  return texts;
}

std::size_t joinedSize(const std::vector<std::string_view>& items) {
  std::size_t size = 0;
  for (const auto& item : items) size += item.size() + 2;
  return size;
}

// Nested arrays repeat the text of inner items in every enclosing property, so a hostile
// packet could make values far larger than itself. Real packets stay near their own size;
// values that would pass this budget are left out.
class ValueBudget {
 public:
  explicit ValueBudget(std::size_t packetSize)
      : remaining_(packetSize * 8 + (std::size_t{1} << 20)) {}
  bool take(std::size_t size) {
    if (size > remaining_) return false;
    remaining_ -= size;
    return true;
  }

 private:
  std::size_t remaining_;
};

// PNG keeps XMP in an iTXt chunk (possibly compressed), WebP in an "XMP " chunk, HEIF stills
// and movies in an item or a box; a buffer of these kinds gives that text (possibly empty) and
// is never searched for APP1 segments.
std::optional<std::string> xmpFromChunks(ByteView data) {
  if (container::isPng(data)) return findXmpInPng(data);
  if (container::isWebp(data)) return findXmpInWebp(data);
  // A JPEG may carry "ftyp" where a box type would be; it keeps its XMP in APP1.
  if (!container::isJpeg(data) && container::hasIsobmffSignature(data)) {
    return findXmpInIsobmff(data);
  }
  return std::nullopt;
}

void storeDublinCore(const XmlDocument& document, XmpRecord& record) {
  const auto firstNamed = [&](std::string_view name) -> std::optional<XmlElement> {
    auto found = document.elementsNamed(name);
    if (found.empty()) return std::nullopt;
    return found.front();
  };
  if (auto title = firstNamed("dc:title")) record.title = firstLi(*title);
  if (auto description = firstNamed("dc:description")) record.description = firstLi(*description);
  if (auto rights = firstNamed("dc:rights")) record.rights = firstLi(*rights);
  if (auto creator = firstNamed("dc:creator")) record.creators = allLi(*creator);
  if (auto subject = firstNamed("dc:subject")) record.subjects = allLi(*subject);
}

void storeDescription(const XmlElement& description, TagMap& properties, ValueBudget& budget) {
  for (const auto& attribute : description.attributes()) {
    if (!isPropertyName(attribute.name) || std::string_view(attribute.name).starts_with("xmlns"))
      continue;
    const std::string_view value = stripSpace(attribute.value);
    if (!value.empty()) properties.set(attribute.name, std::string(value));
  }
  for (const auto& child : description.children()) {
    if (!isPropertyName(child.name())) continue;
    const std::vector<std::string_view> items = liTexts(child);
    const std::string_view text = stripSpace(child.innerText());
    const std::size_t size = items.empty() ? text.size() : joinedSize(items);
    if (size == 0 || !budget.take(size)) continue;
    properties.set(std::string(child.name()), items.empty() ? std::string(text) : joined(items));
  }
}

// The extension a main packet names in xmpNote:HasExtendedXMP: its properties follow the main
// packet's (replacing those of the same name), and its Dublin Core fills what the main lacks.
void addExtension(XmpRecord& record, ByteView jpeg) {
  const std::string* guid = record.properties.find(kHasExtendedXmp);
  if (guid == nullptr) return;
  const std::optional<std::string> extension = joinExtendedXmp(jpeg, *guid);
  if (!extension) return;
  XmpRecord more = parseXmp(*extension);
  for (auto& [name, value] : more.properties) record.properties.set(name, value);
  if (record.title.empty()) record.title = std::move(more.title);
  if (record.description.empty()) record.description = std::move(more.description);
  if (record.rights.empty()) record.rights = std::move(more.rights);
  if (record.creators.empty()) record.creators = std::move(more.creators);
  if (record.subjects.empty()) record.subjects = std::move(more.subjects);
}

// Top-level boxes: one running past the end is still handed over, so that a "moov" cut short is
// searched as far as it goes. Inside a movie a size of 0 ends a walk.
constexpr container::BoxWalkRules kTopLevelBoxes{true, true};
constexpr container::BoxWalkRules kMovieBoxes{false, false};

std::string boxText(ByteView data, int64_t from, int64_t to) {
  to = std::min(to, static_cast<int64_t>(data.size()));
  if (from >= to) return {};
  base::demand(data, from, to - from);
  return base::textAt(data, from, to - from);
}

bool hasXmpUuid(ByteView data, const container::Box& box) {
  base::demand(data, box.payload(), 16);
  return box.end() - box.payload() >= 16 && base::hasBytesAt(data, box.payload(), kXmpUuid);
}

std::string uuidPacket(ByteView data, const container::Box& box) {
  return boxText(data, box.payload() + 16, box.end());
}

// The "XMP_" or XMP "uuid" box of a movie's udta, searched in [start, end) of a moov payload.
std::string xmpInMovie(ByteView data, int64_t start, int64_t end) {
  container::BoxWalk children(data, start, end, kMovieBoxes);
  while (const auto child = children.next()) {
    if (!(child->type == "udta")) continue;
    container::BoxWalk entries(data, child->payload(), child->end(), kMovieBoxes);
    while (const auto entry = entries.next()) {
      if (entry->type == "XMP_") return boxText(data, entry->payload(), entry->end());
      if (entry->type == "uuid" && hasXmpUuid(data, *entry)) return uuidPacket(data, *entry);
    }
  }
  return {};
}

// The packet of the HEIF "mime" item with the lowest ID that holds XMP in one extent of the
// file; nothing when there is none.
std::optional<std::string> xmpItem(ByteView data) {
  const container::ItemMap items = container::parseItemRecords(data);
  const container::ItemInfo* chosen = nullptr;
  uint32_t chosenId = 0;
  for (const auto& [id, item] : items) {
    if (item.type != "mime" || item.contentType != kXmpContentType) continue;
    if (!container::isSingleExtentInFile(item, static_cast<int64_t>(data.size()))) continue;
    if (chosen != nullptr && id > chosenId) continue;
    chosen = &item;
    chosenId = id;
  }
  if (chosen == nullptr || chosen->length == 0) return std::nullopt;
  return boxText(data, chosen->offset, chosen->offset + chosen->length);
}

}  // namespace

bool headerMatches(ByteView data, int64_t position) noexcept {
  return base::hasBytesAt(data, position, kXmpSignature);
}

XmpLocation findXmpApp1(ByteView data) noexcept {
  if (data.size() < 4 || !container::isJpeg(data)) return {};
  container::JpegSegmentWalk walk(data);
  while (const auto segment = walk.next()) {
    // The signature must lie inside the segment, or the payload length would be negative.
    if (segment->marker == container::kApp1 && segment->length >= kApp1HeaderSize &&
        headerMatches(data, segment->payload())) {
      return {segment->payload() + kXmpSignatureSize, segment->length - kApp1HeaderSize};
    }
  }
  return {};
}

std::string findXmpInPng(ByteView data) {
  if (!container::isPng(data)) return {};
  // Raw profiles count only without an XMP iTXt chunk; the one walk notes them on the way.
  std::vector<container::PngChunk> profiles;
  container::PngChunkWalk walk(data, container::PngWalkStop::atShortData);
  while (const auto chunk = walk.next()) {
    if (chunk->type == "IEND") break;
    if (!container::isTextChunk(*chunk)) continue;
    base::demand(data, chunk->dataStart(), chunk->length);
    if (container::namesRawProfile(container::textKeyword(data, *chunk), kXmpProfiles)) {
      profiles.push_back(*chunk);
    }
    if (chunk->type != "iTXt") continue;
    container::TextChunk decoded = container::parseITxt(data, chunk->dataStart(), chunk->length);
    if (decoded.ok && decoded.keyword == kXmpKeyword) return std::move(decoded.text);
  }
  for (const container::PngChunk& chunk : profiles) {
    const container::TextChunk text = container::parseTextChunk(data, chunk);
    if (!text.ok) continue;
    const auto bytes = container::rawProfileIn({{text.keyword, text.text}}, kXmpProfiles);
    if (!bytes) continue;
    // An APP1 profile starts with the signature a JPEG segment carries.
    const std::size_t skip = base::hasBytesAt(*bytes, 0, kXmpSignature) ? kXmpSignature.size() : 0;
    return std::string(bytes->begin() + static_cast<std::ptrdiff_t>(skip), bytes->end());
  }
  return {};
}

std::string findXmpInWebp(ByteView data) {
  if (!container::isWebp(data)) return {};
  container::RiffChunkWalk walk(data, container::RiffWalkStop::atShortPayload);
  while (const auto chunk = walk.next()) {
    if (chunk->fourcc != "XMP ") continue;
    base::demand(data, chunk->payload(), chunk->size);
    return base::textAt(data, chunk->payload(), chunk->size);
  }
  return {};
}

XmpRecord readXmpBytes(ByteView data) {
  if (auto chunkText = xmpFromChunks(data)) {
    return chunkText->empty() ? XmpRecord{} : parseXmp(*chunkText);
  }
  if (isXmpSidecar(data)) {
    base::demand(data, 0, static_cast<int64_t>(data.size()));
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return parseXmp(text);
  }
  const XmpLocation found = findXmpApp1(data);
  if (found.length <= 0 || !base::inBounds(data, found.offset, found.length)) return {};
  const auto payload =
      data.subspan(static_cast<std::size_t>(found.offset), static_cast<std::size_t>(found.length));
  XmpRecord record = parseXmp(std::string(payload.begin(), payload.end()));
  addExtension(record, data);
  return record;
}

std::optional<std::string> joinExtendedXmp(ByteView jpeg, std::string_view guid) {
  if (static_cast<int64_t>(guid.size()) != kGuidSize) return std::nullopt;
  std::map<uint32_t, ByteView> pieces;  // by offset; a later piece at an offset replaces
  std::optional<uint32_t> fullLength;
  container::JpegSegmentWalk walk(jpeg);
  while (const auto segment = walk.next()) {
    const int64_t payload = segment->payload();
    if (segment->marker != container::kApp1 || segment->length - 2 < kExtensionHeaderSize ||
        !segment->fits(jpeg) || !base::hasBytesAt(jpeg, payload, kExtensionSignature) ||
        !base::hasBytesAt(jpeg, payload + 35, guid)) {
      continue;
    }
    const uint32_t full = base::readU32be(jpeg, payload + 35 + kGuidSize);
    const uint32_t offset = base::readU32be(jpeg, payload + 35 + kGuidSize + 4);
    const int64_t size = segment->length - 2 - kExtensionHeaderSize;
    if (full > kLargestExtendedXmp || (fullLength && full != *fullLength)) continue;
    if (size == 0 || offset > full || size > int64_t{full} - offset) continue;
    fullLength = full;
    pieces[offset] = jpeg.subspan(static_cast<std::size_t>(payload + kExtensionHeaderSize),
                                  static_cast<std::size_t>(size));
  }
  if (!fullLength) return std::nullopt;
  // The pieces must follow one another from offset 0 to the full length.
  std::vector<ByteView> ordered;
  for (int64_t at = 0; at < *fullLength;) {
    const auto found = pieces.find(static_cast<uint32_t>(at));
    if (found == pieces.end()) return std::nullopt;
    ordered.push_back(found->second);
    at += static_cast<int64_t>(found->second.size());
  }
  std::string joined;
  joined.reserve(*fullLength);
  for (const ByteView piece : ordered) joined.append(piece.begin(), piece.end());
  return joined;
}

std::string findXmpInIsobmff(ByteView data) {
  if (!container::hasIsobmffSignature(data)) return {};
  if (std::optional<std::string> item = xmpItem(data)) return std::move(*item);
  container::BoxWalk walk(data, 0, static_cast<int64_t>(data.size()), kTopLevelBoxes);
  while (const auto box = walk.next()) {
    if (box->type == "uuid" && hasXmpUuid(data, *box)) return uuidPacket(data, *box);
    if (box->type == "moov") {
      std::string packet = xmpInMovie(data, box->payload(), box->end());
      if (!packet.empty()) return packet;
    }
  }
  return {};
}

bool isXmpSidecar(ByteView data) noexcept {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  std::string_view rest = text.substr(text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
  if (rest.starts_with("<?xml")) {
    const std::size_t end = rest.find("?>");
    if (end == std::string_view::npos) return false;
    rest = base::stripSpace(rest.substr(end + 2));
  }
  return rest.starts_with("<?xpacket") || rest.starts_with("<x:xmpmeta");
}

XmpRecord parseXmp(std::string_view text) {
  XmpRecord record;
  try {
    const XmlDocument document = XmlDocument::parse(text);
    storeDublinCore(document, record);
    ValueBudget budget(text.size());
    for (const auto& description : document.elementsNamed("rdf:Description")) {
      storeDescription(description, record.properties, budget);
    }
  } catch (const XmlError&) {
    return {};
  }
  return record;
}

std::string firstLi(const XmlElement& element) {
  const auto items = element.descendants("rdf:li");
  const XmlElement& source = items.empty() ? element : items.front();
  return std::string(stripSpace(source.innerText()));
}

std::vector<std::string> allLi(const XmlElement& element) {
  const std::vector<std::string_view> texts = liTexts(element);
  return std::vector<std::string>(texts.begin(), texts.end());
}

std::vector<TagMap::Entry> xmpTags(ByteView data) {
  std::vector<TagMap::Entry> tags;
  for (const auto& [name, value] : readXmpBytes(data).properties) {
    if (!value.empty()) tags.emplace_back("XMP:" + name, value);
  }
  return tags;
}

}  // namespace orvel::metadata::xmp
