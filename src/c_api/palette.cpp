// The palette functions: extract a palette from an image handle, then read its colours.
#include <memory>
#include <string>

#include "c_api/handles.h"
#include "c_api/image_record.h"
#include "c_api/palette_record.h"
#include "image/error.h"
#include "orvel.h"
#include "palette/quantize.h"

using namespace orvel::capi;
namespace color = orvel::color;
namespace palette = orvel::palette;

namespace {

palette::QuantizeOpts optionsFrom(const ov_quantize_opts* opts) {
  palette::QuantizeOpts o = palette::defaultQuantizeOpts();
  if (opts == nullptr) return o;
  o.seed = static_cast<uint64_t>(opts->seed);
  o.maxIterations = opts->max_iterations;
  o.weighted = opts->weighted != 0;
  o.parallel = opts->parallel != 0;
  o.threads = opts->threads;
  return o;
}

// Colour errors of kinds 1 and 6 report "unsupported operation", all others a bad argument.
[[noreturn]] void raise(const color::ColorError& error) {
  const bool unsupported =
      error.kind == color::cekUnsupported || error.kind == color::cekUnknownAlgorithm;
  throw orvel::image::OrvelException(
      unsupported ? orvel::image::iekUnsupported : orvel::image::iekInvalid, error.message);
}

}  // namespace

extern "C" {

ORVEL_API ov_status ov_image_extract_palette(const ov_image* image, int32_t n,
                                             const char* algorithm, uint32_t workSpace,
                                             const ov_quantize_opts* opts,
                                             ov_palette** out) noexcept {
  if (out == nullptr) return kBadArgument;
  *out = nullptr;
  if (image == nullptr) return kBadArgument;
  CallRef<ImageRecord> source = useRecord<ImageRecord>(image);
  if (!source || n <= 0) return kBadArgument;
  return createHandle<PaletteRecord>(Family::image, out, true, [&] {
    // Tags above 255 name no space; tag 0 is never registered.
    color::SpaceTag space = color::tagOklab;
    if (workSpace > 0xFF) {
      space = color::kNoSpace;
    } else if (workSpace != 0) {
      space = static_cast<color::SpaceTag>(workSpace);
    }
    color::Result<palette::Palette> result = palette::extractPalette(
        source->image, n, algorithm == nullptr ? "wu" : algorithm, space, optionsFrom(opts));
    if (!result.ok()) raise(result.error());
    auto record = std::make_unique<PaletteRecord>();
    record->palette = std::move(result).value();
    return record;
  });
}

ORVEL_API int64_t ov_palette_len(const ov_palette* handle) noexcept {
  return withHandle<PaletteRecord>(handle, int64_t{0}, [](PaletteRecord& p) {
    return static_cast<int64_t>(p.palette.colors.size());
  });
}

ORVEL_API ov_status ov_palette_color_at(const ov_palette* handle, int64_t index,
                                        ov_color* out) noexcept {
  if (out == nullptr || index < 0) return kBadArgument;
  return withHandleStatus<PaletteRecord>(Family::image, handle, [&](PaletteRecord& p) {
    if (static_cast<uint64_t>(index) >= p.palette.colors.size()) return kBadArgument;
    const color::Color& c = p.palette.colors[static_cast<std::size_t>(index)];
    *out = toOvColor(c.c[0], c.c[1], c.c[2], c.alpha, c.space);
    return kOk;
  });
}

ORVEL_API uint8_t ov_palette_tag(const ov_palette* handle) noexcept {
  return withHandle<PaletteRecord>(handle, uint8_t{0},
                                   [](PaletteRecord& p) { return p.palette.tag; });
}

ORVEL_API uint8_t ov_palette_intent(const ov_palette* handle) noexcept {
  return withHandle<PaletteRecord>(handle, uint8_t{0},
                                   [](PaletteRecord& p) { return p.palette.intent; });
}

ORVEL_API uint64_t ov_palette_seed(const ov_palette* handle) noexcept {
  return withHandle<PaletteRecord>(handle, uint64_t{0},
                                   [](PaletteRecord& p) { return p.palette.seed; });
}

ORVEL_API void ov_palette_free(ov_palette* handle) noexcept { freeHandle<PaletteRecord>(handle); }

ORVEL_API ov_color toOvColor(float c0, float c1, float c2, float alpha, uint32_t space) noexcept {
  ov_color out;
  out.c0 = c0;
  out.c1 = c1;
  out.c2 = c2;
  out.alpha = alpha;
  out.space = space;
  return out;
}

ORVEL_API ov_palette* paletteOf(ov_palette* handle) noexcept {
  PaletteRecord* record = retainHandle<PaletteRecord>(handle);
  return record == nullptr ? nullptr : handleOf<ov_palette>(record);
}

}  // extern "C"
