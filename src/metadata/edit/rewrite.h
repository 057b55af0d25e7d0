// A rewritten file described as the pieces it is made of: ranges of the source file and new
// bytes. The result is laid down once, into one buffer sized up front or straight into a
// file, so the image data of a large file is copied once and never held twice.
#pragma once

#include <cstdint>
#include <optional>
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

  // A last piece whose end is found while it is copied (a JPEG's image data, searched for the
  // end of the image): `bound` holds it, `copy` lays it into out (room for bound's bytes) and
  // answers its length, `ranges` adds the ranges of the source it is made of.
  struct Deferred {
    ByteView bound;
    int64_t (*copy)(ByteView bound, std::span<uint8_t> out);
    void (*ranges)(ByteView bound, Rewrite& into);
  };

  // A range of the source, which must outlive this object. A range that continues the previous
  // piece joins it.
  void copy(ByteView range);
  // New bytes, kept here.
  void add(std::vector<uint8_t> bytes);
  // Ends the file with a deferred piece; nothing may follow it.
  void finishWith(Deferred last);

  // The size, or a bound on it when the last piece is deferred.
  int64_t sizeBound() const noexcept;
  // Every piece, the deferred one as the ranges it is made of, for writing to a file.
  std::vector<ByteView> pieces() const;

  // Lays the file into out, which holds at least sizeBound() bytes; answers its size.
  int64_t writeTo(std::span<uint8_t> out) const;
  std::vector<uint8_t> bytes() const;

 private:
  std::vector<ByteView> pieces_;
  std::vector<std::vector<uint8_t>> owned_;  // moving a vector keeps its bytes where they are
  int64_t size_ = 0;
  std::optional<Deferred> last_;
};

}  // namespace orvel::metadata::edit
