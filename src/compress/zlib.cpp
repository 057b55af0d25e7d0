#include "compress/zlib.h"

#include "zepra/formats/zlib.h"

namespace orvel {
namespace {

// The compression library counts a truncated stream as unsupported and a corrupt one as
// truncated on the image side, so the C interface reports 4 and 2 for them.
ImageErrorKind imageKind(zepra::ZepraErrorKind kind) {
  switch (kind) {
    case zepra::zekUnsupported:
    case zepra::zekTruncated:
      return iekUnsupported;
    case zepra::zekCorrupt:
      return iekTruncated;
    case zepra::zekLimit:
      return iekInvalid;
  }
  return iekInvalid;
}

}  // namespace

OrvelException mapError(const zepra::ZepraException& error) {
  return OrvelException(imageKind(error.kind()), error.what());
}

std::vector<uint8_t> zlibInflate(std::span<const uint8_t> input, int64_t outputCap) {
  try {
    return zepra::zlibInflate(input, outputCap);
  } catch (const zepra::ZepraException& error) {
    throw mapError(error);
  }
}

std::vector<uint8_t> zlibDeflate(std::span<const uint8_t> input) {
  return zepra::zlibDeflate(input);
}

}  // namespace orvel
