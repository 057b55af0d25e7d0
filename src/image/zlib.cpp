#include "image/zlib.h"

#include "deflate/zlib.h"

namespace orvel::image {
namespace {

ImageErrorKind imageKind(deflate::ZepraErrorKind kind) {
  switch (kind) {
    case deflate::zekUnsupported:
    case deflate::zekTruncated:
      return iekUnsupported;
    case deflate::zekCorrupt:
      return iekTruncated;
    case deflate::zekLimit:
      return iekInvalid;
  }
  return iekInvalid;
}

}  // namespace

OrvelException mapError(const deflate::ZepraException& error) {
  return OrvelException(imageKind(error.kind()), error.what());
}

std::vector<uint8_t> zlibInflateAsImageError(std::span<const uint8_t> input, int64_t outputCap) {
  try {
    return deflate::zlibInflate(input, outputCap);
  } catch (const deflate::ZepraException& error) {
    throw mapError(error);
  }
}

int64_t zlibInflateIntoAsImageError(std::span<const uint8_t> input, std::span<uint8_t> out) {
  try {
    return deflate::zlibInflateInto(input, out);
  } catch (const deflate::ZepraException& error) {
    throw mapError(error);
  }
}

}  // namespace orvel::image
