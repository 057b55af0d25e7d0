// The record behind a palette handle.
#pragma once

#include "c_api/registry.h"
#include "palette/palette.h"

namespace orvel::capi {

class PaletteRecord : public HandleRecord {
 public:
  static constexpr HandleKind kind = HandleKind::palette;
  palette::Palette palette;
};

}  // namespace orvel::capi
