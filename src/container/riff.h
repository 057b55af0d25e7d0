// RIFF chunks (the container of WebP): the one walk over a RIFF form's chunks and the writers of
// a chunk and of a whole form.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace orvel::container {

using base::ByteView;

// At least 12 bytes with "RIFF" at 0 and the form type at 8 (the RIFF size is not checked).
bool isRiffForm(ByteView data, std::string_view form) noexcept;
inline bool isWebp(ByteView data) noexcept { return isRiffForm(data, "WEBP"); }

// One chunk: FourCC, little-endian payload size, the payload, a pad byte when the size is odd.
struct RiffChunk {
  int64_t start = 0;
  uint32_t size = 0;
  std::string_view fourcc;  // inside the walked data

  int64_t payload() const { return start + 8; }
  int64_t payloadEnd() const { return payload() + int64_t{size}; }
  int64_t next() const { return payloadEnd() + (size & 1); }
};

// Where a walk stops, besides at a chunk header that does not fit: readers that bound their own
// reads take every chunk; others stop at the first chunk whose payload runs past the end.
enum class RiffWalkStop : uint8_t { atShortHeader, atShortPayload };

// Walks the chunks from offset 12 (after "RIFF", the size and the form type).
class RiffChunkWalk {
 public:
  RiffChunkWalk(ByteView data, RiffWalkStop stop) noexcept : data_(data), stop_(stop) {}
  std::optional<RiffChunk> next() noexcept;
  // After the walk: where the chunk that ended it (or the bytes that hold no header) starts.
  int64_t position() const noexcept { return position_; }

 private:
  ByteView data_;
  RiffWalkStop stop_;
  int64_t position_ = 12;
  bool ended_ = false;
};

// FourCC, little-endian size, data and a 0 pad byte when the size is odd.
std::vector<uint8_t> riffChunk(std::string_view fourcc, ByteView data);

// "RIFF", the size of what follows, the form type, then the chunks in order.
std::vector<uint8_t> assembleRiff(std::string_view form,
                                  const std::vector<std::vector<uint8_t>>& chunks);

}  // namespace orvel::container
