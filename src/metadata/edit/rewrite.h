// A rewritten file described as the pieces it is made of: ranges of the source file and new
// bytes. The result is laid down once, into one buffer sized up front or straight into a
// file, so the image data of a large file is copied once and never held twice.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/bytes.h"

namespace orvel::metadata::edit {

using base::ByteView;

class Rewrite {
 public:
  Rewrite() = default;
  Rewrite(Rewrite&&) = default;
  Rewrite& operator=(Rewrite&&) = default;
  // The pieces point into owned storage, which a copy would not share.
  Rewrite(const Rewrite&) = delete;
  Rewrite& operator=(const Rewrite&) = delete;

  // A range of the source, which must outlive this object. A range that continues the previous
  // piece joins it.
  void copy(ByteView range);
  // New bytes, kept here.
  void add(std::vector<uint8_t> bytes);

  int64_t size() const noexcept { return size_; }
  std::span<const ByteView> pieces() const noexcept { return pieces_; }

  // Lays the pieces into out, which holds exactly size() bytes.
  void writeTo(std::span<uint8_t> out) const noexcept;
  std::vector<uint8_t> bytes() const;

 private:
  std::vector<ByteView> pieces_;
  std::vector<std::vector<uint8_t>> owned_;  // moving a vector keeps its bytes where they are
  int64_t size_ = 0;
};

}  // namespace orvel::metadata::edit
