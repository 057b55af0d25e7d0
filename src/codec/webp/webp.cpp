// The RIFF container of a WebP file: the simple layout (VP8L first) and the extended one (VP8X,
// then the VP8L image and an optional ALPH plane among other chunks).
#include "codec/webp/webp.h"

#include <optional>
#include <string>

#include "base/text.h"
#include "codec/webp/vp8l.h"
#include "container/riff.h"
#include "image/error.h"

namespace orvel::codec::webp {
namespace {

using base::ByteView;
using container::RiffChunk;
using container::RiffChunkWalk;
using container::RiffWalkStop;
using image::Image;
using image::OrvelException;

constexpr int64_t kRiffHeaderSize = 12;
constexpr uint32_t kVp8xSize = 10;
constexpr uint8_t kVp8xReservedFlags = 0xC1;
constexpr uint8_t kVp8xAnimation = 0x02;
constexpr uint8_t kVp8xAlpha = 0x10;
constexpr int64_t kMaxCanvasSide = 16384;

[[noreturn]] void fail(image::ImageErrorKind kind, const std::string& message) {
  throw OrvelException(kind, message);
}

ByteView payloadOf(ByteView bytes, const RiffChunk& chunk) {
  return bytes.subspan(static_cast<size_t>(chunk.payload()), chunk.size);
}

// The first chunk of `type` after the first chunk of the form, which ends at `riffEnd`.
std::optional<RiffChunk> findChunkOpt(ByteView bytes, int64_t riffEnd, std::string_view type) {
  RiffChunkWalk walk(bytes.first(static_cast<size_t>(riffEnd)), RiffWalkStop::atShortHeader);
  walk.next();
  while (const auto chunk = walk.next()) {
    if (chunk->payloadEnd() > riffEnd) fail(image::iekInvalid, "webp: chunk exceeds RIFF payload");
    if (chunk->fourcc == type) return chunk;
  }
  return std::nullopt;
}

Image toRgba(const Image& rgb) {
  Image out = image::newImageForOverwrite(rgb.width, rgb.height, image::csRgba);
  const int64_t count = rgb.width * rgb.height;
  for (int64_t i = 0; i < count; ++i) {
    out.pixels[4 * i] = rgb.pixels[3 * i];
    out.pixels[4 * i + 1] = rgb.pixels[3 * i + 1];
    out.pixels[4 * i + 2] = rgb.pixels[3 * i + 2];
    out.pixels[4 * i + 3] = 255;
  }
  return out;
}

// Replaces the image's alpha with the ALPH payload's plane: raw bytes, or the green channel of
// a headerless lossless stream.
void applyAlphChunk(Image& image, ByteView payload) {
  if (payload.empty()) fail(image::iekTruncated, "webp: ALPH short");
  const uint8_t header = payload[0];
  if (header > 3) fail(image::iekUnsupported, "webp: filtered or preprocessed ALPH unsupported");
  if (image.colorspace != image::csRgba) image = toRgba(image);
  const int64_t count = image.width * image.height;
  uint8_t* alpha = image.pixels.data() + 3;
  switch (header) {
    case 0: {
      if (std::ssize(payload) - 1 < count) fail(image::iekTruncated, "webp: ALPH plane short");
      for (int64_t i = 0; i < count; ++i) alpha[4 * i] = payload[static_cast<size_t>(1 + i)];
      return;
    }
    case 1: {
      const ArgbImage plane = decodeVp8lBody(payload, 1, image.width, image.height);
      for (int64_t i = 0; i < count; ++i) alpha[4 * i] = static_cast<uint8_t>(plane.data()[i] >> 8);
      return;
    }
    default:
      fail(image::iekUnsupported, "webp: ALPH compression " + std::to_string(header) + " unsupported");
  }
}

Image decodeExtended(ByteView bytes, int64_t riffEnd, ByteView vp8x) {
  if (vp8x.size() != kVp8xSize) fail(image::iekUnsupported, "webp: VP8X chunk must be 10 bytes");
  const uint8_t flags = vp8x[0];
  if ((flags & kVp8xReservedFlags) != 0 || vp8x[1] != 0 || vp8x[2] != 0 || vp8x[3] != 0) {
    fail(image::iekUnsupported, "webp: VP8X reserved bits are nonzero");
  }
  if ((flags & kVp8xAnimation) != 0) fail(image::iekUnsupported, "webp: animated images unsupported");
  const int64_t canvasWidth = (base::readU32le(vp8x, 4) & 0xFFFFFF) + 1;
  const int64_t canvasHeight = (base::readU32le(vp8x, 6) >> 8) + 1;
  if (canvasWidth > kMaxCanvasSide || canvasHeight > kMaxCanvasSide) {
    fail(image::iekUnsupported, "webp: canvas too large");
  }
  const auto vp8l = findChunkOpt(bytes, riffEnd, "VP8L");
  if (!vp8l) fail(image::iekUnsupported, "webp: VP8X without a VP8L payload (lossy/anim unsupported)");
  if (vp8l->size == 0) fail(image::iekInvalid, "webp: empty VP8L chunk");
  Image image = decodeVp8lStream(payloadOf(bytes, *vp8l));
  if (image.width != canvasWidth || image.height != canvasHeight) {
    fail(image::iekInvalid, "webp: VP8X canvas and payload dimensions differ");
  }
  if ((flags & kVp8xAlpha) != 0) {
    if (const auto alph = findChunkOpt(bytes, riffEnd, "ALPH")) applyAlphChunk(image, payloadOf(bytes, *alph));
  }
  return image;
}

}  // namespace

Image decodeWebp(ByteView bytes) {
  const auto size = static_cast<int64_t>(bytes.size());
  image::requireLen(size, kRiffHeaderSize, "webp: container truncated");
  if (!base::hasBytesAt(bytes, 0, "RIFF")) fail(image::iekUnsupported, "webp: not a RIFF");
  if (!base::hasBytesAt(bytes, 8, "WEBP")) fail(image::iekUnsupported, "webp: not a WEBP");
  const int64_t riffSize = base::readU32le(bytes, 4);
  if (riffSize < 4 || riffSize + 8 > size) fail(image::iekInvalid, "webp: bad RIFF size");
  const int64_t riffEnd = riffSize + 8;  // bytes after it are not part of the file
  const auto first = RiffChunkWalk(bytes, RiffWalkStop::atShortHeader).next();
  if (!first) fail(image::iekTruncated, "webp: chunk header short");
  if (first->payloadEnd() > riffEnd) fail(image::iekInvalid, "webp: first chunk exceeds RIFF payload");
  if (first->fourcc == "VP8L") {
    if (first->size == 0) fail(image::iekInvalid, "webp: empty VP8L chunk");
    return decodeVp8lStream(payloadOf(bytes, *first));
  }
  if (first->fourcc == "VP8 ") fail(image::iekUnsupported, "webp: VP8 lossy decode not yet implemented");
  if (first->fourcc == "VP8X") return decodeExtended(bytes, riffEnd, payloadOf(bytes, *first));
  fail(image::iekUnsupported, "webp: unknown chunk " + std::string(first->fourcc));
}

}  // namespace orvel::codec::webp
