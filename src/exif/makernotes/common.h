// Helpers shared by every maker-note decoder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvel::exif {

// The first space-separated token of a rendered value as a decimal integer; -1 when it does
// not parse.
int64_t num(std::string_view text);

// The text without surrounding white space (space, tab, CR, LF, VT, FF).
std::string_view strip(std::string_view text);

}  // namespace orvel::exif
