// The record behind a metadata handle: a snapshot of a metadata record with its tags sorted by
// name (byte order), found by binary search, and the JSON text computed on first request.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "c_api/registry.h"
#include "metadata/record.h"
#include "metadata/tag_map.h"

namespace orvel::capi {

class MetaRecord : public HandleRecord {
 public:
  static constexpr HandleKind kind = HandleKind::meta;

  bool isValid = false;
  int64_t orientation = 0;
  bool hasGps = false;
  double latitude = 0;  // the three numbers are 0 without a position
  double longitude = 0;
  double altitude = 0;
  std::string camera;
  std::string software;
  metadata::TagMap tagMap;                          // the reader's tags, never changed again
  std::vector<const metadata::TagMap::Entry*> tags;  // into tagMap, ascending byte order of names

  // The value stored under exactly this name, or null.
  const std::string* findTag(std::string_view name) const noexcept;

  // The JSON text, rendered once even when several threads ask first at the same time; it is
  // never changed afterwards, so its characters stay put until the record dies. A failure
  // while rendering propagates and leaves the text to be rendered by a later call.
  const std::string& json() const;

 private:
  mutable std::once_flag jsonOnce_;
  mutable std::string json_;
};

// The snapshot of a record the reading pipeline produced; the record's texts are moved in, not
// copied. The position is kept only when both references name a hemisphere.
std::unique_ptr<MetaRecord> buildMetaHandle(metadata::Metadata&& meta);

}  // namespace orvel::capi
