#include <algorithm>

#include "container/riff.h"
#include "metadata/edit/rebuild.h"

namespace orvel::metadata::edit {
namespace {

constexpr uint8_t kExifFlag = 0x08;
constexpr uint8_t kXmpFlag = 0x04;

std::vector<uint8_t> flaggedVp8x(ByteView payload, bool strip, bool withExif) {
  std::vector<uint8_t> copy(payload.begin(), payload.end());
  if (copy.empty()) return copy;
  if (strip) copy[0] &= static_cast<uint8_t>(~(kExifFlag | kXmpFlag));
  copy[0] = withExif ? (copy[0] | kExifFlag) : (copy[0] & static_cast<uint8_t>(~kExifFlag));
  return copy;
}

}  // namespace

std::vector<uint8_t> rebuildWebp(ByteView webp, ByteView exif, bool strip) {
  if (!container::isWebp(webp)) return {};
  // Chunks are carried whole, so the walk stops at one whose payload is cut short.
  std::vector<container::RiffChunk> chunks;
  container::RiffChunkWalk walk(webp, container::RiffWalkStop::atShortPayload);
  while (const auto chunk = walk.next()) chunks.push_back(*chunk);
  // A chunk whose payload runs past the end (a truncated file) may be the image itself: the
  // file is not rewritten rather than rewritten without it.
  if (base::inBounds(webp, walk.position(), 8)) return {};
  const bool extended =
      std::any_of(chunks.begin(), chunks.end(),
                  [](const container::RiffChunk& chunk) { return chunk.fourcc == "VP8X"; });
  if (!exif.empty() && !extended) return {};  // simple files cannot carry EXIF

  std::vector<std::vector<uint8_t>> out;
  for (const container::RiffChunk& chunk : chunks) {
    if (chunk.fourcc == "EXIF" || (strip && chunk.fourcc == "XMP ")) continue;
    const ByteView payload = webp.subspan(static_cast<size_t>(chunk.payload()), chunk.size);
    if (chunk.fourcc == "VP8X") {
      out.push_back(container::riffChunk("VP8X", flaggedVp8x(payload, strip, !exif.empty())));
    } else {
      out.push_back(container::riffChunk(chunk.fourcc, payload));
    }
  }
  if (!exif.empty()) out.push_back(container::riffChunk("EXIF", exif));
  return container::assembleRiff("WEBP", out);
}

std::vector<uint8_t> replaceWebpExif(ByteView webp, ByteView exif) {
  return rebuildWebp(webp, exif, false);
}

std::vector<uint8_t> stripWebp(ByteView webp) { return rebuildWebp(webp, {}, true); }

}  // namespace orvel::metadata::edit
