#include "exif/webp.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace orvel::exif {
namespace {

constexpr uint8_t kExifFlag = 0x08;
constexpr uint8_t kXmpFlag = 0x04;

int64_t sizeOf(ByteView data) { return static_cast<int64_t>(data.size()); }

struct Chunk {
  int64_t start = 0;
  uint32_t size = 0;
  std::string fourcc;
  int64_t payload() const { return start + 8; }
  int64_t next() const { return start + 8 + int64_t{size} + (size & 1); }
};

std::string textOf(ByteView data, int64_t from, int64_t length) {
  if (!inBounds(data, from, length)) return {};
  const ByteView part = data.subspan(static_cast<size_t>(from), static_cast<size_t>(length));
  return std::string(part.begin(), part.end());
}

std::optional<Chunk> chunkAt(ByteView data, int64_t position) {
  if (position < 12 || position > sizeOf(data) - 8) return std::nullopt;
  return Chunk{position, readUint32(data, position + 4, false), textOf(data, position, 4)};
}

bool payloadFits(ByteView data, const Chunk& chunk) {
  return chunk.payload() + int64_t{chunk.size} <= sizeOf(data);
}

ByteView payloadOf(ByteView data, const Chunk& chunk) {
  return data.subspan(static_cast<size_t>(chunk.payload()), chunk.size);
}

// Every chunk from offset 12 up to the first whose payload runs past the end.
std::vector<Chunk> wholeChunks(ByteView data) {
  std::vector<Chunk> chunks;
  for (auto chunk = chunkAt(data, 12); chunk && payloadFits(data, *chunk);
       chunk = chunkAt(data, chunk->next())) {
    chunks.push_back(*chunk);
  }
  return chunks;
}

std::vector<uint8_t> flaggedVp8x(ByteView payload, bool strip, bool withExif) {
  std::vector<uint8_t> copy(payload.begin(), payload.end());
  if (copy.empty()) return copy;
  if (strip) copy[0] &= static_cast<uint8_t>(~(kExifFlag | kXmpFlag));
  copy[0] = withExif ? (copy[0] | kExifFlag) : (copy[0] & static_cast<uint8_t>(~kExifFlag));
  return copy;
}

}  // namespace

bool isWebp(ByteView data) noexcept {
  return data.size() >= 12 && data[0] == 'R' && data[1] == 'I' && data[2] == 'F' &&
         data[3] == 'F' && data[8] == 'W' && data[9] == 'E' && data[10] == 'B' && data[11] == 'P';
}

int64_t findExifInWebp(ByteView data) {
  if (!isWebp(data)) return 0;
  for (auto chunk = chunkAt(data, 12); chunk; chunk = chunkAt(data, chunk->next())) {
    if (chunk->fourcc != "EXIF" || chunk->payload() >= sizeOf(data)) continue;
    // Some writers keep the JPEG-style "Exif" and two bytes before the TIFF header.
    const bool jpegStyle = chunk->start + 14 <= sizeOf(data) && textOf(data, chunk->payload(), 4) == "Exif";
    return jpegStyle ? chunk->start + 14 : chunk->payload();
  }
  return 0;
}

std::string findXmpInWebp(ByteView data) {
  if (!isWebp(data)) return {};
  for (const Chunk& chunk : wholeChunks(data)) {
    if (chunk.fourcc == "XMP ") return textOf(data, chunk.payload(), chunk.size);
  }
  return {};
}

std::array<uint8_t, 4> le32w(uint32_t value) noexcept {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> webpChunk(std::string_view fourcc, ByteView data) {
  if (data.size() > 0xFFFFFFFFu - 9) throw std::overflow_error("webp: chunk too long");
  std::vector<uint8_t> out;
  out.reserve(data.size() + 9);
  out.insert(out.end(), fourcc.begin(), fourcc.end());
  const auto size = le32w(static_cast<uint32_t>(data.size()));
  out.insert(out.end(), size.begin(), size.end());
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2 == 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> assembleWebp(const std::vector<std::vector<uint8_t>>& chunks) {
  uint64_t total = 0;
  for (const auto& chunk : chunks) total += chunk.size();
  if (total > 0xFFFFFFFFu - 4) throw std::overflow_error("webp: RIFF size does not fit");
  constexpr std::string_view kRiff = "RIFF";
  constexpr std::string_view kWebp = "WEBP";
  std::vector<uint8_t> out;
  out.reserve(12 + total);
  out.insert(out.end(), kRiff.begin(), kRiff.end());
  const auto size = le32w(static_cast<uint32_t>(total + 4));
  out.insert(out.end(), size.begin(), size.end());
  out.insert(out.end(), kWebp.begin(), kWebp.end());
  for (const auto& chunk : chunks) out.insert(out.end(), chunk.begin(), chunk.end());
  return out;
}

std::vector<uint8_t> rebuildWebp(ByteView webp, ByteView exif, bool strip) {
  if (!isWebp(webp)) return {};
  const std::vector<Chunk> chunks = wholeChunks(webp);
  const bool extended = std::any_of(chunks.begin(), chunks.end(),
                                    [](const Chunk& chunk) { return chunk.fourcc == "VP8X"; });
  if (!exif.empty() && !extended) return {};  // simple files cannot carry EXIF

  std::vector<std::vector<uint8_t>> out;
  for (const Chunk& chunk : chunks) {
    if (chunk.fourcc == "EXIF" || (strip && chunk.fourcc == "XMP ")) continue;
    if (chunk.fourcc == "VP8X") {
      out.push_back(webpChunk("VP8X", flaggedVp8x(payloadOf(webp, chunk), strip, !exif.empty())));
    } else {
      out.push_back(webpChunk(chunk.fourcc, payloadOf(webp, chunk)));
    }
  }
  if (!exif.empty()) out.push_back(webpChunk("EXIF", exif));
  return assembleWebp(out);
}

std::vector<uint8_t> replaceWebpExif(ByteView webp, ByteView exif) { return rebuildWebp(webp, exif, false); }

std::vector<uint8_t> stripWebp(ByteView webp) { return rebuildWebp(webp, {}, true); }

}  // namespace orvel::exif
