// The metadata editing functions: open an edit handle from a file or buffer, change its tags,
// write it back, and strip metadata from files and buffers.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "c_api/handles.h"
#include "metadata/edit/edit.h"
#include "metadata/edit/load.h"
#include "metadata/edit/typed_value.h"
#include "metadata/edit/write.h"
#include "orvel.h"

using namespace orvel::capi;
namespace edit = orvel::metadata::edit;

namespace {

// The record behind an edit handle: the tags, and where the image came from (a path, or a
// private copy of the caller's bytes). Calls on one handle take its lock, so threads sharing a
// handle take turns instead of racing.
class EditRecord : public HandleRecord {
 public:
  static constexpr HandleKind kind = HandleKind::edit;

  std::mutex lock;
  edit::ExifEdit edit;
  std::string sourcePath;            // empty when opened from a buffer
  std::vector<uint8_t> sourceBytes;  // empty when opened from a path
  bool fromBuffer = false;
};

// The rewritten bytes laid once into a malloc block the caller releases with
// ov_exif_buffer_free(): sized up front (a bound, when the end of a JPEG's image is found while
// copying), then trimmed in place.
ov_status handOut(const std::optional<edit::Rewrite>& rewrite, uint8_t** out, int64_t* outLength) {
  if (!rewrite || rewrite->sizeBound() == 0) return kUnsupported;
  const auto bound = static_cast<std::size_t>(rewrite->sizeBound());
  auto* block = static_cast<uint8_t*>(std::malloc(bound));
  if (block == nullptr) return kExifIoError;
  int64_t size = 0;
  try {
    size = rewrite->writeTo({block, bound});
  } catch (...) {
    std::free(block);
    throw;
  }
  if (static_cast<std::size_t>(size) < bound) {
    if (auto* trimmed = static_cast<uint8_t*>(std::realloc(block, static_cast<std::size_t>(size)))) {
      block = trimmed;
    }
  }
  *out = block;
  *outLength = size;
  return kOk;
}

// Runs fn(record) on a live edit handle, holding its lock.
template <class Fn>
ov_status withEditStatus(ov_edit* handle, Fn&& fn) noexcept {
  return withHandleStatus<EditRecord>(Family::exif, handle, [&](EditRecord& record) {
    const std::lock_guard<std::mutex> hold(record.lock);
    return fn(record);
  });
}

template <class Fn>
void changeEdit(ov_edit* handle, Fn&& fn) noexcept {
  withHandle<EditRecord>(handle, false, [&](EditRecord& record) {
    const std::lock_guard<std::mutex> hold(record.lock);
    fn(record.edit);
    return true;
  });
}

}  // namespace

extern "C" {

ORVEL_API ov_status ov_exif_edit_open(const char* path, ov_edit** out) noexcept {
  return createHandle<EditRecord>(Family::exif, out, path != nullptr, [&] {
    auto record = std::make_unique<EditRecord>();
    record->sourcePath = path;
    record->edit = edit::parseExif(record->sourcePath);
    return record;
  });
}

ORVEL_API ov_status ov_exif_edit_open_buffer(const uint8_t* data, int64_t length,
                                             ov_edit** out) noexcept {
  const bool valid = data != nullptr && length >= 1;
  return createHandle<EditRecord>(Family::exif, out, valid, [&] {
    auto record = std::make_unique<EditRecord>();
    record->sourceBytes.assign(data, data + length);
    record->fromBuffer = true;
    record->edit = edit::parseExifBytes(record->sourceBytes);
    return record;
  });
}

ORVEL_API ov_status ov_exif_edit_set_tag(ov_edit* handle, const char* name,
                                         const char* value) noexcept {
  if (name == nullptr || value == nullptr) return kBadArgument;
  return withEditStatus(handle, [&](EditRecord& record) {
    return edit::setTagByName(record.edit, name, value) ? kOk : kUnsupported;
  });
}

ORVEL_API void ov_exif_set_artist(ov_edit* handle, const char* text) noexcept {
  if (text == nullptr) return;
  changeEdit(handle, [&](edit::ExifEdit& edit) { edit::setArtist(edit, text); });
}

ORVEL_API void ov_exif_set_software(ov_edit* handle, const char* text) noexcept {
  if (text == nullptr) return;
  changeEdit(handle, [&](edit::ExifEdit& edit) { edit::setSoftware(edit, text); });
}

ORVEL_API void ov_exif_set_datetime(ov_edit* handle, const char* text) noexcept {
  if (text == nullptr) return;
  changeEdit(handle, [&](edit::ExifEdit& edit) { edit::setDateTimeOriginal(edit, text); });
}

ORVEL_API void ov_exif_set_gps(ov_edit* handle, double latitude, double longitude,
                               double altitude) noexcept {
  changeEdit(handle, [&](edit::ExifEdit& edit) {
    edit::setGps(edit, latitude, longitude, altitude);
  });
}

ORVEL_API void ov_exif_strip_all(ov_edit* handle) noexcept {
  changeEdit(handle, [](edit::ExifEdit& edit) { edit::stripAll(edit); });
}

ORVEL_API void ov_exif_edit_free(ov_edit* handle) noexcept { freeHandle<EditRecord>(handle); }

ORVEL_API ov_status ov_exif_edit_write(ov_edit* handle, const char* destination) noexcept {
  return withEditStatus(handle, [&](EditRecord& record) {
    if (record.fromBuffer) return kBadArgument;
    const std::string target = destination == nullptr ? std::string() : std::string(destination);
    return edit::writeExif(record.sourcePath, record.edit, target) ? kOk : kUnsupported;
  });
}

ORVEL_API ov_status ov_exif_edit_write_buffer(ov_edit* handle, uint8_t** out,
                                              int64_t* outLength) noexcept {
  if (out == nullptr || outLength == nullptr) return kBadArgument;
  *out = nullptr;
  *outLength = 0;
  return withEditStatus(handle, [&](EditRecord& record) {
    if (!record.fromBuffer) return kBadArgument;
    return handOut(edit::writeExifPieces(record.sourceBytes, record.edit), out, outLength);
  });
}

ORVEL_API ov_status ov_exif_strip_file(const char* source, const char* destination) noexcept {
  if (source == nullptr || destination == nullptr) return kBadArgument;
  return guarded(Family::exif, [&] {
    return edit::stripMetadata(source, destination) ? kOk : kUnsupported;
  });
}

ORVEL_API ov_status ov_exif_strip_buffer(const uint8_t* data, int64_t length, uint8_t** out,
                                         int64_t* outLength) noexcept {
  if (out == nullptr || outLength == nullptr) return kBadArgument;
  *out = nullptr;
  *outLength = 0;
  if (data == nullptr || length < 1) return kBadArgument;
  return guarded(Family::exif, [&] {
    const orvel::base::ByteView bytes(data, static_cast<std::size_t>(length));
    return handOut(edit::stripMetadataPieces(bytes), out, outLength);
  });
}

}  // extern "C"
