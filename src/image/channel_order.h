// Blue-first pixels (BMP, TGA) to red-first and back: the same byte swap both ways.
#pragma once

#include <cstdint>

namespace orvel::image {

// `pixels` pixels of three bytes (B, G, R to R, G, B or back); src and dst do not overlap.
void swapRedBlue3(const uint8_t* src, uint8_t* dst, int64_t pixels) noexcept;
// Pixels of four bytes (B, G, R, A to R, G, B, A or back).
void swapRedBlue4(const uint8_t* src, uint8_t* dst, int64_t pixels) noexcept;
// B, G, R, X to R, G, B, 255: the fourth byte is not alpha.
void swapRedBlue4Opaque(const uint8_t* src, uint8_t* dst, int64_t pixels) noexcept;

}  // namespace orvel::image
