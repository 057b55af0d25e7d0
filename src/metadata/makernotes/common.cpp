#include "metadata/makernotes/common.h"

#include <algorithm>
#include <charconv>

namespace orvel::metadata::makernotes {
namespace {

// A decimal floating-point number filling the whole text (a leading "+" allowed).
std::optional<double> parseDouble(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  return value;
}

// x with exactly `decimals` digits after the point (correctly rounded), then trailing zeros and
// a bare point dropped. A negative value that rounds to zero reads "0", not "-0".
std::string fixedTrimmed(double x, int decimals) {
  char buffer[400];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed,
                                    std::clamp(decimals, 0, 32));
  if (error != std::errc()) return "0";  // beyond any quotient of 32-bit parts
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  if (text.find('.') != std::string_view::npos) {
    text = text.substr(0, text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.remove_suffix(1);
  }
  return text == "-0" ? "0" : std::string(text);
}

std::string quotientText(std::string_view piece, std::size_t slash, int decimals) {
  const double numerator = parseDouble(stripSpace(piece.substr(0, slash))).value_or(0.0);
  const double denominator = parseDouble(stripSpace(piece.substr(slash + 1))).value_or(1.0);
  if (denominator == 0) return "0";
  return fixedTrimmed(numerator / denominator, decimals);
}

void appendPadded(std::string& out, int64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int64_t num(std::string_view text) {
  std::string_view token = stripSpace(text);
  token = token.substr(0, token.find(' '));
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (error != std::errc() || end != token.data() + token.size() || token.empty()) return -1;
  return value;
}

std::string toDecimals(std::string_view text, int decimals) {
  std::string out;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view piece = stripSpace(text.substr(0, space));
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
    if (piece.empty()) continue;
    if (!out.empty()) out.push_back(' ');
    const std::size_t slash = piece.find('/');
    if (slash == std::string_view::npos) {
      out += piece;
    } else {
      out += quotientText(piece, slash, decimals);
    }
  }
  return out;
}

std::string getImageCaptureType(std::string_view text) {
  if (text == "1") return "ProRAW";
  if (text == "2") return "Portrait";
  if (text == "10") return "Photo";
  if (text == "12") return "Scene";
  return std::string(text);
}

std::string getAppleCameraType(std::string_view text) {
  if (text == "0") return "Back Wide Angle";
  if (text == "1") return "Back Normal";
  if (text == "6") return "Front";
  return std::string(text);
}

std::optional<int16_t> canonArr(const TiffTag& tag, std::size_t index) {
  if (index >= tag.data.size() / 2) return {};
  const auto at = static_cast<int64_t>(index) * 2;
  return static_cast<int16_t>(readUint16(ByteView(tag.data), at, tag.bigEndian));
}

std::string panaSerial(std::string_view s) {
  if (s.size() < 13) return {};
  // Positions 3 to 8 are the date (year, month, day): all of them must be digits, or the
  // rendering would show a date that is not one.
  for (std::size_t i = 2; i <= 8; ++i) {
    if (!isDigit(s[i])) return {};
  }
  std::string out = "(";
  out += s.substr(0, 3);
  out += ") 20";
  out += s.substr(3, 2);
  out += ':';
  out += s.substr(5, 2);
  out += ':';
  out += s.substr(7, 2);
  out += " no. ";
  out += s.substr(9);
  return out;
}

std::string panaPowerTime(int64_t hundredths) {
  if (hundredths < 0) return {};
  std::string out;
  appendPadded(out, hundredths / 360000, 2);
  out += ':';
  appendPadded(out, hundredths / 6000 % 60, 2);
  out += ':';
  appendPadded(out, hundredths / 100 % 60, 2);
  out += '.';
  appendPadded(out, hundredths % 100, 2);
  return out;
}

std::optional<std::string_view> lookupCode(std::span<const CodeText> table, int64_t code) {
  auto found = std::lower_bound(table.begin(), table.end(), code,
                                [](const CodeText& row, int64_t key) { return row.code < key; });
  if (found == table.end() || found->code != code) return {};
  return found->text;
}

void setFromTable(TagMap& out, std::string name, std::span<const CodeText> table, int64_t code) {
  if (auto text = lookupCode(table, code)) out.set(std::move(name), std::string(*text));
}

void setStripped(TagMap& out, std::string name, std::string_view text) {
  const std::string_view stripped = stripSpace(text);
  if (!stripped.empty()) out.set(std::move(name), std::string(stripped));
}

}  // namespace orvel::metadata::makernotes
