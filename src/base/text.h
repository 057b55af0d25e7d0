// Small text helpers over strings and byte views: white space, hexadecimal digits, ASCII case,
// and byte signatures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace orvel::base {

// Space, tab, line feed, vertical tab, form feed and carriage return.
constexpr bool isSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text without surrounding white space.
std::string_view stripSpace(std::string_view text) noexcept;
// The text without trailing white space.
std::string_view stripTrailingSpace(std::string_view text) noexcept;

// The upper-case hexadecimal digit of the low four bits.
constexpr char hexDigit(unsigned value) noexcept { return "0123456789ABCDEF"[value & 15]; }

// The value of a hexadecimal digit of either case, or -1.
constexpr int hexDigitValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Two upper-case hexadecimal digits.
std::string toHex(uint8_t byte);
// Upper-case hexadecimal, zero-padded to at least `width` digits.
std::string toHex(uint64_t value, int width);

// ASCII letters folded to lower case; other bytes unchanged.
std::string asciiLower(std::string_view text);

// The length (1 to 4) of the well-formed UTF-8 sequence that starts at `at`: no overlong forms,
// no surrogates, nothing above U+10FFFF. 0 when the bytes there do not start one.
int utf8SequenceLength(std::string_view text, std::size_t at) noexcept;

// True when the bytes at `position` spell `text` (which may hold NUL bytes).
bool hasBytesAt(ByteView data, int64_t position, std::string_view text) noexcept;

// The bytes [position, position + length) as text; empty when they are not all inside.
inline std::string textAt(ByteView data, int64_t position, int64_t length) {
  if (!inBounds(data, position, length)) return {};
  return std::string(reinterpret_cast<const char*>(data.data()) + position,
                     static_cast<std::size_t>(length));
}

}  // namespace orvel::base
