#include "exif/png.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "exif/zlibutil.h"

namespace orvel::exif {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";

int64_t sizeOf(ByteView data) { return static_cast<int64_t>(data.size()); }

struct Chunk {
  int64_t start = 0;
  uint32_t length = 0;
  std::string type;
  int64_t dataStart() const { return start + 8; }
  int64_t next() const { return start + 12 + int64_t{length}; }
};

// The chunk header at position, when its 8 bytes are there.
std::optional<Chunk> chunkAt(ByteView data, int64_t position) {
  if (position < 8 || position > sizeOf(data) - 8) return std::nullopt;
  return Chunk{position, readUint32(data, position, true), chunkType(data, position + 4)};
}

bool dataFits(ByteView data, const Chunk& chunk) {
  return chunk.dataStart() + int64_t{chunk.length} <= sizeOf(data);
}

bool isMetadataChunk(std::string_view type) {
  return type == "eXIf" || type == "tEXt" || type == "iTXt" || type == "zTXt";
}

std::string textOf(ByteView data, int64_t from, int64_t to) {
  if (from >= to || !inBounds(data, from, to - from)) return {};
  const ByteView part = data.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from));
  return std::string(part.begin(), part.end());
}

// Position of the first NUL in [from, to), if any.
std::optional<int64_t> nulIn(ByteView data, int64_t from, int64_t to) {
  to = std::min(to, sizeOf(data));
  if (from < 0 || from >= to) return std::nullopt;
  const auto begin = data.begin() + from;
  const auto found = std::find(begin, data.begin() + to, uint8_t{0});
  if (found == data.begin() + to) return std::nullopt;
  return from + (found - begin);
}

std::string inflatedText(ByteView data, int64_t from, int64_t to) {
  if (from > to || !inBounds(data, from, to - from)) return {};
  const std::vector<uint8_t> text =
      zlibInflate(data.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from)));
  return std::string(text.begin(), text.end());
}

std::optional<std::pair<std::string, std::string>> plainText(ByteView data, const Chunk& chunk) {
  const int64_t end = chunk.dataStart() + chunk.length;
  const auto nul = nulIn(data, chunk.dataStart(), end);
  if (!nul) return std::nullopt;
  return std::make_pair(textOf(data, chunk.dataStart(), *nul), textOf(data, *nul + 1, end));
}

void append(std::vector<uint8_t>& out, ByteView bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

}  // namespace

bool isPng(ByteView data) noexcept {
  return data.size() >= 8 && std::equal(kSignature, kSignature + 8, data.begin());
}

std::string chunkType(ByteView data, int64_t position) {
  if (!inBounds(data, position, 4)) throw std::out_of_range("png: chunk type outside the data");
  return textOf(data, position, position + 4);
}

int64_t findExifInPng(ByteView data) {
  if (!isPng(data)) return 0;
  for (auto chunk = chunkAt(data, 8); chunk; chunk = chunkAt(data, chunk->next())) {
    if (chunk->type == "eXIf" && chunk->dataStart() < sizeOf(data)) return chunk->dataStart();
    if (chunk->type == "IDAT" || chunk->type == "IEND") return 0;
  }
  return 0;
}

TextList pngTextChunks(ByteView data) {
  TextList texts;
  if (!isPng(data)) return texts;
  for (auto chunk = chunkAt(data, 8); chunk && chunk->type != "IEND" && dataFits(data, *chunk);
       chunk = chunkAt(data, chunk->next())) {
    if (chunk->type == "tEXt") {
      if (auto pair = plainText(data, *chunk)) texts.push_back(std::move(*pair));
      continue;
    }
    TextChunk decoded;
    if (chunk->type == "zTXt") decoded = parseZtxt(data, chunk->dataStart(), chunk->length);
    if (chunk->type == "iTXt") decoded = parseITxt(data, chunk->dataStart(), chunk->length);
    if (decoded.ok && !decoded.keyword.empty()) {
      texts.emplace_back(std::move(decoded.keyword), std::move(decoded.text));
    }
  }
  return texts;
}

std::string findXmpInPng(ByteView data) {
  if (!isPng(data)) return {};
  for (auto chunk = chunkAt(data, 8); chunk && chunk->type != "IEND" && dataFits(data, *chunk);
       chunk = chunkAt(data, chunk->next())) {
    if (chunk->type != "iTXt") continue;
    TextChunk decoded = parseITxt(data, chunk->dataStart(), chunk->length);
    if (decoded.ok && decoded.keyword == kXmpKeyword) return std::move(decoded.text);
  }
  return {};
}

TextChunk parseZtxt(ByteView data, int64_t start, int64_t length) {
  const int64_t end = start + length;
  const auto nul = nulIn(data, start, end);
  if (!nul || *nul + 1 >= end) return {};  // the compression method byte must follow
  TextChunk chunk{textOf(data, start, *nul), inflatedText(data, *nul + 2, end), false};
  chunk.ok = !chunk.text.empty();
  return chunk;
}

TextChunk parseITxt(ByteView data, int64_t start, int64_t length) {
  const int64_t end = start + length;
  const auto keywordEnd = nulIn(data, start, end);
  if (!keywordEnd) return {};
  const int64_t flagAt = *keywordEnd + 1;
  const bool compressed = flagAt < end && inBounds(data, flagAt, 1) && data[static_cast<size_t>(flagAt)] != 0;
  const auto languageEnd = nulIn(data, flagAt + 2, end);  // after the flag and the method
  if (!languageEnd) return {};
  const auto translatedEnd = nulIn(data, *languageEnd + 1, end);
  if (!translatedEnd) return {};
  TextChunk chunk{textOf(data, start, *keywordEnd), {}, true};
  if (!compressed) {
    chunk.text = textOf(data, *translatedEnd + 1, end);
    return chunk;
  }
  chunk.text = inflatedText(data, *translatedEnd + 1, end);
  chunk.ok = !chunk.text.empty();
  return chunk;
}

uint32_t crc32(ByteView data) noexcept {
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::array<uint8_t, 4> be32(uint32_t value) noexcept {
  return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

std::vector<uint8_t> makeChunk(std::string_view type, ByteView data) {
  if (data.size() > 0xFFFFFFFFu) throw std::overflow_error("png: chunk data too long");
  std::vector<uint8_t> out;
  out.reserve(data.size() + 12);
  append(out, be32(static_cast<uint32_t>(data.size())));
  out.insert(out.end(), type.begin(), type.end());
  append(out, data);
  const uint32_t crc = crc32(ByteView(out).subspan(4));  // type and data
  append(out, be32(crc));
  return out;
}

std::vector<uint8_t> rebuildPng(ByteView png, ByteView exif, bool strip) {
  if (!isPng(png)) return {};
  std::vector<uint8_t> out(png.begin(), png.begin() + 8);
  bool inserted = false;
  int64_t position = 8;
  for (auto chunk = chunkAt(png, position); chunk && chunk->next() <= sizeOf(png);
       chunk = chunkAt(png, position)) {
    position = chunk->next();
    const bool replaced = chunk->type == "eXIf" && !exif.empty();
    if (replaced || (strip && isMetadataChunk(chunk->type))) continue;
    append(out, png.subspan(static_cast<size_t>(chunk->start), static_cast<size_t>(chunk->length) + 12));
    if (chunk->type == "IHDR" && !exif.empty() && !inserted) {
      append(out, makeChunk("eXIf", exif));
      inserted = true;
    }
  }
  // A new EXIF with nowhere to go must not come back as a file without any EXIF.
  if (!exif.empty() && !inserted) return {};
  if (position < sizeOf(png)) {
    const ByteView rest = png.subspan(static_cast<size_t>(position));
    const bool metadataTail = rest.size() >= 8 && isMetadataChunk(chunkType(rest, 4));
    if (!(strip && metadataTail)) append(out, rest);
  }
  return out;
}

std::vector<uint8_t> replacePngExif(ByteView png, ByteView exif) { return rebuildPng(png, exif, false); }

std::vector<uint8_t> stripPng(ByteView png) { return rebuildPng(png, {}, true); }

}  // namespace orvel::exif
