#include "metadata/makernotes/values.h"

#include <charconv>
#include <cmath>

#include "metadata/makernotes/common.h"

namespace orvel::metadata::makernotes {

std::string_view lookupText(std::span<const TextName> table, std::string_view key) {
  auto found = std::lower_bound(
      table.begin(), table.end(), key,
      [](const TextName& row, std::string_view wanted) { return row.key < wanted; });
  if (found == table.end() || found->key != key) return {};
  return found->text;
}

void VendorTags::set(std::string_view field, std::string value) {
  std::string name;
  name.reserve(prefix_.size() + 1 + field.size());
  name.append(prefix_).push_back(':');
  name.append(field);
  out_.set(std::move(name), std::move(value));
}

void VendorTags::setNonEmpty(std::string_view field, std::string_view value) {
  if (!value.empty()) set(field, std::string(value));
}

void VendorTags::setCoded(std::string_view field, std::span<const CodeText> table, int64_t code) {
  if (auto text = lookupCode(table, code)) set(field, std::string(*text));
}

std::string bitmaskStr(uint32_t value, std::string_view defaultText,
                       std::span<const BitName> rows) {
  if (value == 0) return std::string(defaultText);
  std::string out;
  for (const BitName& row : rows) {
    if (row.bit >= 32 || (value >> row.bit & 1u) == 0) continue;
    if (!out.empty()) out += ", ";
    out.append(row.text);
  }
  return out;
}

double pentaxEv(int64_t code) {
  const double v = static_cast<double>(code);
  if (code % 2 == 0) return v / 8;
  const double sign = code < 0 ? -1.0 : 1.0;
  const int64_t remainder = code < 0 ? -(code % 8) : code % 8;  // |code| mod 8, overflow-free
  if (remainder == 5) return (v + sign / 3) / 8;
  if (remainder == 3) return (v - sign / 3) / 8;
  return v / 8;
}

std::string fixedDecimals(double value, int decimals) {
  if (!std::isfinite(value)) return {};
  char buffer[400];  // the longest double in fixed notation plus the decimals asked for
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                              std::clamp(decimals, 0, 17));
  if (result.ec != std::errc()) return {};
  return std::string(buffer, result.ptr);
}

std::string trimFloat(double value, int decimals) {
  std::string text = fixedDecimals(value, decimals);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  // A tiny negative value rounds to nothing; it is zero, not "-0".
  if (text == "-0") text = "0";
  return text;
}

std::string signedEv(double ev) {
  if (ev == 0) return "0";
  std::string text = fixedDecimals(ev, 1);
  return ev > 0 ? "+" + text : text;
}

std::string pexpTime(double seconds) {
  if (seconds > 0 && seconds < 0.25001) {
    return "1/" + std::to_string(static_cast<int64_t>(std::llround(1 / seconds)));
  }
  return fixedDecimals(seconds, 1);
}

namespace {

std::optional<double> parseDecimal(std::string_view text) {
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  return value;
}

}  // namespace

std::string ratToDecimal(std::string_view text) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos || text.find(' ') != std::string_view::npos) return {};
  const auto numerator = parseDecimal(text.substr(0, slash));
  const auto denominator = parseDecimal(text.substr(slash + 1));
  if (!numerator || !denominator || *denominator == 0) return {};
  return trimFloat(*numerator / *denominator, 6);
}

std::string_view afterColon(std::string_view text) {
  const auto colon = text.find(':');
  return stripSpace(colon == std::string_view::npos ? text : text.substr(colon + 1));
}

int64_t roundedIso(double ev) {
  return static_cast<int64_t>(std::floor(100 * std::exp2(ev) + 0.5));
}

std::string zeroPadded(int64_t value, int width) {
  const uint64_t magnitude =
      value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return value < 0 ? "-" + digits : digits;
}

std::optional<uint32_t> minoltaArr(const TiffTag& tag, std::size_t index) {
  const ByteView data(tag.data);
  const auto position = static_cast<int64_t>(index) * 4;
  if (index > data.size() / 4 || !inBounds(data, position, 4)) return {};
  return base::readU32be(data, position);
}

std::optional<std::string> rawBytesJoined(const TiffTag& tag, std::size_t count,
                                          std::string_view separator) {
  if (tag.data.size() < count) return {};
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out.append(separator);
    out += std::to_string(tag.data[i]);
  }
  return out;
}

}  // namespace orvel::metadata::makernotes
