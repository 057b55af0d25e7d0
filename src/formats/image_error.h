// The one failure type of the image half: a message that starts with the codec's or the
// operation's name, and a kind that the C interface turns into a status code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvel {

enum ImageErrorKind : uint8_t {
  iekNone = 0,
  iekUnsupported = 1,  // unrecognised format, unimplemented feature or variant
  iekTruncated = 2,    // input shorter than a header, table or payload requires
  iekInvalid = 3,      // malformed values, impossible dimensions, bad arguments
};

class OrvelException : public std::runtime_error {
 public:
  OrvelException(ImageErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  ImageErrorKind kind() const noexcept { return kind_; }

 private:
  ImageErrorKind kind_;
};

}  // namespace orvel
