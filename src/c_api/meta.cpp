// The metadata query functions: read a file or buffer into a handle, then list, look up,
// locate and export its tags.
#include <cstdint>
#include <limits>

#include "c_api/handles.h"
#include "c_api/meta_record.h"
#include "metadata/pipeline/read.h"
#include "orvel.h"

using namespace orvel::capi;
namespace pipeline = orvel::metadata::pipeline;

extern "C" {

ORVEL_API ov_status ov_exif_read_file(const char* path, ov_meta** out) noexcept {
  return createHandle<MetaRecord>(Family::exif, out, path != nullptr, [&] {
    return buildMetaHandle(pipeline::readMetadata(path, pipeline::kDefaultReadPrefix));
  });
}

ORVEL_API ov_status ov_exif_read_buffer(const uint8_t* data, int64_t length,
                                        ov_meta** out) noexcept {
  const bool valid = data != nullptr && length >= 1;
  return createHandle<MetaRecord>(Family::exif, out, valid, [&] {
    orvel::base::ByteView bytes(data, static_cast<std::size_t>(length));
    return buildMetaHandle(pipeline::readMetadataFromBytes(bytes));
  });
}

ORVEL_API bool ov_exif_is_valid(const ov_meta* handle) noexcept {
  return withHandle<MetaRecord>(handle, false, [](MetaRecord& m) { return m.isValid; });
}

ORVEL_API int64_t ov_exif_tag_count(const ov_meta* handle) noexcept {
  return withHandle<MetaRecord>(handle, int64_t{0},
                                [](MetaRecord& m) { return static_cast<int64_t>(m.tags.size()); });
}

ORVEL_API ov_status ov_exif_tag_at(const ov_meta* handle, int64_t index, const char** outName,
                                   const char** outValue) noexcept {
  if (index < 0 || outName == nullptr || outValue == nullptr) return kBadArgument;
  return withHandleStatus<MetaRecord>(Family::exif, handle, [&](MetaRecord& m) {
    if (static_cast<uint64_t>(index) >= m.tags.size()) return kBadArgument;
    const auto& [name, value] = *m.tags[static_cast<std::size_t>(index)];
    *outName = name.c_str();
    *outValue = value.c_str();
    return kOk;
  });
}

ORVEL_API const char* ov_exif_get_tag(const ov_meta* handle, const char* name) noexcept {
  if (name == nullptr) return nullptr;
  return withHandle<MetaRecord>(handle, static_cast<const char*>(nullptr),
                                [&](MetaRecord& m) -> const char* {
                                  const std::string* value = m.findTag(name);
                                  return value == nullptr ? nullptr : value->c_str();
                                });
}

ORVEL_API bool ov_exif_get_gps(const ov_meta* handle, double* outLat, double* outLon,
                               double* outAlt) noexcept {
  return withHandle<MetaRecord>(handle, false, [&](MetaRecord& m) {
    if (!m.hasGps) return false;
    if (outLat != nullptr) *outLat = m.latitude;
    if (outLon != nullptr) *outLon = m.longitude;
    if (outAlt != nullptr) *outAlt = m.altitude;
    return true;
  });
}

ORVEL_API int32_t ov_exif_get_orientation(const ov_meta* handle) noexcept {
  return withHandle<MetaRecord>(handle, int32_t{0}, [](MetaRecord& m) {
    const bool fits = m.orientation >= std::numeric_limits<int32_t>::min() &&
                      m.orientation <= std::numeric_limits<int32_t>::max();
    return fits ? static_cast<int32_t>(m.orientation) : int32_t{0};
  });
}

ORVEL_API const char* ov_exif_to_json(const ov_meta* handle) noexcept {
  return withHandle<MetaRecord>(handle, static_cast<const char*>(nullptr),
                                [](MetaRecord& m) { return m.json().c_str(); });
}

ORVEL_API void ov_exif_meta_free(ov_meta* handle) noexcept { freeHandle<MetaRecord>(handle); }

}  // extern "C"
