// Arbitrary bytes through the WebP decoder: it either refuses them with its own failure or
// returns an image whose pixel buffer matches its size and layout.
// A payload starting with the VP8L signature goes straight to the bitstream decoder, so that the
// fuzzer spends its time on prefix codes, transforms and back-references.
#include <cstddef>
#include <cstdint>

#include "codec/webp/webp.h"
#include "image/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvel;
  try {
    const image::Image image = size > 0 && data[0] == 0x2F
                                   ? codec::webp::decodeVp8lStream({data, size})
                                   : codec::webp::decodeWebp({data, size});
    if (image.width < 1 || image.height < 1 ||
        image.channels != image::ChannelCount[image.colorspace] ||
        image.pixels.size() != static_cast<size_t>(image.width * image.height * image.channels)) {
      __builtin_trap();
    }
  } catch (const image::OrvelException&) {
  }
  return 0;
}
