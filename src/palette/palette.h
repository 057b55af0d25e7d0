// The palette record: a few colours in one space, with the kind, intent and seed of the
// extraction that made it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "color/color.h"

namespace orvel::palette {

inline constexpr uint8_t kExtractedPaletteTag = 1;
inline constexpr uint8_t kRolePaletteTag = 6;  // a palette whose roles must name its colours

struct Palette {
  std::vector<color::Color> colors;  // in the work space of the extraction
  uint8_t tag = kExtractedPaletteTag;
  uint8_t intent = 0;
  uint64_t seed = 0;
  std::map<std::string, int64_t> roles;  // role name → colour index; extraction adds none
};

// "palette: empty color set" (kind 10); for kind 6 only, a role outside the colours gives
// "palette: role '<name>' index <i> out of range for <n> colors" (kind 0).
color::Result<Palette> palette(std::vector<color::Color> colors, uint8_t tag, uint8_t intent,
                               uint64_t seed, std::map<std::string, int64_t> roles = {});

}  // namespace orvel::palette
