// The colour library's image: one colour per pixel, row-major, in one space, and the
// conversion of a whole image into a work space.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "color/color.h"

namespace orvel::color {

using Components = std::array<float, 3>;

struct ColorImage {
  int64_t width = 0;
  int64_t height = 0;
  std::vector<Color> pixels;  // width × height, every one in `space`
  SpaceTag space = kNoSpace;
  int32_t bitDepth = 8;

  // The distinct component triples, when known: pixels[i].c == distinct[distinctOf[i]].
  // toWorkSpace fills them as a by-product; quantisers use them to do per-colour work once.
  std::vector<Components> distinct;
  std::vector<uint32_t> distinctOf;
};

// Checks "image dimensions must be > 0, got <w>x<h>", "pixel count (<n>) must equal
// width*height (<m>)", "image origin space is unknown", "bit depth must be > 0, got <d>"
// (kind 12, context "ColorImage").
Result<ColorImage> makeColorImage(int64_t width, int64_t height, std::vector<Color> pixels,
                                  SpaceTag space, int32_t bitDepth);

// Every pixel converted by `to` (each distinct colour once); an unknown target gives "target
// work space is unknown" (context "toWorkSpace"), a pixel that cannot be converted the error
// of its conversion.
Result<ColorImage> toWorkSpace(const ColorImage& image, SpaceTag target);

// The distinct component triples of the pixels in order of first appearance, and per pixel the
// index of its triple (compared bit for bit).
void buildDistinctIndex(const std::vector<Color>& pixels, std::vector<Components>& distinct,
                        std::vector<uint32_t>& distinctOf);

}  // namespace orvel::color
