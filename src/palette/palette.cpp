#include "palette/palette.h"

namespace orvel::palette {

color::Result<Palette> palette(std::vector<color::Color> colors, uint8_t tag, uint8_t intent,
                               uint64_t seed, std::map<std::string, int64_t> roles) {
  if (colors.empty()) {
    return color::colorError(color::cekArgument, "palette: empty color set", "palette");
  }
  if (tag == kRolePaletteTag) {
    for (const auto& [name, index] : roles) {
      if (index < 0 || static_cast<uint64_t>(index) >= colors.size()) {
        return color::colorError(color::cekInvalid,
                                 "palette: role '" + name + "' index " + std::to_string(index) +
                                     " out of range for " + std::to_string(colors.size()) +
                                     " colors",
                                 "palette");
      }
    }
  }
  return Palette{std::move(colors), tag, intent, seed, std::move(roles)};
}

}  // namespace orvel::palette
