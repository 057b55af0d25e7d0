// PNG chunks: the one walk over a PNG's chunks, the chunk writer, and the keyword and text of
// the three text chunk kinds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/bytes.h"

namespace orvel::container {

using base::ByteView;

// At least 8 bytes starting with the PNG signature.
bool isPng(ByteView data) noexcept;

// One chunk: big-endian data length, four type bytes, the data, the CRC of type and data.
struct PngChunk {
  int64_t start = 0;
  uint32_t length = 0;
  std::string_view type;  // the four type bytes, inside the walked data

  int64_t dataStart() const { return start + 8; }
  int64_t dataEnd() const { return dataStart() + int64_t{length}; }
  int64_t next() const { return dataEnd() + 4; }
};

// Where a walk stops, besides at a chunk header that does not fit: readers that bound their
// own reads take every chunk; text readers need a chunk's data; copying needs its CRC too.
enum class PngWalkStop : uint8_t {
  atShortHeader,  // only at a header that does not fit
  atShortData,    // also at the first chunk whose data runs past the end
  atShortChunk,   // also at the first chunk whose data or CRC runs past the end
};

// Walks the chunks from offset 8 (after the signature). The caller checks the signature.
class PngChunkWalk {
 public:
  PngChunkWalk(ByteView data, PngWalkStop stop) noexcept : data_(data), stop_(stop) {}

  std::optional<PngChunk> next() noexcept;
  // After the walk: where the chunk that ended it (or the bytes that hold no header) starts.
  int64_t position() const noexcept { return position_; }

 private:
  ByteView data_;
  PngWalkStop stop_;
  int64_t position_ = 8;
  bool ended_ = false;
};

// The four bytes at position as text; throws std::out_of_range when they are not all inside.
std::string chunkType(ByteView data, int64_t position);

// One complete chunk: length, type, data and the CRC over type and data.
std::vector<uint8_t> makeChunk(std::string_view type, ByteView data);

// ---- Text chunks ----

// Largest text a compressed text chunk may inflate to.
inline constexpr int64_t kInflatedTextCap = int64_t{1} << 24;  // 16 MiB

// One decoded text chunk; keyword and text are the chunk's raw bytes.
struct TextChunk {
  std::string keyword;
  std::string text;
  bool ok = false;
};

using TextList = std::vector<std::pair<std::string, std::string>>;

// Decode the data of one chunk: start is the offset of the chunk data, length its size.
// Compressed text that does not inflate (or would pass kInflatedTextCap) is not ok.
TextChunk parseText(ByteView data, int64_t start, int64_t length);
TextChunk parseITxt(ByteView data, int64_t start, int64_t length);
TextChunk parseZtxt(ByteView data, int64_t start, int64_t length);

// (keyword, text) of every tEXt, zTXt and iTXt chunk up to IEND, in file order; compressed
// text that does not inflate is left out, and so are zTXt and iTXt without a keyword.
TextList pngTextChunks(ByteView data);

}  // namespace orvel::container
