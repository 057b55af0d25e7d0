#include "codec/tiff/tiff.h"

#include <gtest/gtest.h>

#include "codec/raster_reference.h"

namespace orvel::codec::tiff {
namespace {

// Every compression, predictor, photometric interpretation, depth and layout (strips and tiles,
// both byte orders) rewritten by tiffcp, against the samples written and libtiff's reading; and
// every refusal.
TEST(Tiff, ReadsLikeLibtiff) {
  orvel::testing::checkAgainstReferences("tiff", decodeTiff, nullptr);
}

}  // namespace
}  // namespace orvel::codec::tiff
