// Arbitrary bytes through the TIFF decoder: it either refuses them with its own failure or
// returns an image whose pixel buffer matches its size and layout.
#include <cstddef>
#include <cstdint>

#include "codec/tiff/tiff.h"
#include "image/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvel;
  try {
    const image::Image image = codec::tiff::decodeTiff({data, size});
    if (image.width < 1 || image.height < 1 ||
        image.channels != image::ChannelCount[image.colorspace] ||
        image.pixels.size() != static_cast<size_t>(image.width * image.height * image.channels)) {
      __builtin_trap();
    }
  } catch (const image::OrvelException&) {
  }
  return 0;
}
