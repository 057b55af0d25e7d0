// Status codes of the two exported families and the mapping of internal failures to them.
#pragma once

#include <cstdint>

#include "orvel.h"

namespace orvel::capi {

enum class Family : uint8_t { exif, image };

inline constexpr ov_status kOk = 0;
inline constexpr ov_status kExifIoError = 1;
inline constexpr ov_status kBadArgument = 2;  // the same number in both families
inline constexpr ov_status kUnsupported = 4;  // likewise
inline constexpr ov_status kImageOutOfMemory = 8;

const char* exifStatusText(ov_status code) noexcept;
const char* imageStatusText(ov_status code) noexcept;
ov_status imageStatusForKind(uint8_t kind) noexcept;

// The status for the failure currently being handled; call only inside a catch block.
// Metadata half: any failure is an io error. Image half: an OrvelException maps by its kind,
// anything else is a bad argument.
ov_status statusForCurrentFailure(Family family) noexcept;

}  // namespace orvel::capi
