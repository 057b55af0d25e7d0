#include "palette/common.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

#include "color/convert.h"

namespace orvel::palette {
namespace {

// A slot for every byte triple: 64 MiB of address space whose pages are committed only where
// colours occur. Each thread keeps its table between extractions, and the list of triples
// found, so a program that extracts many palettes does not fault the same pages in again. A
// slot holds the index of its triple under the mark of the extraction that wrote it (the top
// byte), so nothing needs clearing after use; after 255 marks the table starts afresh.
struct Scratch {
  uint32_t* slots = nullptr;
  uint32_t mark = 0;
  TripleBuffer triples;
  bool busy = false;
  ~Scratch() { std::free(slots); }
};

constexpr uint32_t kIndexBits = 24;
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;

uint32_t* newSlots() {
  auto* slots = static_cast<uint32_t*>(std::calloc(std::size_t{1} << 24, sizeof(uint32_t)));
  if (slots == nullptr) throw std::bad_alloc();
  return slots;
}

thread_local Scratch threadScratch;

uint32_t packed(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

}  // namespace

ByteColours::ByteColours(const image::Image& img, std::vector<uint32_t>& of) {
  if (!threadScratch.busy) {
    Scratch& scratch = threadScratch;
    if (scratch.slots == nullptr || scratch.mark == 255) {
      uint32_t* fresh = newSlots();
      std::free(scratch.slots);
      scratch.slots = fresh;
      scratch.mark = 0;
    }
    scratch.mark += 1;
    scratch.busy = true;
    slots_ = scratch.slots;
    mark_ = scratch.mark << kIndexBits;
    triples_ = &scratch.triples;
  } else {
    slots_ = newSlots();
    mark_ = 1u << kIndexBits;
    ownsScratch_ = true;
    triples_ = &ownTriples_;
  }
  try {
    of.resize(static_cast<std::size_t>(img.width * img.height));
    if (img.channels == 1) {
      scan<1>(img, of.data());
    } else if (img.channels == 3) {
      scan<3>(img, of.data());
    } else {
      scan<4>(img, of.data());
    }
  } catch (...) {
    release();
    throw;
  }
}

ByteColours::~ByteColours() { release(); }

void ByteColours::release() {
  if (ownsScratch_) {
    std::free(slots_);
  } else {
    threadScratch.busy = false;
  }
}

// A slot is written only for a triple new to this scan, so a run of one colour does not wait
// on the store of the pixel before it.
template <int kChannels>
void ByteColours::scan(const image::Image& img, uint32_t* of) {
  constexpr int kG = kChannels >= 3 ? 1 : 0;
  constexpr int kB = kChannels >= 3 ? 2 : 0;
  const std::size_t count = static_cast<std::size_t>(img.width * img.height);
  triples_->reserve(std::min(count, std::size_t{1} << 24));
  uint32_t* triples = triples_->data.get();
  const uint8_t* p = img.pixels.data();
  const std::size_t ahead = kPrefetchDistance * kChannels;
  const uint32_t mark = mark_;
  uint32_t distinct = 0;
  for (std::size_t i = 0; i < count; ++i, p += kChannels) {
    if (i + kPrefetchDistance < count) {
      __builtin_prefetch(slots_ + mortonCode(p[ahead], p[ahead + kG], p[ahead + kB]));
    }
    uint32_t& slot = slots_[mortonCode(p[0], p[kG], p[kB])];
    if ((slot & ~kIndexMask) == mark) {
      of[i] = slot & kIndexMask;
      continue;
    }
    triples[distinct] = packed(p[0], p[kG], p[kB]);
    slot = mark | distinct;
    of[i] = distinct++;
  }
  distinct_ = distinct;
}

std::optional<color::ColorError> ByteColours::convert(color::SpaceTag space,
                                                      std::vector<color::Components>& out) const {
  const std::span<const uint32_t> triples = this->triples();
  out.resize(triples.size());
  if (space == color::tagOklab && color::oklabOfSrgbBytes(triples.data(), triples.size(),
                                                          out.data())) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < triples.size(); ++i) {
    const uint32_t t = triples[i];
    const color::Color source{{static_cast<float>(t >> 16) / 255.0f,
                               static_cast<float>(t >> 8 & 255) / 255.0f,
                               static_cast<float>(t & 255) / 255.0f},
                              1.0f,
                              color::tagSrgb};
    color::Result<color::Color> converted = color::to(source, space);
    if (!converted.ok()) return std::move(converted).error();
    out[i] = converted.value().c;
  }
  return std::nullopt;
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
