// Arbitrary bytes through the PNG decoder (chunk CRCs are patched so that the inflater and the
// filters see the fuzzer's bytes): it refuses them with its own failure, or returns an image
// that our encoder writes and decodes back unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "checksum/crc32.h"
#include "codec/png/png.h"
#include "container/png.h"
#include "image/error.h"

namespace {

// Rewrites every whole chunk's CRC to match its type and data.
void patchCrcs(std::vector<uint8_t>& png) {
  orvel::container::PngChunkWalk walk(png, orvel::container::PngWalkStop::atShortChunk);
  while (const auto chunk = walk.next()) {
    const std::span<const uint8_t> typeAndData(png.data() + chunk->start + 4, 4 + size_t{chunk->length});
    orvel::base::putU32(png, chunk->dataEnd(), orvel::checksum::crc32(typeAndData), true);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> png(data, data + size);
  if (size > 0 && (data[0] & 1)) patchCrcs(png);
  try {
    const orvel::image::Image image = orvel::codec::png::decodePng(png);
    if (image.pixels.size() != static_cast<size_t>(image.width * image.height * image.channels)) {
      __builtin_trap();
    }
    const orvel::image::Image back = orvel::codec::png::decodePng(orvel::codec::png::encodePng(image));
    if (!(back.pixels == image.pixels) || back.colorspace != image.colorspace) __builtin_trap();
  } catch (const orvel::image::OrvelException&) {
  }
  return 0;
}
