// Helpers shared by the quantisers.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "color/image.h"
#include "palette/palette.h"
#include "palette/quantize.h"

namespace orvel::palette {

// The distinct colours of an image and, per pixel, the index of its colour: the image's own
// index when it carries one, otherwise one built here.
class DistinctIndex {
 public:
  explicit DistinctIndex(const color::ColorImage& image);
  const std::vector<color::Components>& colours() const { return *colours_; }
  const std::vector<uint32_t>& of() const { return *of_; }

 private:
  std::vector<color::Components> ownColours_;
  std::vector<uint32_t> ownOf_;
  const std::vector<color::Components>* colours_;
  const std::vector<uint32_t>* of_;
};

// Pixels ahead whose table slots a scan over the image loads early.
inline constexpr std::size_t kPrefetchDistance = 64;

// Room for packed byte triples, allocated without being written (so only pages written are
// committed) and kept while it is large enough.
struct TripleBuffer {
  std::unique_ptr<uint32_t[]> data;
  std::size_t capacity = 0;
  void reserve(std::size_t n) {
    if (n <= capacity) return;
    data.reset(new uint32_t[n]);
    capacity = n;
  }
};

// The distinct byte triples of an 8-bit Gray, RGB or RGBA image (grey repeated in all three),
// in order of first appearance, and per pixel the index of its triple (written to `of`).
class ByteColours {
 public:
  ByteColours(const image::Image& img, std::vector<uint32_t>& of);
  ~ByteColours();
  ByteColours(const ByteColours&) = delete;
  ByteColours& operator=(const ByteColours&) = delete;

  // 0xRRGGBB, in order of first appearance.
  std::span<const uint32_t> triples() const { return {triples_->data.get(), distinct_}; }

  // Each triple as an sRGB colour (byte / 255) converted into `space` by `to`, in order; the
  // first conversion that fails gives its error.
  std::optional<color::ColorError> convert(color::SpaceTag space,
                                           std::vector<color::Components>& out) const;

 private:
  template <int kChannels>
  void scan(const image::Image& img, uint32_t* of);
  void release();
  // The triple's bits interleaved (R, G, B from the top), so similar colours sit together.
  static uint32_t mortonCode(uint8_t r, uint8_t g, uint8_t b) {
    return kSpread[r] << 2 | kSpread[g] << 1 | kSpread[b];
  }

  static constexpr std::array<uint32_t, 256> kSpread = [] {
    std::array<uint32_t, 256> spread{};
    for (uint32_t v = 0; v < 256; ++v) {
      for (int bit = 0; bit < 8; ++bit) spread[v] |= ((v >> bit) & 1u) << (3 * bit);
    }
    return spread;
  }();
  uint32_t* slots_;                   // by Morton code of the triple
  uint32_t mark_ = 0;                 // the top byte of the slots this scan writes
  bool ownsScratch_ = false;          // tables of its own, or the thread's
  TripleBuffer* triples_;             // the thread's or ownTriples_
  TripleBuffer ownTriples_;
  std::size_t distinct_ = 0;
};

// Wu's quantiser straight from an 8-bit image: the result of computeWu on the image's colour
// image converted into `space`, without building that image.
color::Result<Palette> computeWuFromBytes(const image::Image& img, int64_t n, color::SpaceTag space,
                                          const QuantizeOpts& o);

// "<algorithm>: empty image" (kind 12).
color::ColorError emptyImage(const std::string& algorithm);

// An extracted palette (tag 1, intent 0, the options' seed) of double-precision colours in
// the given space, alpha 1.
color::Result<Palette> extractedPalette(const std::vector<std::array<double, 3>>& colours,
                                        color::SpaceTag space, const QuantizeOpts& opts,
                                        const std::string& noColoursMessage);

}  // namespace orvel::palette
