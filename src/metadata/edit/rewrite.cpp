#include "metadata/edit/rewrite.h"

#include <cstring>

namespace orvel::metadata::edit {

void Rewrite::copy(ByteView range) {
  if (range.empty()) return;
  size_ += static_cast<int64_t>(range.size());
  if (!pieces_.empty() && pieces_.back().data() + pieces_.back().size() == range.data()) {
    pieces_.back() = ByteView(pieces_.back().data(), pieces_.back().size() + range.size());
    return;
  }
  pieces_.push_back(range);
}

void Rewrite::add(std::vector<uint8_t> bytes) {
  if (bytes.empty()) return;
  size_ += static_cast<int64_t>(bytes.size());
  owned_.push_back(std::move(bytes));
  pieces_.emplace_back(owned_.back());
}

void Rewrite::writeTo(std::span<uint8_t> out) const noexcept {
  std::size_t at = 0;
  for (const ByteView piece : pieces_) {
    if (piece.size() > out.size() - at) return;  // a caller defect: out is too small
    std::memcpy(out.data() + at, piece.data(), piece.size());
    at += piece.size();
  }
}

std::vector<uint8_t> Rewrite::bytes() const {
  std::vector<uint8_t> out(static_cast<std::size_t>(size_));
  writeTo(out);
  return out;
}

}  // namespace orvel::metadata::edit
