#include "c_api/status.h"

#include <exception>

#include "image/error.h"

namespace orvel::capi {
namespace {

constexpr const char* kUnknownText = "unknown error";

constexpr const char* kExifTexts[] = {
    "ok",
    "io error",
    "unrecognized format / no metadata",
    "unknown error",
    "unsupported operation",
};

constexpr const char* kImageTexts[] = {
    "ok",
    "unknown error",
    "bad argument / unrecognized / truncated",
    "unknown error",
    "unsupported operation",
    "unknown error",
    "unknown error",
    "unknown error",
    "out of memory",
};

template <std::size_t N>
const char* lookup(const char* const (&table)[N], ov_status code) noexcept {
  // Compared unsigned, so negative codes land past the end of the table.
  auto index = static_cast<uint32_t>(code);
  return index < N ? table[index] : kUnknownText;
}

}  // namespace

const char* exifStatusText(ov_status code) noexcept { return lookup(kExifTexts, code); }

const char* imageStatusText(ov_status code) noexcept { return lookup(kImageTexts, code); }

ov_status imageStatusForKind(uint8_t kind) noexcept {
  if (kind == 0) return kOk;
  if (kind == image::iekUnsupported) return kUnsupported;
  return kBadArgument;
}

ov_status statusForCurrentFailure(Family family) noexcept {
  if (family == Family::exif) return kExifIoError;
  try {
    throw;
  } catch (const image::OrvelException& e) {
    return imageStatusForKind(e.kind());
  } catch (...) {
    return kBadArgument;
  }
}

}  // namespace orvel::capi
