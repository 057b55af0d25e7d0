#include "palette/common.h"

#include <array>
#include <cstdlib>
#include <new>

#include "color/convert.h"

namespace orvel::palette {
namespace {

// A slot for every byte triple: 64 MiB of address space whose pages are committed only where
// colours occur. Each thread keeps its table between extractions (cleared slot by slot after
// use), so a program that extracts many palettes does not fault the same pages in again.
struct SlotTable {
  uint32_t* slots = nullptr;
  bool busy = false;
  ~SlotTable() { std::free(slots); }
};

uint32_t* newSlots() {
  auto* slots = static_cast<uint32_t*>(std::calloc(std::size_t{1} << 24, sizeof(uint32_t)));
  if (slots == nullptr) throw std::bad_alloc();
  return slots;
}

thread_local SlotTable threadSlots;

}  // namespace

ByteColours::ByteColours() {
  if (!threadSlots.busy) {
    if (threadSlots.slots == nullptr) threadSlots.slots = newSlots();
    threadSlots.busy = true;
    slots_ = threadSlots.slots;
  } else {
    slots_ = newSlots();
    ownsSlots_ = true;
  }
}

ByteColours::~ByteColours() {
  if (slots_ == nullptr) return;
  if (ownsSlots_) {
    std::free(slots_);
    return;
  }
  for (uint32_t code : codes_) slots_[code] = 0;
  threadSlots.busy = false;
}

ByteColours::ByteColours(ByteColours&& other) noexcept
    : colours(std::move(other.colours)),
      slots_(other.slots_),
      ownsSlots_(other.ownsSlots_),
      codes_(std::move(other.codes_)) {
  other.slots_ = nullptr;
}

bool ByteColours::seen(uint8_t r, uint8_t g, uint8_t b) const {
  return slots_[mortonCode(r, g, b)] != 0;
}

void ByteColours::add(uint8_t r, uint8_t g, uint8_t b, const color::Components& converted) {
  const uint32_t code = mortonCode(r, g, b);
  codes_.push_back(code);
  colours.push_back(converted);
  slots_[code] = static_cast<uint32_t>(colours.size());
}

std::vector<uint32_t> ByteColours::pixelIndices(const image::Image& img) const {
  const std::size_t count = static_cast<std::size_t>(img.width * img.height);
  const int channels = static_cast<int>(img.channels);
  std::vector<uint32_t> of(count);
  const uint8_t* p = img.pixels.data();
  for (std::size_t i = 0; i < count; ++i, p += channels) {
    of[i] = channels >= 3 ? indexOf(p[0], p[1], p[2]) : indexOf(p[0], p[0], p[0]);
  }
  return of;
}

color::Result<ByteColours> distinctByteColours(const image::Image& img, color::SpaceTag space) {
  std::array<float, 256> level{};
  for (int k = 0; k < 256; ++k) level[k] = static_cast<float>(k) / 255.0f;
  ByteColours out;
  const std::size_t count = static_cast<std::size_t>(img.width * img.height);
  const uint8_t* p = img.pixels.data();
  const int channels = static_cast<int>(img.channels);
  const std::size_t ahead = kPrefetchDistance * static_cast<std::size_t>(channels);
  for (std::size_t i = 0; i < count; ++i, p += channels) {
    if (i + kPrefetchDistance < count) {
      out.prefetch(p[ahead], channels >= 3 ? p[ahead + 1] : p[ahead],
                   channels >= 3 ? p[ahead + 2] : p[ahead]);
    }
    const uint8_t r = p[0];
    const uint8_t g = channels >= 3 ? p[1] : r;
    const uint8_t b = channels >= 3 ? p[2] : r;
    if (out.seen(r, g, b)) continue;
    const color::Color source{{level[r], level[g], level[b]}, 1.0f, color::tagSrgb};
    color::Result<color::Color> converted = color::to(source, space);
    if (!converted.ok()) return std::move(converted).error();
    out.add(r, g, b, converted.value().c);
  }
  return out;
}

DistinctIndex::DistinctIndex(const color::ColorImage& image) {
  if (!image.distinctOf.empty() || image.pixels.empty()) {
    colours_ = &image.distinct;
    of_ = &image.distinctOf;
    return;
  }
  color::buildDistinctIndex(image.pixels, ownColours_, ownOf_);
  colours_ = &ownColours_;
  of_ = &ownOf_;
}

color::ColorError emptyImage(const std::string& algorithm) {
  return color::colorError(color::cekImage, algorithm + ": empty image", algorithm);
}

color::Result<Palette> extractedPalette(const std::vector<std::array<double, 3>>& colours,
                                        color::SpaceTag space, const QuantizeOpts& opts,
                                        const std::string& noColoursMessage) {
  if (colours.empty()) return color::colorError(color::cekImage, noColoursMessage, "palette");
  std::vector<color::Color> out;
  out.reserve(colours.size());
  for (const auto& c : colours) {
    out.push_back(
        color::Color{{static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])},
                     1.0f,
                     space});
  }
  return palette(std::move(out), kExtractedPaletteTag, 0, opts.seed);
}

}  // namespace orvel::palette
