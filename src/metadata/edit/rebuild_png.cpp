#include "container/png.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"

namespace orvel::metadata::edit {
namespace {

bool isMetadataChunk(std::string_view type) {
  return type == "eXIf" || type == "tEXt" || type == "iTXt" || type == "zTXt";
}

}  // namespace

std::vector<uint8_t> rebuildPng(ByteView png, ByteView exif, bool strip) {
  if (!container::isPng(png)) return {};
  std::vector<uint8_t> out(png.begin(), png.begin() + 8);
  out.reserve(png.size() + exif.size() + 12);
  bool inserted = false;
  bool imageEnded = false;
  // A chunk is copied whole, CRC included, so the walk stops at one cut short.
  container::PngChunkWalk walk(png, container::PngWalkStop::atShortChunk);
  while (const auto chunk = walk.next()) {
    imageEnded = imageEnded || chunk->type == "IEND";
    // A new EXIF also replaces one kept in a raw text profile.
    const bool replaced =
        !exif.empty() && (chunk->type == "eXIf" || (container::isTextChunk(*chunk) &&
                                                    pipeline::isExifProfileChunk(png, *chunk)));
    if (replaced || (strip && isMetadataChunk(chunk->type))) continue;
    base::appendBytes(out, png.subspan(static_cast<size_t>(chunk->start),
                                       static_cast<size_t>(chunk->length) + 12));
    if (chunk->type == "IHDR" && !exif.empty() && !inserted) {
      base::appendBytes(out, container::makeChunk("eXIf", exif));
      inserted = true;
    }
    // Whatever follows the image's end is not the image's: a strip leaves it behind, as it
    // does a JPEG's trailers.
    if (strip && imageEnded) return out;
  }
  // A new EXIF with nowhere to go must not come back as a file without any EXIF.
  if (!exif.empty() && !inserted) return {};
  const int64_t position = walk.position();
  // Bytes left before the end of the image are a chunk cut short (a truncated file): it may
  // hold image data, so the file is not rewritten at all.
  if (position < static_cast<int64_t>(png.size()) && !imageEnded) return {};
  if (position < static_cast<int64_t>(png.size())) {
    const ByteView rest = png.subspan(static_cast<size_t>(position));
    const bool metadataTail = rest.size() >= 8 && isMetadataChunk(container::chunkType(rest, 4));
    if (!(strip && metadataTail)) base::appendBytes(out, rest);
  }
  return out;
}

std::vector<uint8_t> replacePngExif(ByteView png, ByteView exif) {
  return rebuildPng(png, exif, false);
}

std::vector<uint8_t> stripPng(ByteView png) { return rebuildPng(png, {}, true); }

}  // namespace orvel::metadata::edit
