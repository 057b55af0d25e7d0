#include "base/text.h"

#include <algorithm>

namespace orvel::base {

std::string_view stripSpace(std::string_view text) noexcept {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  return stripTrailingSpace(text);
}

std::string_view stripTrailingSpace(std::string_view text) noexcept {
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string toHex(uint8_t byte) { return {hexDigit(byte >> 4), hexDigit(byte)}; }

std::string toHex(uint64_t value, int width) {
  std::string out;
  do {
    out.push_back(hexDigit(static_cast<unsigned>(value)));
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < width)
    out.append(static_cast<std::size_t>(width) - out.size(), '0');
  std::reverse(out.begin(), out.end());
  return out;
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

bool hasBytesAt(ByteView data, int64_t position, std::string_view text) noexcept {
  if (!inBounds(data, position, static_cast<int64_t>(text.size()))) return false;
  const auto* at = data.data() + position;
  return std::equal(text.begin(), text.end(), at, [](char expected, uint8_t actual) {
    return static_cast<uint8_t>(expected) == actual;
  });
}

}  // namespace orvel::base
