#include "exif/makernotes/common.h"

#include <charconv>

namespace orvel::exif {

std::string_view strip(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

int64_t num(std::string_view text) {
  std::string_view token = strip(text);
  token = token.substr(0, token.find(' '));
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (error != std::errc() || end != token.data() + token.size() || token.empty()) return -1;
  return value;
}

}  // namespace orvel::exif
