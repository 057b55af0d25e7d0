// PNG chunks: the one walk over a PNG's chunks, the chunk writer, and the keyword and text of
// the three text chunk kinds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
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

// Whether the chunk is a tEXt, zTXt or iTXt chunk.
bool isTextChunk(const PngChunk& chunk) noexcept;
// The keyword of a text chunk (the bytes before its first NUL); empty when it has none. The
// chunk's data must lie inside the data.
std::string_view textKeyword(ByteView data, const PngChunk& chunk);
// Decodes a tEXt, zTXt or iTXt chunk by its kind.
TextChunk parseTextChunk(ByteView data, const PngChunk& chunk);

// ---- Raw profiles ----
// Writers before the eXIf chunk (ImageMagick among them) keep binary profiles in text chunks
// keyed "Raw profile type " + the profile's name: a line feed, the name, a line feed, the byte
// count right-aligned, a line feed, then the bytes as hexadecimal digits broken into lines.

inline constexpr std::string_view kRawProfileKeyword = "Raw profile type ";

// One kind of profile a reader takes: its name (ASCII case ignored) and the bytes it must begin
// with (none for any).
struct RawProfileKind {
  std::string_view name;
  std::string_view header;
};

// The bytes of a raw profile's text, at most its stated count; nothing when the text does not
// begin as a profile does.
std::optional<std::vector<uint8_t>> rawProfileBytes(std::string_view text);

// Whether a keyword names a raw profile of one of the kinds.
bool namesRawProfile(std::string_view keyword, std::span<const RawProfileKind> kinds);

// The bytes of the first raw profile of a text list, in file order, of one of the kinds whose
// bytes begin with the kind's header.
std::optional<std::vector<uint8_t>> rawProfileIn(const TextList& texts,
                                                 std::span<const RawProfileKind> kinds);

}  // namespace orvel::container
