// Versions, status texts and the release of caller-owned buffers.
#include <cstdlib>

#include "c_api/status.h"
#include "orvel.h"

using namespace orvel::capi;

extern "C" {

ORVEL_API const char* ov_version(void) noexcept { return "1.1.0"; }

ORVEL_API int32_t ov_exif_abi_version(void) noexcept { return 1; }

ORVEL_API int32_t ov_image_abi_version(void) noexcept { return 1; }

ORVEL_API const char* ov_exif_strerror(ov_status code) noexcept { return exifStatusText(code); }

ORVEL_API const char* ov_image_strerror(ov_status code) noexcept { return imageStatusText(code); }

// Buffers handed to callers come from malloc; both families release them the same way.
ORVEL_API void ov_exif_buffer_free(uint8_t* buffer) noexcept { std::free(buffer); }

ORVEL_API void ov_image_buffer_free(uint8_t* buffer) noexcept { std::free(buffer); }

ORVEL_API ov_status mapImgStatus(uint8_t kind) noexcept { return imageStatusForKind(kind); }

}  // extern "C"
