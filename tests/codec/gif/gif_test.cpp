#include "codec/gif/gif.h"

#include <gtest/gtest.h>

#include "codec/raster_reference.h"

namespace orvel::codec::gif {
namespace {

// Palettes global and local, interlaced, transparent, animated (first frame only), placed on a
// larger screen, and every refusal, against Pillow's reading.
TEST(Gif, ReadsLikePillow) { orvel::testing::checkAgainstReferences("gif", decodeGif, nullptr); }

}  // namespace
}  // namespace orvel::codec::gif
