// The image functions: decode a buffer or take raw pixels into a handle, read the handle's
// size, layout and pixels, encode it into a caller-owned buffer, free it.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "c_api/handles.h"
#include "c_api/image_record.h"
#include "codec/codec.h"
#include "codec/tga/tga.h"
#include "codec/tiff/tiff.h"
#include "codec/webp/webp.h"
#include "image/error.h"
#include "orvel.h"

using namespace orvel::capi;
namespace codec = orvel::codec;
namespace image = orvel::image;

namespace {

constexpr uint32_t kLargestHint = 10;
constexpr int32_t kHintTga = 8;
constexpr int32_t kHintWebp = 9;
constexpr int32_t kHintTiff = 10;
constexpr int32_t kNoFormat = -1;

image::Image decodeWithHint(orvel::base::ByteView bytes, int32_t hint) {
  switch (hint) {
    case kHintTga: return codec::tga::decodeTga(bytes);
    case kHintWebp: return codec::webp::decodeWebp(bytes);
    case kHintTiff: return codec::tiff::decodeTiff(bytes);
    default: return codec::decodeImage(bytes);
  }
}

int32_t formatOf(int32_t value) noexcept {
  switch (value) {
    case 1: return codec::efPng;
    case 2: return codec::efJpeg;
    case 3: return codec::efBmp;
    case 4: return codec::efQoi;
    case 5: return codec::efPnm;
    case 8: return codec::efTga;
    default: return kNoFormat;
  }
}

// The bytes of `length` × `height` × channels that a pixel source must hold, or -1 when the
// count does not fit.
int64_t byteCountOf(int32_t width, int32_t height, int32_t layout) {
  int64_t count = 0;
  if (__builtin_mul_overflow(int64_t{width}, int64_t{height}, &count) ||
      __builtin_mul_overflow(count, image::ChannelCount[static_cast<size_t>(layout)], &count)) {
    return -1;
  }
  return count;
}

}  // namespace

extern "C" {

ORVEL_API ov_status ov_image_decode_buffer(const uint8_t* data, int64_t length, int32_t hint,
                                           ov_image** out) noexcept {
  const bool valid = data != nullptr && length >= 1 && static_cast<uint32_t>(hint) <= kLargestHint;
  return createHandle<ImageRecord>(Family::image, out, valid, [&] {
    auto record = std::make_unique<ImageRecord>();
    record->image = decodeWithHint({data, static_cast<std::size_t>(length)}, hint);
    return record;
  });
}

ORVEL_API ov_status ov_image_from_pixels(int32_t width, int32_t height, int32_t colorspace,
                                         const uint8_t* source, int64_t sourceLength,
                                         ov_image** out) noexcept {
  const bool shapeValid = width >= 1 && height >= 1 && colorspace >= 0 &&
                          colorspace < static_cast<int32_t>(image::ChannelCount.size());
  const int64_t byteCount = shapeValid ? byteCountOf(width, height, colorspace) : -1;
  const bool valid = byteCount >= 0 && source != nullptr && sourceLength == byteCount;
  return createHandle<ImageRecord>(Family::image, out, valid, [&] {
    auto record = std::make_unique<ImageRecord>();
    record->image = image::newImage(width, height, static_cast<uint8_t>(colorspace));
    if (byteCount > 0) std::memcpy(record->image.pixels.data(), source, static_cast<size_t>(byteCount));
    return record;
  });
}

ORVEL_API ov_status ov_image_encode(ov_image* handle, int32_t format, int32_t quality, uint8_t** out,
                                    int64_t* outLength) noexcept {
  if (out == nullptr || outLength == nullptr) return kBadArgument;
  *out = nullptr;
  *outLength = 0;
  return withHandleStatus<ImageRecord>(Family::image, handle, [&](ImageRecord& record) {
    const int32_t chosen = formatOf(format);
    if (chosen == kNoFormat) {
      throw image::OrvelException(image::iekUnsupported, "ov_image_encode: not an encodable format");
    }
    const int clamped = quality < 2 ? 1 : quality > 100 ? 100 : quality;
    const std::vector<uint8_t> bytes =
        codec::encodeImage(record.image, static_cast<codec::EncodeFormat>(chosen), clamped);
    if (bytes.empty()) return kUnsupported;
    auto* block = static_cast<uint8_t*>(std::malloc(bytes.size()));
    if (block == nullptr) return kImageOutOfMemory;
    std::memcpy(block, bytes.data(), bytes.size());
    *out = block;
    *outLength = static_cast<int64_t>(bytes.size());
    return kOk;
  });
}

ORVEL_API int32_t ov_image_width(const ov_image* handle) noexcept {
  return withHandle<ImageRecord>(handle, int32_t{0},
                                 [](ImageRecord& r) { return static_cast<int32_t>(r.image.width); });
}

ORVEL_API int32_t ov_image_height(const ov_image* handle) noexcept {
  return withHandle<ImageRecord>(handle, int32_t{0},
                                 [](ImageRecord& r) { return static_cast<int32_t>(r.image.height); });
}

ORVEL_API int32_t ov_image_channels(const ov_image* handle) noexcept {
  return withHandle<ImageRecord>(handle, int32_t{0},
                                 [](ImageRecord& r) { return static_cast<int32_t>(r.image.channels); });
}

ORVEL_API uint8_t ov_image_get_colorspace(const ov_image* handle) noexcept {
  return withHandle<ImageRecord>(handle, uint8_t{0}, [](ImageRecord& r) { return r.image.colorspace; });
}

ORVEL_API ov_status ov_image_pixels(const ov_image* handle, const uint8_t** outPixels,
                                    int64_t* outLength) noexcept {
  if (outPixels == nullptr || outLength == nullptr) return kBadArgument;
  *outPixels = nullptr;
  *outLength = 0;
  return withHandleStatus<ImageRecord>(Family::image, handle, [&](ImageRecord& record) {
    if (record.image.pixels.empty()) return kOk;
    *outPixels = record.image.pixels.data();
    *outLength = static_cast<int64_t>(record.image.pixels.size());
    return kOk;
  });
}

ORVEL_API void ov_image_free(ov_image* handle) noexcept { freeHandle<ImageRecord>(handle); }

// Only a live handle gains a reference; anything else is never dereferenced.
ORVEL_API ov_image* imgOf(ov_image* handle) noexcept {
  ImageRecord* record = retainHandle<ImageRecord>(handle);
  return record == nullptr ? nullptr : handleOf<ov_image>(record);
}

ORVEL_API int32_t encodeFmtFromCint(int32_t value) noexcept { return formatOf(value); }

}  // extern "C"
