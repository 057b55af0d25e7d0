#include "metadata/edit/typed_value.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "container/tiff.h"

namespace orvel::metadata::edit {

using enum container::TiffType;
namespace {

constexpr std::string_view kUserCommentName = "UserComment";
constexpr uint16_t kUserCommentTag = 0x9286;
// The character-code prefix of a UserComment: "ASCII" padded with zeros to eight bytes.
constexpr std::string_view kAsciiCode{"ASCII\0\0\0", 8};

struct Range {
  int64_t low;
  int64_t high;
};

constexpr Range kShortRange{0, 65535};
constexpr Range kLongRange{0, 4294967295};
constexpr Range kSShortRange{-32768, 32767};
constexpr Range kSLongRange{-2147483648LL, 2147483647};

std::vector<std::string_view> tokens(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ' || text[i] == ',') {
      if (i > start) out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal integer with an optional sign; underscores may stand between digits.
int64_t parseInteger(std::string_view token) {
  const std::string invalid = "invalid integer: " + std::string(token);
  std::size_t i = 0;
  const bool negative = !token.empty() && token[0] == '-';
  if (!token.empty() && (token[0] == '-' || token[0] == '+')) i = 1;
  if (i == token.size()) throw ExifValueError(invalid);
  // Accumulated negatively so that the most negative number fits.
  int64_t value = 0;
  bool outOfRange = false;
  for (; i < token.size(); ++i) {
    const char c = token[i];
    if (c == '_') {
      const bool between = i > 0 && isDigit(token[i - 1]) && i + 1 < token.size() &&
                           isDigit(token[i + 1]);
      if (!between) throw ExifValueError(invalid);
      continue;
    }
    if (!isDigit(c)) throw ExifValueError(invalid);
    const int digit = c - '0';
    if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) outOfRange = true;
    if (!outOfRange) value = value * 10 - digit;
  }
  if (outOfRange || (!negative && value == std::numeric_limits<int64_t>::min())) {
    throw ExifValueError("Parsed integer outside of valid range");
  }
  return negative ? value : -value;
}

Range integerRange(uint8_t type) {
  switch (type) {
    case ttShort: return kShortRange;
    case ttLong: return kLongRange;
    case ttSShort: return kSShortRange;
    default: return kSLongRange;
  }
}

bool within(int64_t value, Range range) { return value >= range.low && value <= range.high; }

ExifValue parseIntegers(uint8_t type, std::string_view text) {
  ExifValue value;
  value.kind = type;
  const Range range = integerRange(type);
  for (std::string_view token : tokens(text)) {
    const int64_t number = parseInteger(token);
    if (!within(number, range)) throw ExifValueError("EXIF integer out of range");
    value.ints.push_back(number);
  }
  return value;
}

ExifValue parseRationals(uint8_t type, std::string_view text) {
  ExifValue value;
  value.kind = type;
  const Range range = type == ttRational ? kLongRange : kSLongRange;
  for (std::string_view token : tokens(text)) {
    const std::size_t slash = token.find('/');
    int64_t numerator = 0;
    int64_t denominator = 1;
    if (slash != std::string_view::npos && slash >= 1) {
      numerator = parseInteger(token.substr(0, slash));
      denominator = parseInteger(token.substr(slash + 1));
    } else {
      numerator = parseInteger(token);
    }
    if (!within(numerator, range) || !within(denominator, range)) {
      throw ExifValueError("EXIF rational out of range");
    }
    value.rationals.emplace_back(numerator, denominator);
  }
  return value;
}

// Numbers become one byte each (low 8 bits); text that is not all numbers is kept as bytes.
ExifValue parseBytes(uint8_t type, std::string_view text) {
  ExifValue value;
  value.kind = type;
  const std::vector<std::string_view> parts = tokens(text);
  try {
    for (std::string_view token : parts) {
      value.bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(parseInteger(token))));
    }
    if (!parts.empty()) return value;
  } catch (const ExifValueError&) {
  }
  value.bytes.assign(text.begin(), text.end());
  return value;
}

}  // namespace

const EditableTag* findEditableTag(std::string_view name) noexcept {
  for (const EditableTag& entry : editableTags) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

ExifValue parseTyped(uint8_t type, std::string_view text) {
  switch (type) {
    case ttShort:
    case ttLong:
    case ttSShort:
    case ttSLong: return parseIntegers(type, text);
    case ttRational:
    case ttSRational: return parseRationals(type, text);
    case ttByte:
    case ttSByte:
    case ttUndefined: return parseBytes(type, text);
    default: {
      ExifValue value;
      value.kind = type;
      value.text.assign(text);
      return value;
    }
  }
}

bool setTagByName(ExifEdit& edit, std::string_view name, std::string_view text) {
  const EditableTag* entry = findEditableTag(name);
  if (entry == nullptr) return false;
  if (name == kUserCommentName) {
    ExifValue comment;
    comment.kind = ttUndefined;
    comment.bytes.resize(kAsciiCode.size() + text.size());
    std::copy(kAsciiCode.begin(), kAsciiCode.end(), comment.bytes.begin());
    std::copy(text.begin(), text.end(), comment.bytes.begin() + kAsciiCode.size());
    edit.exif.set(kUserCommentTag, std::move(comment));
    return true;
  }
  try {
    setTag(edit, entry->directory, entry->tag, parseTyped(entry->type, text));
  } catch (const ExifValueError&) {
    return false;
  }
  return true;
}

}  // namespace orvel::metadata::edit
