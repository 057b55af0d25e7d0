#include "metadata/iptc/iptc.h"

#include <array>

#include "base/text.h"
#include "container/jpeg.h"

namespace orvel::metadata::iptc {
namespace {

struct DatasetName {
  uint8_t number;
  std::string_view name;
};

// Record 2 (application record) dataset names.
constexpr DatasetName kDatasetNames[] = {
    {0, "ApplicationRecordVersion"},
    {5, "ObjectName"},
    {7, "EditStatus"},
    {10, "Urgency"},
    {12, "SubjectReference"},
    {15, "Category"},
    {20, "SupplementalCategories"},
    {22, "FixtureIdentifier"},
    {25, "Keywords"},
    {26, "ContentLocationCode"},
    {27, "ContentLocationName"},
    {30, "ReleaseDate"},
    {35, "ReleaseTime"},
    {37, "ExpirationDate"},
    {38, "ExpirationTime"},
    {40, "SpecialInstructions"},
    {42, "ActionAdvised"},
    {45, "ReferenceService"},
    {47, "ReferenceDate"},
    {50, "ReferenceNumber"},
    {55, "DateCreated"},
    {60, "TimeCreated"},
    {62, "DigitalCreationDate"},
    {63, "DigitalCreationTime"},
    {65, "OriginatingProgram"},
    {70, "ProgramVersion"},
    {75, "ObjectCycle"},
    {80, "By-line"},
    {85, "By-lineTitle"},
    {90, "City"},
    {92, "Sub-location"},
    {95, "Province-State"},
    {100, "Country-PrimaryLocationCode"},
    {101, "Country-PrimaryLocationName"},
    {103, "OriginalTransmissionReference"},
    {105, "Headline"},
    {110, "Credit"},
    {115, "Source"},
    {116, "CopyrightNotice"},
    {118, "Contact"},
    {120, "Caption-Abstract"},
    {122, "Writer-Editor"},
    {130, "ImageType"},
    {131, "ImageOrientation"},
    {135, "LanguageIdentifier"},
};
static_assert(std::size(kDatasetNames) == 45);

constexpr std::array<std::string_view, 256> makeNameIndex() {
  std::array<std::string_view, 256> index{};
  for (const auto& row : kDatasetNames) index[row.number] = row.name;
  return index;
}

constexpr std::array<std::string_view, 256> kNameByDataset = makeNameIndex();

constexpr std::string_view kPhotoshopSignature = "Photoshop 3.0";
constexpr int64_t kResourcesStart = 18;  // marker, length, "Photoshop 3.0" and its NUL
constexpr uint16_t kIptcResourceId = 0x0404;
constexpr uint8_t kDatasetTag = 0x1C;
constexpr int64_t kDatasetHeaderSize = 5;
constexpr uint8_t kApplicationRecord = 2;
constexpr uint8_t kRecordVersion = 0;

using base::byteAt;
using base::hasBytesAt;
using base::readU16be;
using base::readU32be;

// The 0x0404 resource among the image resources in [start, end); offset −1 when absent.
IptcLocation findInResources(ByteView data, int64_t start, int64_t end) {
  int64_t r = start;
  while (end - r >= 12) {
    if (!hasBytesAt(data, r, "8BIM")) break;
    const uint16_t id = readU16be(data, r + 4);
    const int64_t nameLength = byteAt(data, r + 6);
    // The name (length byte included) is padded to an even size.
    const int64_t sizeField = r + 7 + nameLength + (nameLength % 2 == 0 ? 1 : 0);
    if (sizeField + 4 > end) break;
    const int64_t dataSize = readU32be(data, sizeField);
    const int64_t dataStart = sizeField + 4;
    if (dataSize > end - dataStart) break;
    if (id == kIptcResourceId) return {dataStart, dataSize};
    r = dataStart + dataSize + (dataSize % 2);
  }
  return {};
}

// Builds the name map in one pass: repeats are appended in place, so many repeats of one
// dataset stay linear.
class NameCollector {
 public:
  NameCollector() { slotOf_.fill(-1); }

  void add(uint8_t dataset, const std::string& value) {
    const std::string_view name = kNameByDataset[dataset];
    if (name.empty()) return;
    if (slotOf_[dataset] < 0) {
      slotOf_[dataset] = static_cast<int>(entries_.size());
      entries_.emplace_back(std::string(name), value);
      return;
    }
    std::string& joined = entries_[static_cast<std::size_t>(slotOf_[dataset])].second;
    joined += ", ";
    joined += value;
  }

  TagMap finish() {
    TagMap names;
    for (auto& [name, value] : entries_) names.set(std::move(name), std::move(value));
    return names;
  }

 private:
  std::array<int, 256> slotOf_;
  std::vector<TagMap::Entry> entries_;
};

void storeField(IptcRecord& record, uint8_t dataset, const std::string& value) {
  switch (dataset) {
    case 5: record.objectName = value; break;
    case 25: record.keywords.push_back(value); break;
    case 80: record.byline.push_back(value); break;
    case 90: record.city = value; break;
    case 95: record.provinceState = value; break;
    case 101: record.country = value; break;
    case 105: record.headline = value; break;
    case 110: record.credit = value; break;
    case 115: record.source = value; break;
    case 116: record.copyrightNotice = value; break;
    case 120: record.caption = value; break;
    default: break;
  }
}

// An APP13 segment inside the data that begins with the Photoshop signature.
bool isPhotoshopSegment(ByteView data, const container::JpegSegment& segment) noexcept {
  return segment.marker == container::kApp13 && segment.fits(data) &&
         segment.end() - segment.position >= kResourcesStart &&
         hasBytesAt(data, segment.position + 4, kPhotoshopSignature);
}

}  // namespace

IptcLocation findApp13Iptc(ByteView data) noexcept {
  if (!container::isJpeg(data)) return {};
  container::JpegSegmentWalk walk(data);
  while (const auto segment = walk.next()) {
    if (!isPhotoshopSegment(data, *segment)) continue;
    const IptcLocation found =
        findInResources(data, segment->position + kResourcesStart, segment->end());
    if (found.offset >= 0) return found;
  }
  return {};
}

std::vector<uint8_t> joinedPhotoshopResources(ByteView data) {
  std::vector<uint8_t> joined;
  if (!container::isJpeg(data)) return joined;
  container::JpegSegmentWalk walk(data);
  while (const auto segment = walk.next()) {
    if (!isPhotoshopSegment(data, *segment)) continue;
    const auto from = data.begin() + segment->position + kResourcesStart;
    joined.insert(joined.end(), from, data.begin() + segment->end());
  }
  return joined;
}

IptcRecord parseIptc(ByteView data) {
  const IptcLocation block = findApp13Iptc(data);
  if (block.offset >= 0) {
    return parseDatasets(data.subspan(static_cast<std::size_t>(block.offset),
                                      static_cast<std::size_t>(block.length)));
  }
  // No segment holds a whole IPTC resource: the resources may continue from one segment into
  // the next, so the segments are read again as one stream.
  const std::vector<uint8_t> joined = joinedPhotoshopResources(data);
  return parseResources(joined);
}

IptcRecord parseResources(ByteView resources) {
  const IptcLocation block = findInResources(resources, 0, static_cast<int64_t>(resources.size()));
  if (block.offset < 0) return {};
  return parseDatasets(resources.subspan(static_cast<std::size_t>(block.offset),
                                         static_cast<std::size_t>(block.length)));
}

IptcRecord parseDatasets(ByteView block) {
  IptcRecord record;
  const auto end = static_cast<int64_t>(block.size());
  NameCollector names;
  int64_t p = 0;
  while (end - p >= kDatasetHeaderSize) {
    if (byteAt(block, p) != kDatasetTag) {
      ++p;  // stray byte between datasets
      continue;
    }
    const uint8_t recordNumber = byteAt(block, p + 1);
    const uint8_t dataset = byteAt(block, p + 2);
    const int64_t size = readU16be(block, p + 3);
    if (size & 0x8000) break;  // extended dataset: its length is stored elsewhere
    const int64_t valueStart = p + kDatasetHeaderSize;
    if (size > end - valueStart) break;
    p = valueStart + size;
    if (recordNumber != kApplicationRecord) continue;
    std::string value = base::textAt(block, valueStart, size);
    if (dataset == kRecordVersion && size == 2) {
      value = std::to_string(readU16be(block, valueStart));
    }
    storeField(record, dataset, value);
    names.add(dataset, value);
  }
  record.names = names.finish();
  return record;
}

std::vector<TagMap::Entry> iptcTags(ByteView data) { return tagsOf(parseIptc(data)); }

std::vector<TagMap::Entry> tagsOf(const IptcRecord& record) {
  std::vector<TagMap::Entry> tags;
  for (const auto& [name, value] : record.names) {
    if (!value.empty()) tags.emplace_back("IPTC:" + name, value);
  }
  return tags;
}

}  // namespace orvel::metadata::iptc
