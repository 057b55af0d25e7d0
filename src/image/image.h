// The in-memory image every raster operation works on: 8-bit samples, channels interleaved,
// rows top to bottom with no padding between them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

namespace orvel::image {

// Colour layouts; the values are part of the C interface.
enum Colorspace : uint8_t {
  csGray = 0,     // luminance
  csRgb = 1,      // R, G, B
  csRgba = 2,     // R, G, B, A (straight alpha, except for HEIF/AVIF, which arrives premultiplied)
  csCmyk = 3,     // C, M, Y, K ink values of a separated TIFF, unconverted
  csOpaque3 = 4,  // three channels the library carries without interpreting
  csOpaque1 = 5,  // one channel likewise
};

// Bytes per pixel of each layout.
inline constexpr std::array<int64_t, 6> ChannelCount = {1, 3, 4, 4, 3, 1};

// Very large pixel buffers (32 MiB and more) are mapped on their own, so that fresh pages cost
// no clearing and the system may back them with huge pages; the rest come from the C heap,
// which hands a freed buffer warm to the next image of its size.
struct PixelRelease {
  std::size_t mapped = 0;  // the length of the mapping; 0 for heap memory
  void operator()(uint8_t* p) const noexcept;
};

// A zero-filled byte buffer whose pages are committed only as they are written: a decoder may
// size it for the image a header declares, and a short stream then costs almost nothing.
class PixelBuffer {
 public:
  PixelBuffer() = default;
  explicit PixelBuffer(std::size_t size);
  // Bytes left unset, for a writer that fills every one before anything reads them; untouched
  // pages are not committed either.
  static PixelBuffer forOverwrite(std::size_t size);
  PixelBuffer(const PixelBuffer& other);
  PixelBuffer& operator=(const PixelBuffer& other);
  PixelBuffer(PixelBuffer&&) noexcept = default;
  PixelBuffer& operator=(PixelBuffer&&) noexcept = default;

  uint8_t* data() noexcept { return bytes_.get(); }
  const uint8_t* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  uint8_t& operator[](std::size_t i) noexcept { return bytes_[i]; }
  uint8_t operator[](std::size_t i) const noexcept { return bytes_[i]; }
  uint8_t* begin() noexcept { return data(); }
  uint8_t* end() noexcept { return data() + size_; }
  const uint8_t* begin() const noexcept { return data(); }
  const uint8_t* end() const noexcept { return data() + size_; }
  operator std::span<const uint8_t>() const noexcept { return {data(), size_}; }
  operator std::span<uint8_t>() noexcept { return {data(), size_}; }
  bool operator==(const PixelBuffer& other) const noexcept;

  // Keeps only the first `size` bytes (no larger than now); the memory stays with the buffer.
  void shrink(std::size_t size) noexcept;

 private:
  static PixelBuffer allocate(std::size_t size, bool zeroed);
  std::unique_ptr<uint8_t[], PixelRelease> bytes_;
  std::size_t size_ = 0;
};

struct Image {
  int64_t width = 0;
  int64_t height = 0;
  int64_t channels = 0;
  uint8_t colorspace = csGray;
  PixelBuffer pixels;  // width × height × channels bytes

  // Bytes per row.
  int64_t stride() const noexcept { return width * channels; }
};

// A zero-filled image. A negative size or one whose byte count overflows is a caller defect
// (std::overflow_error); decoders check their dimensions with their own messages first.
Image newImage(int64_t width, int64_t height, uint8_t colorspace);

// The same image with its pixels left unset, for a decoder that writes every byte before it
// returns the image (a failed decode discards it): no zeroing pass over reused memory.
Image newImageForOverwrite(int64_t width, int64_t height, uint8_t colorspace);

}  // namespace orvel::image
