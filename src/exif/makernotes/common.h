// Helpers shared by every maker-note decoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "exif/tag_map.h"
#include "exif/tiff.h"

namespace orvel::exif {

// The first space-separated token of a rendered value as a decimal integer; -1 when it does
// not parse.
int64_t num(std::string_view text);

// The text without surrounding white space (space, tab, CR, LF, VT, FF).
std::string_view strip(std::string_view text);

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

// Upper-case hexadecimal, zero-padded to at least `width` digits.
std::string toHex(uint64_t value, int width);

// True when the bytes at `position` spell `text` (a signature; it may hold NUL bytes).
bool hasTextAt(ByteView data, int64_t position, std::string_view text);

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

}  // namespace orvel::exif
