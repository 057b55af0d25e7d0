// The one failure type of the compression library: a message and a small kind number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvel::deflate {

enum ZepraErrorKind : uint8_t {
  zekUnsupported = 0,  // a valid stream using a feature this library does not implement
  zekTruncated = 1,    // the input ended early
  zekCorrupt = 2,      // malformed data
  zekLimit = 3,        // the output cap or the work budget was exceeded
};

class ZepraException : public std::runtime_error {
 public:
  ZepraException(ZepraErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  ZepraErrorKind kind() const noexcept { return kind_; }

 private:
  ZepraErrorKind kind_;
};

}  // namespace orvel::deflate
