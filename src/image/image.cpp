#include "image/image.h"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace orvel::image {
namespace {

// Below this the C heap serves pixels: a freed buffer is reused warm by the next image of
// its size, where a fresh mapping would fault in every page again. Above it (the C heap maps
// such blocks itself anyway) pixels get a mapping of their own, with huge pages where the
// system allows them, so that first touches fault a five-hundredth as often.
constexpr std::size_t kMappedFrom = std::size_t{32} << 20;

}  // namespace

void PixelRelease::operator()(uint8_t* p) const noexcept {
  if (mapped != 0) {
    ::munmap(p, mapped);
  } else {
    std::free(p);
  }
}

PixelBuffer PixelBuffer::allocate(std::size_t size, bool zeroed) {
  PixelBuffer buffer;
  if (size == 0) return buffer;
  if (size >= kMappedFrom) {
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    ::madvise(mapped, size, MADV_HUGEPAGE);  // a hint; refused where huge pages are off
    buffer.bytes_ = std::unique_ptr<uint8_t[], PixelRelease>(static_cast<uint8_t*>(mapped), PixelRelease{size});
  } else {
    void* heap = zeroed ? std::calloc(size, 1) : std::malloc(size);
    if (heap == nullptr) throw std::bad_alloc();
    buffer.bytes_.reset(static_cast<uint8_t*>(heap));
  }
  buffer.size_ = size;
  return buffer;
}

PixelBuffer::PixelBuffer(std::size_t size) : PixelBuffer(allocate(size, true)) {}

PixelBuffer PixelBuffer::forOverwrite(std::size_t size) { return allocate(size, false); }

void PixelBuffer::shrink(std::size_t size) noexcept {
  if (size < size_) size_ = size;
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
