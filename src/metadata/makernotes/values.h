// Value rendering shared by the Pentax, Olympus, Casio, Minolta and Sigma decoders: code tables,
// bit masks, exposure arithmetic and small number formats.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "metadata/makernotes/common.h"
#include "metadata/tag_map.h"
#include "container/tiff.h"

namespace orvel::metadata::makernotes {

// One row of a table keyed by text. Tables are constexpr arrays sorted by key.
struct TextName {
  std::string_view key;
  std::string_view text;
};

// One row of a bit mask: the bit number and the text shown when it is set.
struct BitName {
  uint8_t bit;
  std::string_view text;
};

template <std::size_t N>
constexpr bool isSortedTable(const std::array<TextName, N>& rows) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(rows[i - 1].key < rows[i].key)) return false;
  }
  return true;
}

// The text for a key; empty when the table has no such row.
std::string_view lookupText(std::span<const TextName> table, std::string_view key);

// Stores "Prefix:Field" tags into a map, applying the rule that an empty value or a code
// missing from its table adds nothing.
class VendorTags {
 public:
  VendorTags(TagMap& out, std::string_view prefix) : out_(out), prefix_(prefix) {}

  void set(std::string_view field, std::string value);
  void setNonEmpty(std::string_view field, std::string_view value);
  void setCoded(std::string_view field, std::span<const CodeText> table, int64_t code);

 private:
  TagMap& out_;
  std::string_view prefix_;
};

// 0 gives the default text; otherwise the texts of the set bits in row order joined with
// ", ", or the empty string when no row's bit is set.
std::string bitmaskStr(uint32_t value, std::string_view defaultText, std::span<const BitName> rows);

// A Pentax exposure code in eighths of a stop, with thirds folded into the odd codes.
double pentaxEv(int64_t code);

// "0", or the value with one decimal and a "+" in front when positive.
std::string signedEv(double ev);

// Exposure times up to a quarter second as "1/N", longer ones with one decimal.
std::string pexpTime(double seconds);

// The value with the given number of decimals, then trailing zeros and a bare point removed.
std::string trimFloat(double value, int decimals);

// The value with exactly the given number of decimals.
std::string fixedDecimals(double value, int decimals);

// "a/b" (no spaces, b not zero) as a decimal of up to 6 places; anything else gives "".
std::string ratToDecimal(std::string_view text);

// The stripped part after the first ":", or the whole stripped text without one.
std::string_view afterColon(std::string_view text);

// round(100 × 2^ev), halves rounded up.
int64_t roundedIso(double ev);

// Decimal digits, left-padded with "0" to at least width characters.
std::string zeroPadded(int64_t value, int width);

// Element i of a Minolta camera-settings entry as an unsigned 32-bit number; none when the
// raw bytes stop short of it. These blocks are big-endian whatever the note's byte order.
std::optional<uint32_t> minoltaArr(const TiffTag& tag, std::size_t index);

// The first count raw bytes of an entry in decimal joined by separator; none when fewer exist.
std::optional<std::string> rawBytesJoined(const TiffTag& tag, std::size_t count,
                                          std::string_view separator);

}  // namespace orvel::metadata::makernotes
