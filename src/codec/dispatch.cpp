#include <array>
#include <string_view>

#include "base/text.h"
#include "codec/bmp/bmp.h"
#include "codec/gif/gif.h"
#include "codec/codec.h"
#include "codec/heif/heif.h"
#include "codec/jpeg/jpeg.h"
#include "codec/png/png.h"
#include "codec/pcx/pcx.h"
#include "codec/pnm/pnm.h"
#include "codec/qoi/qoi.h"
#include "codec/tga/tga.h"
#include "codec/tiff/tiff.h"
#include "codec/webp/webp.h"
#include "container/riff.h"
#include "container/tiff.h"
#include "image/error.h"

namespace orvel::codec {
namespace {

using base::hasBytesAt;
using image::Image;
using image::OrvelException;

bool isPnm(ByteView bytes) {
  return bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7';
}

// The PNG decoder checks the whole signature; these four bytes only route to it.
bool looksLikePng(ByteView bytes) { return bytes.size() >= 8 && hasBytesAt(bytes, 0, "\x89PNG"); }

bool isGif(ByteView bytes) { return hasBytesAt(bytes, 0, "GIF87a") || hasBytesAt(bytes, 0, "GIF89a"); }

bool isPcx(ByteView bytes) {
  const uint8_t version = base::byteAt(bytes, 1);
  const uint8_t encoding = base::byteAt(bytes, 2);
  return bytes.size() >= 3 && bytes[0] == 0x0A &&
         (version == 0 || (version >= 2 && version <= 5)) && encoding <= 1;
}

}  // namespace

Image decodeImage(ByteView bytes) {
  if (bytes.size() < 2) throw OrvelException(image::iekTruncated, "decodeImage: input too short");
  if (hasBytesAt(bytes, 0, "BM")) return bmp::decodeBmp(bytes);
  if (hasBytesAt(bytes, 0, "qoif")) return qoi::decodeQoi(bytes);
  if (isPnm(bytes)) return pnm::decodePnm(bytes);
  if (looksLikePng(bytes)) return png::decodePng(bytes);
  if (hasBytesAt(bytes, 0, "\xFF\xD8")) return jpeg::decodeJpeg(bytes);
  if (heif::isHeif(bytes)) return heif::decodeHeif(bytes);
  if (isGif(bytes)) return gif::decodeGif(bytes);
  if (container::isWebp(bytes)) return webp::decodeWebp(bytes);
  if (container::hasTiffSignature(bytes)) return tiff::decodeTiff(bytes);
  if (isPcx(bytes)) return pcx::decodePcx(bytes);
  throw OrvelException(image::iekUnsupported, "decodeImage: unrecognized format");
}

std::vector<uint8_t> encodeImage(const Image& image, EncodeFormat format, int quality) {
  switch (format) {
    case efPng: return png::encodePng(image);
    case efJpeg: return jpeg::encodeJpeg(image, quality);
    case efBmp: return bmp::encodeBmp(image);
    case efQoi: return qoi::encodeQoi(image);
    case efPnm: return pnm::encodePnm(image);
    case efTga: return tga::encodeTga(image);
  }
  throw OrvelException(image::iekUnsupported, "ov_image_encode: not an encodable format");
}

}  // namespace orvel::codec
