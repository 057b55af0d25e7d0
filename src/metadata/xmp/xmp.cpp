#include "metadata/xmp/xmp.h"

#include <optional>

#include "base/file.h"
#include "base/text.h"
#include "container/jpeg.h"
#include "container/png.h"
#include "container/riff.h"

namespace orvel::metadata::xmp {
namespace {

constexpr std::string_view kXmpSignature{"http://ns.adobe.com/xap/1.0/\0", kXmpSignatureSize};
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
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

// PNG keeps XMP in an iTXt chunk (possibly compressed) and WebP in an "XMP " chunk; a buffer
// of either kind gives its chunk text (possibly empty) and is never searched for APP1 segments.
std::optional<std::string> xmpFromChunks(ByteView data) {
  if (container::isPng(data)) return findXmpInPng(data);
  if (container::isWebp(data)) return findXmpInWebp(data);
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
  container::PngChunkWalk walk(data, container::PngWalkStop::atShortData);
  while (const auto chunk = walk.next()) {
    if (chunk->type == "IEND") break;
    if (chunk->type != "iTXt") continue;
    base::demand(data, chunk->dataStart(), chunk->length);
    container::TextChunk decoded = container::parseITxt(data, chunk->dataStart(), chunk->length);
    if (decoded.ok && decoded.keyword == kXmpKeyword) return std::move(decoded.text);
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
  const XmpLocation found = findXmpApp1(data);
  if (found.length <= 0 || !base::inBounds(data, found.offset, found.length)) return {};
  const auto payload =
      data.subspan(static_cast<std::size_t>(found.offset), static_cast<std::size_t>(found.length));
  return parseXmp(std::string(payload.begin(), payload.end()));
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
