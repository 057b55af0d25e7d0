#include "image/image.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace orvel::image {

PixelBuffer::PixelBuffer(std::size_t size) : size_(size) {
  if (size == 0) return;
  // calloc hands out fresh zero pages for large blocks without touching them.
  bytes_.reset(static_cast<uint8_t*>(std::calloc(size, 1)));
  if (!bytes_) throw std::bad_alloc();
}

PixelBuffer PixelBuffer::forOverwrite(std::size_t size) {
  PixelBuffer buffer;
  if (size == 0) return buffer;
  buffer.bytes_.reset(static_cast<uint8_t*>(std::malloc(size)));
  if (!buffer.bytes_) throw std::bad_alloc();
  buffer.size_ = size;
  return buffer;
}

PixelBuffer::PixelBuffer(const PixelBuffer& other) : PixelBuffer(other.size_) {
  if (size_ != 0) std::memcpy(data(), other.data(), size_);
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other) {
  if (this != &other) *this = PixelBuffer(other);
  return *this;
}

bool PixelBuffer::operator==(const PixelBuffer& other) const noexcept {
  return size_ == other.size_ && (size_ == 0 || std::memcmp(data(), other.data(), size_) == 0);
}

namespace {

// The image's fields, and its byte count in `byteCount`.
Image shaped(int64_t width, int64_t height, uint8_t colorspace, int64_t& byteCount) {
  if (colorspace >= ChannelCount.size()) throw std::out_of_range("newImage: unknown layout");
  const int64_t channels = ChannelCount[colorspace];
  int64_t pixelCount = 0;
  if (width < 0 || height < 0 || __builtin_mul_overflow(width, height, &pixelCount) ||
      __builtin_mul_overflow(pixelCount, channels, &byteCount)) {
    throw std::overflow_error("newImage: size overflows");
  }
  Image image;
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.colorspace = colorspace;
  return image;
}

}  // namespace

Image newImage(int64_t width, int64_t height, uint8_t colorspace) {
  int64_t byteCount = 0;
  Image image = shaped(width, height, colorspace, byteCount);
  image.pixels = PixelBuffer(static_cast<std::size_t>(byteCount));
  return image;
}

Image newImageForOverwrite(int64_t width, int64_t height, uint8_t colorspace) {
  int64_t byteCount = 0;
  Image image = shaped(width, height, colorspace, byteCount);
  image.pixels = PixelBuffer::forOverwrite(static_cast<std::size_t>(byteCount));
  return image;
}

}  // namespace orvel::image
