// Photo-like pictures for the image benchmarks: smooth light and colour with sensor noise, and
// for RGBA a soft vignette as alpha.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "image/image.h"

namespace orvel::bench {

using image::Image;

// Smooth gradients and shading with noise of about 2.5 levels, as a camera delivers; alpha is a
// soft vignette.
inline Image photo(int64_t width, int64_t height, uint8_t colorspace) {
  Image image = orvel::image::newImage(width, height, colorspace);
  uint32_t state = 2463534242u;
  auto noise = [&state] {
    int sum = 0;
    for (int i = 0; i < 3; ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      sum += static_cast<int>(state % 5);
    }
    return sum - 6;
  };
  uint8_t* out = image.pixels.data();
  for (int64_t y = 0; y < height; ++y) {
    for (int64_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      const double light = 0.6 + 0.4 * std::sin(3 * u + 2 * v);
      const double base[3] = {light * (140 + 90 * std::sin(6 * u + 2 * v)),
                              light * (120 + 80 * std::cos(5 * v - 3 * u)),
                              light * (110 + 70 * std::sin(4 * (u + v)))};
      for (int c = 0; c < 3; ++c) {
        *out++ = static_cast<uint8_t>(std::clamp(base[c] + noise(), 0.0, 255.0));
      }
      if (colorspace == orvel::image::csRgba) {
        const double r = std::hypot(u - 0.5, v - 0.5);
        *out++ = static_cast<uint8_t>(std::clamp(255 * (1.4 - 2 * r), 0.0, 255.0));
      }
    }
  }
  return image;
}

}  // namespace orvel::bench
