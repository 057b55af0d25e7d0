// ov_image_thumbnail: the EXIF thumbnail of a file's bytes as a new image handle.
#include "c_api/thumbnail.h"

#include <memory>

#include "c_api/handles.h"
#include "c_api/image_record.h"
#include "codec/jpeg/jpeg.h"
#include "image/error.h"
#include "metadata/pipeline/thumbnail.h"
#include "orvel.h"

namespace orvel::capi {

image::Image loadThumbnail(base::ByteView bytes) {
  const int64_t base = metadata::pipeline::exifTiffBase(bytes);
  if (base < 0)
    throw image::OrvelException(image::iekUnsupported, "loadThumbnail: no EXIF segment");
  const std::vector<uint8_t> thumbnail = metadata::pipeline::extractExifThumbnailAt(bytes, base);
  if (thumbnail.empty()) {
    throw image::OrvelException(image::iekUnsupported, "loadThumbnail: no embedded EXIF thumbnail");
  }
  return codec::jpeg::decodeJpeg(thumbnail);
}

}  // namespace orvel::capi

using namespace orvel::capi;

extern "C" {

ORVEL_API ov_status ov_image_thumbnail(const uint8_t* data, int64_t length,
                                       ov_image** out) noexcept {
  const bool valid = data != nullptr && length >= 1;
  return createHandle<ImageRecord>(Family::image, out, valid, [&] {
    auto record = std::make_unique<ImageRecord>();
    record->image = loadThumbnail({data, static_cast<std::size_t>(length)});
    return record;
  });
}

}  // extern "C"
