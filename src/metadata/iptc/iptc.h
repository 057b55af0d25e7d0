// IPTC-IIM: the dataset stream that image editors keep in a JPEG's APP13 segment, inside a
// Photoshop image-resource block (resource 0x0404). Only record 2 (the application record) is
// decoded; values are the raw dataset bytes, without character-set conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "metadata/tag_map.h"

namespace orvel::metadata::iptc {

using base::ByteView;

struct IptcRecord {
  std::string objectName;                // 2:5
  std::string caption;                   // 2:120
  std::string headline;                  // 2:105
  std::vector<std::string> keywords;     // 2:25, one per dataset, in file order
  std::vector<std::string> byline;       // 2:80, one per dataset, in file order
  std::string copyrightNotice;           // 2:116
  std::string credit;                    // 2:110
  std::string source;                    // 2:115
  std::string city;                      // 2:90
  std::string provinceState;             // 2:95
  std::string country;                   // 2:101
  // Dataset name → value for every named record-2 dataset, in the order first seen; repeats
  // are joined with ", ".
  TagMap names;
};

// Where the IPTC data of the first 0x0404 resource lies; offset −1 when there is none.
struct IptcLocation {
  int64_t offset = -1;
  int64_t length = 0;
};

// Searches every APP13 "Photoshop 3.0" segment before the image data.
IptcLocation findApp13Iptc(ByteView data) noexcept;

// The resources of every APP13 "Photoshop 3.0" segment after the signature, joined in file
// order: Photoshop continues a resource that outgrows one segment in the next.
std::vector<uint8_t> joinedPhotoshopResources(ByteView data);

// The record-2 datasets of a JPEG: those of the first segment holding a whole IPTC resource,
// otherwise those of the first IPTC resource of the joined segments; empty for anything else.
// Never throws on bad input: a broken stream keeps what was read before the break.
IptcRecord parseIptc(ByteView data);
// The datasets of the first IPTC resource of a Photoshop resource block.
IptcRecord parseResources(ByteView resources);
// The record-2 datasets of a dataset stream.
IptcRecord parseDatasets(ByteView block);

// The reading pipeline's view: ("IPTC:" + name, value) for every non-empty named dataset of
// the buffer, in order.
std::vector<TagMap::Entry> iptcTags(ByteView data);
// ("IPTC:" + name, value) for every non-empty named dataset of a record.
std::vector<TagMap::Entry> tagsOf(const IptcRecord& record);

}  // namespace orvel::metadata::iptc
