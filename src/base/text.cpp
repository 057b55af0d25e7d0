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

int utf8SequenceLength(std::string_view text, std::size_t at) noexcept {
  if (at >= text.size()) return 0;
  const auto byteAt = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byteAt(at);
  if (lead < 0x80) return 1;
  // The range of the second byte depends on the lead; later bytes are plain continuations.
  int length = 0;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;  // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < static_cast<std::size_t>(length)) return 0;
  if (byteAt(at + 1) < low || byteAt(at + 1) > high) return 0;
  for (int i = 2; i < length; ++i) {
    if ((byteAt(at + static_cast<std::size_t>(i)) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace orvel::base
