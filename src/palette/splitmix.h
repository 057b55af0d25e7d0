// SplitMix64, the generator of the seeded quantisers.
#pragma once

#include <cstdint>

namespace orvel::palette {

inline constexpr uint64_t kSeedMix = 0x9E3779B97F4A7C15ull;

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) noexcept : state_(seed) {}

  uint64_t next() noexcept {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1) with 53 random bits.
  double nextFloat() noexcept { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

 private:
  uint64_t state_;
};

// The generator every seeded quantiser starts from.
inline SplitMix64 quantizerRng(uint64_t seed) noexcept { return SplitMix64(seed ^ kSeedMix); }

}  // namespace orvel::palette
