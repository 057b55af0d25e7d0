// The image processing functions: resize, rotate, orient and crop into a new handle, and
// composite one image over another in place.
#include <cstdint>
#include <memory>

#include "c_api/handles.h"
#include "c_api/image_record.h"
#include "image/error.h"
#include "orvel.h"
#include "process/composite.h"
#include "process/geometry.h"
#include "process/resize.h"

using namespace orvel::capi;
namespace image = orvel::image;
namespace process = orvel::process;

namespace {

constexpr uint32_t kMostOpacity = 255;

// Creates a handle for the image `make(source)` returns, with the checks every derived image
// shares: a null out gives 2 untouched, *out is nulled, then an unknown source handle or
// invalid arguments give 2. The source image is never changed.
template <class Make>
ov_status deriveImage(const ov_image* handle, ov_image** out, bool argumentsValid,
                      Make&& make) noexcept {
  if (out == nullptr) return kBadArgument;
  *out = nullptr;
  CallRef<ImageRecord> source = useRecord<ImageRecord>(handle);
  return createHandle<ImageRecord>(Family::image, out, source && argumentsValid, [&] {
    auto record = std::make_unique<ImageRecord>();
    record->image = make(source->image);
    return record;
  });
}

}  // namespace

extern "C" {

ORVEL_API ov_status ov_image_resize(const ov_image* handle, int32_t width, int32_t height,
                                    int32_t filter, ov_image** out) noexcept {
  return deriveImage(handle, out, width > 0 && height > 0, [&](const image::Image& source) {
    return process::resize(source, width, height,
                           process::filterFromCint(static_cast<uint32_t>(filter)));
  });
}

ORVEL_API ov_status ov_image_rotate(const ov_image* handle, int32_t operation,
                                    ov_image** out) noexcept {
  return deriveImage(handle, out, true, [&](const image::Image& source) {
    return process::rotate(source, process::rotateOpFromCint(static_cast<uint32_t>(operation)));
  });
}

ORVEL_API ov_status ov_image_apply_orientation(const ov_image* handle, uint32_t orientation,
                                               ov_image** out) noexcept {
  const bool valid = orientation >= 1 && orientation <= 8;
  return deriveImage(handle, out, valid, [&](const image::Image& source) {
    return process::applyExifOrientation(source, orientation);
  });
}

ORVEL_API ov_status ov_image_crop(const ov_image* handle, int32_t x, int32_t y, int32_t width,
                                  int32_t height, ov_image** out) noexcept {
  return deriveImage(handle, out, true, [&](const image::Image& source) {
    return process::crop(source, x, y, width, height);
  });
}

ORVEL_API ov_status ov_image_composite_over(ov_image* destination, const ov_image* source,
                                            int32_t x, int32_t y, uint32_t opacity) noexcept {
  CallRef<ImageRecord> over = useRecord<ImageRecord>(source);
  if (!over || opacity > kMostOpacity) return kBadArgument;
  return withHandleStatus<ImageRecord>(Family::image, destination, [&](ImageRecord& target) {
    process::compositeOver(target.image, over->image, x, y, static_cast<uint8_t>(opacity));
    return kOk;
  });
}

// The exported mappings have no status channel: a number that names nothing gives -1.
ORVEL_API int32_t filterFromCint(uint32_t code) noexcept {
  return code <= process::rfBox ? static_cast<int32_t>(code) : -1;
}

ORVEL_API int32_t rotateOpFromCint(uint32_t code) noexcept {
  return code <= process::roMirrorTopBottom ? static_cast<int32_t>(code) : -1;
}

}  // extern "C"
