// The decoder's and encoder's failures, each raised with its message and kind.
#pragma once

#include "image/error.h"

namespace orvel::codec::jpeg {

[[noreturn]] inline void failUnsupported(const char* message) {
  throw image::OrvelException(image::iekUnsupported, message);
}
[[noreturn]] inline void failTruncated(const char* message) {
  throw image::OrvelException(image::iekTruncated, message);
}
[[noreturn]] inline void failInvalid(const char* message) {
  throw image::OrvelException(image::iekInvalid, message);
}

}  // namespace orvel::codec::jpeg
