#include "color/image.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "color/convert.h"
#include "color/spaces.h"

namespace orvel::color {
namespace {

// Open-addressing table from a component triple (by its bits) to the index of its first
// occurrence in a list of distinct triples.
class DistinctTable {
 public:
  explicit DistinctTable(std::size_t expected) {
    std::size_t capacity = 1024;
    while (capacity < expected * 2 && capacity < (std::size_t{1} << 26)) capacity *= 2;
    resize(capacity);
  }

  // The index of the triple, and whether it was new (then `next` is its index).
  std::pair<uint32_t, bool> find(const Components& c, uint32_t next) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    const Key key = keyOf(c);
    std::size_t at = hashOf(key) & mask_;
    while (true) {
      Slot& slot = slots_[at];
      if (slot.index == kEmpty) {
        slot.key = key;
        slot.index = next;
        ++used_;
        return {next, true};
      }
      if (slot.key == key) return {slot.index, false};
      at = (at + 1) & mask_;
    }
  }

 private:
  using Key = std::array<uint32_t, 3>;
  struct Slot {
    Key key{};
    uint32_t index = kEmpty;
  };
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

  static Key keyOf(const Components& c) {
    return {std::bit_cast<uint32_t>(c[0]), std::bit_cast<uint32_t>(c[1]),
            std::bit_cast<uint32_t>(c[2])};
  }
  static std::size_t hashOf(const Key& k) {
    uint64_t h = (uint64_t{k[0]} << 32 | k[1]) * 0x9E3779B97F4A7C15ull;
    h ^= (h >> 29) + uint64_t{k[2]} * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return static_cast<std::size_t>(h);
  }
  void resize(std::size_t capacity) {
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    used_ = 0;
  }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    resize(old.size() * 2);
    for (const Slot& s : old) {
      if (s.index == kEmpty) continue;
      std::size_t at = hashOf(s.key) & mask_;
      while (slots_[at].index != kEmpty) at = (at + 1) & mask_;
      slots_[at] = s;
      ++used_;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

ColorError imageError(std::string message) {
  return colorError(cekImage, std::move(message), "ColorImage");
}

}  // namespace

Result<ColorImage> makeColorImage(int64_t width, int64_t height, std::vector<Color> pixels,
                                  SpaceTag space, int32_t bitDepth) {
  if (width <= 0 || height <= 0) {
    return imageError("image dimensions must be > 0, got " + std::to_string(width) + "x" +
                      std::to_string(height));
  }
  int64_t count = 0;
  if (__builtin_mul_overflow(width, height, &count) ||
      static_cast<uint64_t>(count) != pixels.size()) {
    return imageError("pixel count (" + std::to_string(pixels.size()) +
                      ") must equal width*height (" +
                      (count > 0 ? std::to_string(count) : std::string("overflow")) + ")");
  }
  if (spaceByTag(space) == nullptr) return imageError("image origin space is unknown");
  if (bitDepth <= 0) return imageError("bit depth must be > 0, got " + std::to_string(bitDepth));
  ColorImage image;
  image.width = width;
  image.height = height;
  image.pixels = std::move(pixels);
  image.space = space;
  image.bitDepth = bitDepth;
  return image;
}

void buildDistinctIndex(const std::vector<Color>& pixels, std::vector<Components>& distinct,
                        std::vector<uint32_t>& distinctOf) {
  distinct.clear();
  DistinctTable table(std::min<std::size_t>(pixels.size(), 1 << 20));
  distinctOf.resize(pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const Components& c = pixels[i].c;
    const auto [index, fresh] = table.find(c, static_cast<uint32_t>(distinct.size()));
    if (fresh) distinct.push_back(c);
    distinctOf[i] = index;
  }
}

Result<ColorImage> toWorkSpace(const ColorImage& image, SpaceTag target) {
  if (spaceByTag(target) == nullptr) {
    return colorError(cekUnknownSpace, "target work space is unknown", "toWorkSpace");
  }
  ColorImage out;
  out.width = image.width;
  out.height = image.height;
  out.space = target;
  out.bitDepth = image.bitDepth;
  out.pixels.resize(image.pixels.size());
  out.distinctOf.resize(image.pixels.size());
  DistinctTable table(std::min<std::size_t>(image.pixels.size(), 1 << 20));
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const Color& source = image.pixels[i];
    const auto [index, fresh] = table.find(source.c, static_cast<uint32_t>(out.distinct.size()));
    if (fresh) {
      Result<Color> converted = to(source, target);
      if (!converted.ok()) return std::move(converted).error();
      out.distinct.push_back(converted.value().c);
    }
    out.pixels[i] = Color{out.distinct[index], source.alpha, target};
    out.distinctOf[i] = index;
  }
  return out;
}

}  // namespace orvel::color
