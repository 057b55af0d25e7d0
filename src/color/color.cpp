#include "color/color.h"

#include <cmath>

namespace orvel::color {

std::string spaceTagText(SpaceTag tag) { return "SpaceTag(" + std::to_string(tag) + ")"; }

Severity defaultSeverity(ColorErrorKind kind) noexcept {
  return kind == cekRegistry || kind == cekRange ? sevWarning : sevError;
}

ColorError colorError(ColorErrorKind kind, std::string message, std::string context) {
  return ColorError{kind, std::move(message), std::move(context), defaultSeverity(kind)};
}

Result<Color> color(SpaceTag space, double c0, double c1, double c2, double alpha) {
  if (space == kNoSpace)
    return colorError(cekUnknownSpace, "color requires a known space", "color");
  if (!(alpha >= 0.0 && alpha <= 1.0)) return colorError(cekRange, "alpha out of [0,1]", "color");
  // Checked after narrowing, so a finite double too large for a float is refused as well.
  const Color out{{static_cast<float>(c0), static_cast<float>(c1), static_cast<float>(c2)},
                  static_cast<float>(alpha),
                  space};
  for (float v : out.c) {
    if (!std::isfinite(v)) return colorError(cekNonFinite, "component NaN/Inf at bounds", "color");
  }
  return out;
}

}  // namespace orvel::color
