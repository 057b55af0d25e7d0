// Building the metadata handle's snapshot and answering lookups on it.
#include "c_api/meta_record.h"

#include <algorithm>
#include <cstdint>

#include "metadata/pipeline/json.h"

namespace orvel::capi {

namespace {

using Entry = metadata::TagMap::Entry;

// The first eight bytes of a name as a big-endian number, zero-padded: comparing these orders
// names as their bytes do, and ties fall back to the whole names.
uint64_t prefixKey(std::string_view name) {
  uint64_t key = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
  }
  return key;
}

std::vector<const Entry*> sortedEntries(const metadata::TagMap& map) {
  struct Keyed {
    uint64_t prefix;
    const Entry* entry;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(map.size());
  for (const Entry& entry : map) keyed.push_back({prefixKey(entry.first), &entry});
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return a.entry->first < b.entry->first;
  });
  std::vector<const Entry*> order;
  order.reserve(keyed.size());
  for (const Keyed& k : keyed) order.push_back(k.entry);
  return order;
}

}  // namespace

const std::string* MetaRecord::findTag(std::string_view name) const noexcept {
  auto found = std::lower_bound(tags.begin(), tags.end(), name,
                                [](const Entry* entry, std::string_view key) {
                                  return std::string_view(entry->first) < key;
                                });
  if (found == tags.end() || (*found)->first != name) return nullptr;
  return &(*found)->second;
}

const std::string& MetaRecord::json() const {
  std::call_once(jsonOnce_, [this] {
    metadata::pipeline::JsonSource source;
    source.isValid = isValid;
    source.orientation = orientation;
    source.camera = camera;
    source.software = software;
    source.hasGps = hasGps;
    source.latitude = latitude;
    source.longitude = longitude;
    source.altitude = altitude;
    source.tags = tags;  // already in the listing's order
    json_ = metadata::pipeline::metaToJson(source);
  });
  return json_;
}

std::unique_ptr<MetaRecord> buildMetaHandle(metadata::Metadata&& meta) {
  auto record = std::make_unique<MetaRecord>();
  record->isValid = meta.isValid;
  record->orientation = meta.orientation;
  record->camera = std::move(meta.camera);
  record->software = std::move(meta.software);
  if (meta.hasGps()) {
    record->hasGps = true;
    record->latitude = meta.latitude;
    record->longitude = meta.longitude;
    record->altitude = meta.altitude;
  }
  // Moving the map keeps its entries where they are, so the sorted pointers stay valid.
  record->tagMap = std::move(meta.tags);
  record->tags = sortedEntries(record->tagMap);
  return record;
}

}  // namespace orvel::capi
