// The vector and portable running sums against the per-byte definition, for every pixel width
// PNG and TIFF produce and lengths around the vector size, in place, shifted back over the
// row's own bytes (PNG's filter byte) and into a separate buffer.
#include "image/row_prediction.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace orvel::image {
namespace {

std::vector<uint8_t> definition(const std::vector<uint8_t>& raw, int unit) {
  std::vector<uint8_t> out(raw);
  for (std::size_t i = static_cast<std::size_t>(unit); i < out.size(); ++i) {
    out[i] = static_cast<uint8_t>(raw[i] + out[i - unit]);
  }
  return out;
}

TEST(RowPrediction, EveryPathGivesTheRunningSumPerByte) {
  std::mt19937 rng(7);
  for (bool portable : {false, true}) {
    choosePortablePrediction(portable);
    for (int unit = 1; unit <= 8; ++unit) {
      for (int length = 0; length <= 70; ++length) {
        std::vector<uint8_t> raw(static_cast<std::size_t>(length));
        for (uint8_t& b : raw) b = static_cast<uint8_t>(rng());
        const std::vector<uint8_t> want = definition(raw, unit);
        std::vector<uint8_t> separate(raw.size());
        addLeftNeighbours(raw.data(), separate.data(), length, unit);
        std::vector<uint8_t> inPlace = raw;
        addLeftNeighbours(inPlace.data(), inPlace.data(), length, unit);
        std::vector<uint8_t> shifted(raw.size() + 1);
        std::copy(raw.begin(), raw.end(), shifted.begin() + 1);
        addLeftNeighbours(shifted.data() + 1, shifted.data(), length, unit);
        shifted.pop_back();
        const std::string where = "unit " + std::to_string(unit) + ", length " +
                                  std::to_string(length) + (portable ? ", portable" : "");
        EXPECT_EQ(separate, want) << where;
        EXPECT_EQ(inPlace, want) << where;
        EXPECT_EQ(shifted, want) << where;
      }
    }
  }
  choosePortablePrediction(false);
}

}  // namespace
}  // namespace orvel::image
