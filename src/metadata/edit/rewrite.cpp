#include "metadata/edit/rewrite.h"

#include <cstring>
#include <stdexcept>

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

void Rewrite::finishWith(Deferred last) { last_ = last; }

int64_t Rewrite::sizeBound() const noexcept {
  return size_ + (last_ ? static_cast<int64_t>(last_->bound.size()) : 0);
}

std::vector<ByteView> Rewrite::pieces() const {
  if (!last_) return pieces_;
  Rewrite ranges;
  last_->ranges(last_->bound, ranges);
  std::vector<ByteView> out = pieces_;
  out.insert(out.end(), ranges.pieces_.begin(), ranges.pieces_.end());
  return out;
}

int64_t Rewrite::writeTo(std::span<uint8_t> out) const {
  if (static_cast<int64_t>(out.size()) < sizeBound()) {
    throw std::length_error("rewrite: the buffer is too small");
  }
  std::size_t at = 0;
  for (const ByteView piece : pieces_) {
    std::memcpy(out.data() + at, piece.data(), piece.size());
    at += piece.size();
  }
  const int64_t last = last_ ? last_->copy(last_->bound, out.subspan(at)) : 0;
  return static_cast<int64_t>(at) + last;
}

std::vector<uint8_t> Rewrite::bytes() const {
  std::vector<uint8_t> out(static_cast<std::size_t>(sizeBound()));
  out.resize(static_cast<std::size_t>(writeTo(out)));
  return out;
}

}  // namespace orvel::metadata::edit
