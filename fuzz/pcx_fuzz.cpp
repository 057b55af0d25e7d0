// Arbitrary bytes through the PCX decoder: it either refuses them with its own failure or
// returns an image whose pixel buffer matches its size and layout.
#include <cstddef>
#include <cstdint>

#include "codec/pcx/pcx.h"
#include "image/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const orvel::image::Image image = orvel::codec::pcx::decodePcx({data, size});
    if (image.width < 1 || image.height < 1 || image.colorspace > orvel::image::csRgba ||
        image.channels != orvel::image::ChannelCount[image.colorspace] ||
        image.pixels.size() != static_cast<size_t>(image.width * image.height * image.channels)) {
      __builtin_trap();
    }
  } catch (const orvel::image::OrvelException&) {
  }
  return 0;
}
