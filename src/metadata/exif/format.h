// The second rendering stage: a tag's canonical raw text rewritten by the tag's name (units,
// reduced fractions, enumeration texts), plus the number helpers it is made of.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "metadata/record.h"

namespace orvel::metadata::exif {

// raw rewritten by the rule for `name`; raw unchanged when the name has no rule or the rule's
// parse fails. meta is consulted for the GPS reference tags only.
std::string formatTagValue(std::string_view name, std::string_view raw, const Metadata& meta);

// True when `name` has a rule, i.e. formatTagValue may change its raw text.
bool hasFormatRule(std::string_view name) noexcept;

// formatTagValue for names with a rule, stored in `out`; false (out untouched) for the others,
// whose value is the raw text itself. Spares a copy of the raw text on the reading path.
bool formatIfRuled(std::string_view name, std::string_view raw, const Metadata& meta,
                   std::string& out);

// The same by the number of a tag of the EXIF/TIFF table or of the GPS table.
bool formatExifTagIfRuled(uint16_t tag, std::string_view raw, const Metadata& meta,
                          std::string& out);
bool formatGpsTagIfRuled(uint16_t tag, std::string_view raw, const Metadata& meta,
                         std::string& out);

// x with `decimals` decimals (0..32), correctly rounded, then trailing zeros and point removed.
std::string fmtNum(int decimals, double x);

// Seconds as an exposure time: "1/n" below a quarter second, else one decimal at most.
std::string exposureTimeText(double seconds);

// The times of a composite image (an UNDEFINED value): seven rational times, the numbers of
// source and used images, then the time of each source image, as exposure times.
std::string compositeExposureTimes(base::ByteView value, bool bigEndian);

// An APEX shutter speed as an exposure time: "1/n" below a second, else seconds.
std::string fmtShutter(double apex);

// The first space-separated field of raw read as "n" or "n/d"; 0 when it does not parse.
double ratToFloat(std::string_view raw);

// One field read as "n" or "n/d": a part that does not parse counts as numerator 0 or
// denominator 1; a zero denominator gives 0.
double parseRational(std::string_view text);

// Degrees, minutes and seconds ("d m s" rationals) as decimal degrees; one field alone gives
// its value.
double parseGpsRationals(std::string_view raw);

// "d deg m' s\" ref" from three raw rational fields; raw unchanged with fewer.
std::string formatGPSCoord(std::string_view raw, std::string_view ref);

// The whole text as a decimal integer (an optional sign allowed); false when it is not one.
bool parseDecimalInt(std::string_view text, int64_t& out) noexcept;

}  // namespace orvel::metadata::exif
