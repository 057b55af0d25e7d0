// HEIF and AVIF through the system's libheif: the primary image, 8-bit RGBA rows top-down,
// alpha premultiplied (as the platform decoders deliver it). Each failure is reported in the
// words the other platforms use for the same class of failure.
#include "codec/heif/heif.h"

#include <cstring>
#include <memory>

#include "base/text.h"
#include "container/isobmff.h"
#include "image/error.h"

#if defined(ORVEL_HAVE_LIBHEIF)
#include <libheif/heif.h>
#endif

namespace orvel::codec::heif {
namespace {

using image::Image;
using image::OrvelException;

[[noreturn]] void fail(image::ImageErrorKind kind, const char* message) {
  throw OrvelException(kind, message);
}

#if defined(ORVEL_HAVE_LIBHEIF)

constexpr int64_t kPixelLimit = int64_t{1} << 30;

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// c × a / 255, rounded to nearest.
uint8_t premultiply(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }

Image copyRgba(const heif_image* decoded, int width, int height, bool premultiplied) {
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  if (plane == nullptr) fail(image::iekInvalid, "heif: cannot address a bitmap of that size");
  Image out = image::newImage(width, height, image::csRgba);
  uint8_t* pixels = out.pixels.data();
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = plane + static_cast<int64_t>(y) * stride;
    uint8_t* row = pixels + static_cast<int64_t>(y) * width * 4;
    std::memcpy(row, in, static_cast<size_t>(width) * 4);
    if (premultiplied) continue;
    for (int x = 0; x < width; ++x) {
      uint8_t* p = row + 4 * x;
      if (p[3] == 255) continue;
      p[0] = premultiply(p[0], p[3]);
      p[1] = premultiply(p[1], p[3]);
      p[2] = premultiply(p[2], p[3]);
    }
  }
  return out;
}

Image decodeWithLibheif(base::ByteView bytes) {
  std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
  if (!context) fail(image::iekInvalid, "heif: cannot wrap input");
  if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr)
          .code != heif_error_Ok) {
    fail(image::iekUnsupported, "heif: the system did not recognise this file");
  }
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
    fail(image::iekUnsupported, "heif: the system has no decoder for this codec");
  }
  std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  if (width < 1 || height < 1) fail(image::iekInvalid, "heif: empty picture");
  if (int64_t{width} * height > kPixelLimit) {
    fail(image::iekInvalid, "heif: cannot address a bitmap of that size");
  }
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  options->convert_hdr_to_8bit = 1;  // deeper images come out with 8 bits per channel
  heif_image* rawImage = nullptr;
  if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                        options.get())
          .code != heif_error_Ok) {
    fail(image::iekUnsupported, "heif: the system has no decoder for this codec");
  }
  std::unique_ptr<heif_image, ImageFree> decoded(rawImage);
  if (heif_image_get_width(decoded.get(), heif_channel_interleaved) != width ||
      heif_image_get_height(decoded.get(), heif_channel_interleaved) != height) {
    fail(image::iekInvalid, "heif: cannot address a bitmap of that size");
  }
  return copyRgba(decoded.get(), width, height, heif_image_is_premultiplied_alpha(decoded.get()) != 0);
}

#endif

}  // namespace

bool isHeif(base::ByteView bytes) noexcept {
  constexpr std::string_view kBrands[] = {"mif1", "miaf", "heic", "heix", "hevc",
                                          "hevx", "avif", "avis", "msf1", "mif2"};
  if (!container::isIsobmff(bytes)) return false;
  for (std::string_view brand : kBrands) {
    if (base::hasBytesAt(bytes, 8, brand)) return true;
  }
  return false;
}

Image decodeHeif(base::ByteView bytes) {
  if (bytes.empty()) fail(image::iekTruncated, "heif: empty input");
  if (!isHeif(bytes)) fail(image::iekUnsupported, "heif: not a HEIF file");
#if defined(ORVEL_HAVE_LIBHEIF)
  return decodeWithLibheif(bytes);
#else
  fail(image::iekUnsupported, "heif: the system has no decoder for this codec");
#endif
}

}  // namespace orvel::codec::heif
