// Helpers shared by every maker-note decoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/text.h"
#include "container/tiff.h"
#include "metadata/tag_map.h"

namespace orvel::metadata::makernotes {

// Every decoder reads its note through the byte view and the TIFF reader.
using base::byteAt;
using base::ByteView;
using base::hasBytesAt;
using base::inBounds;
using base::readUint16;
using base::readUint32;
using base::stripSpace;
using base::toHex;
using container::Ifd;
using container::readIFD;
using container::TiffTag;
using container::toString;
using container::typeSize;
using enum container::TiffType;

// The first space-separated token of a rendered value as a decimal integer; -1 when it does
// not parse.
int64_t num(std::string_view text);

// Every space-separated piece of the form a/b becomes a ÷ b with at most `decimals` digits
// after the point (trailing zeros dropped; 0 for a zero denominator); other pieces pass
// through. "1/3 5/2 7" with 4 decimals gives "0.3333 2.5 7".
std::string toDecimals(std::string_view text, int decimals);

// Apple capture kinds and lenses by their rendered code; unknown codes keep their text.
std::string getImageCaptureType(std::string_view text);
std::string getAppleCameraType(std::string_view text);

// Element `index` of an entry's value bytes as a signed 16-bit number in the entry's byte
// order; absent when the bytes stop short of it.
std::optional<int16_t> canonArr(const TiffTag& tag, std::size_t index);

// A Panasonic serial such as F541005180345 as "(F54) 2010:05:18 no. 0345"; empty when the
// text is too short or its date digits are not digits.
std::string panaSerial(std::string_view text);

// Hundredths of a second as hours:minutes:seconds.hundredths; empty for a negative time.
std::string panaPowerTime(int64_t hundredths);

// One row of a value table: a field's code and its display text.
struct CodeText {
  int64_t code;
  std::string_view text;
};

// Tables are searched by halving, so they must be sorted by code without repeats.
template <std::size_t N>
constexpr bool isSortedTable(const std::array<CodeText, N>& table) {
  for (std::size_t i = 1; i < N; ++i) {
    if (table[i - 1].code >= table[i].code) return false;
  }
  return true;
}

std::optional<std::string_view> lookupCode(std::span<const CodeText> table, int64_t code);

// Stores the table text for `code` under `name`; a code missing from the table stores nothing.
void setFromTable(TagMap& out, std::string name, std::span<const CodeText> table, int64_t code);

// Stores the stripped text under `name` unless it is empty.
void setStripped(TagMap& out, std::string name, std::string_view text);

}  // namespace orvel::metadata::makernotes
