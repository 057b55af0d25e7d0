// The one failure type of the image half: a message that starts with the codec's or the
// operation's name, and a kind that the C interface turns into a status code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvel::image {

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

// Returns `available` when it is at least `needed`; otherwise raises OrvelException of kind
// iekTruncated carrying `message`.
inline int64_t requireLen(int64_t available, int64_t needed, const std::string& message) {
  if (available < needed) throw OrvelException(iekTruncated, message);
  return available;
}

}  // namespace orvel::image
