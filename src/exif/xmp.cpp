#include "exif/xmp.h"

#include <optional>

#include "exif/png.h"
#include "exif/webp.h"

namespace orvel::exif {
namespace {

constexpr std::string_view kXmpSignature{"http://ns.adobe.com/xap/1.0/\0", kXmpSignatureSize};
constexpr uint8_t kMarkerApp1 = 0xE1;
constexpr uint8_t kMarkerStartOfScan = 0xDA;
constexpr uint8_t kMarkerEndOfImage = 0xD9;
// The segment length counts itself (2 bytes) and the signature.
constexpr int64_t kApp1HeaderSize = 2 + kXmpSignatureSize;

bool isStrippable(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view stripped(std::string_view text) {
  while (!text.empty() && isStrippable(text.front())) text.remove_prefix(1);
  while (!text.empty() && isStrippable(text.back())) text.remove_suffix(1);
  return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool isPropertyName(std::string_view name) {
  return name.find(':') != std::string_view::npos && !startsWith(name, "rdf:");
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
    const std::string_view text = stripped(item.innerText());
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
  if (isPng(data)) return findXmpInPng(data);
  if (isWebp(data)) return findXmpInWebp(data);
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
    if (!isPropertyName(attribute.name) || startsWith(attribute.name, "xmlns")) continue;
    const std::string_view value = stripped(attribute.value);
    if (!value.empty()) properties.set(attribute.name, std::string(value));
  }
  for (const auto& child : description.children()) {
    if (!isPropertyName(child.name())) continue;
    const std::vector<std::string_view> items = liTexts(child);
    const std::string_view text = stripped(child.innerText());
    const std::size_t size = items.empty() ? text.size() : joinedSize(items);
    if (size == 0 || !budget.take(size)) continue;
    properties.set(std::string(child.name()), items.empty() ? std::string(text) : joined(items));
  }
}

}  // namespace

bool headerMatches(ByteView data, int64_t position) noexcept {
  if (!inBounds(data, position, kXmpSignatureSize)) return false;
  for (int64_t i = 0; i < kXmpSignatureSize; ++i) {
    if (data[static_cast<std::size_t>(position + i)] !=
        static_cast<uint8_t>(kXmpSignature[static_cast<std::size_t>(i)])) {
      return false;
    }
  }
  return true;
}

XmpLocation findXmpApp1(ByteView data) noexcept {
  if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) return {};
  int64_t position = 2;
  // A bounds check rather than a length comparison, so that a walk reaching the end is noticed.
  while (inBounds(data, position, 5)) {
    const uint8_t lead = data[static_cast<std::size_t>(position)];
    const uint8_t marker = data[static_cast<std::size_t>(position + 1)];
    if (lead != 0xFF || marker == kMarkerStartOfScan || marker == kMarkerEndOfImage) return {};
    const int64_t segmentLength = readUint16(data, position + 2, true);
    if (segmentLength < 2) return {};  // a length counts its own two bytes
    // The signature must lie inside the segment, or the payload length would be negative.
    if (marker == kMarkerApp1 && segmentLength >= kApp1HeaderSize &&
        headerMatches(data, position + 4)) {
      return {position + 4 + kXmpSignatureSize, segmentLength - kApp1HeaderSize};
    }
    position += 2 + segmentLength;
  }
  return {};
}

XmpRecord readXmpBytes(ByteView data) {
  if (auto chunkText = xmpFromChunks(data)) {
    return chunkText->empty() ? XmpRecord{} : parseXmp(*chunkText);
  }
  const XmpLocation found = findXmpApp1(data);
  if (found.length <= 0 || !inBounds(data, found.offset, found.length)) return {};
  const auto payload = data.subspan(static_cast<std::size_t>(found.offset),
                                    static_cast<std::size_t>(found.length));
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
  return std::string(stripped(source.innerText()));
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

}  // namespace orvel::exif
