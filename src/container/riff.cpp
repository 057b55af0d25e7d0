#include "container/riff.h"

#include <stdexcept>

#include "base/file.h"
#include "base/text.h"

namespace orvel::container {

bool isRiffForm(ByteView data, std::string_view form) noexcept {
  return data.size() >= 12 && base::hasBytesAt(data, 0, "RIFF") && base::hasBytesAt(data, 8, form);
}

std::optional<RiffChunk> RiffChunkWalk::next() noexcept {
  if (ended_) return std::nullopt;
  base::demand(data_, position_, 8);
  if (!base::inBounds(data_, position_, 8)) {
    ended_ = true;
    return std::nullopt;
  }
  const auto* fourcc = reinterpret_cast<const char*>(data_.data()) + position_;
  const RiffChunk chunk{position_, base::readU32le(data_, position_ + 4),
                        std::string_view(fourcc, 4)};
  if (stop_ == RiffWalkStop::atShortPayload &&
      chunk.payloadEnd() > static_cast<int64_t>(data_.size())) {
    ended_ = true;
    return std::nullopt;
  }
  position_ = chunk.next();
  return chunk;
}

std::vector<uint8_t> riffChunk(std::string_view fourcc, ByteView data) {
  if (data.size() > 0xFFFFFFFFu - 9) throw std::overflow_error("riff: chunk too long");
  std::vector<uint8_t> out;
  out.reserve(data.size() + 9);
  out.insert(out.end(), fourcc.begin(), fourcc.end());
  base::appendU32(out, static_cast<uint32_t>(data.size()), false);
  base::appendBytes(out, data);
  if (data.size() % 2 == 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> assembleRiff(std::string_view form,
                                  const std::vector<std::vector<uint8_t>>& chunks) {
  uint64_t total = 0;
  for (const auto& chunk : chunks) total += chunk.size();
  if (total > 0xFFFFFFFFu - 4) throw std::overflow_error("riff: RIFF size does not fit");
  std::vector<uint8_t> out;
  out.reserve(12 + total);
  constexpr std::string_view kRiff = "RIFF";
  out.insert(out.end(), kRiff.begin(), kRiff.end());
  base::appendU32(out, static_cast<uint32_t>(total + 4), false);
  out.insert(out.end(), form.begin(), form.end());
  for (const auto& chunk : chunks) base::appendBytes(out, chunk);
  return out;
}

}  // namespace orvel::container
