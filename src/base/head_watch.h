// Reading a large file's metadata from its head alone. A parse over the first bytes of a file
// gives the same record as a parse over the whole prefix unless it consults where the bytes
// end: every such consultation reports to noteViewEnd (base/bytes.h), and a watch records
// whether one concerned the head's end.
#pragma once

#include "base/bytes.h"

namespace orvel::base {

// Watches parses on this thread over views ending where `head` ends, for its lifetime.
class HeadWatch {
 public:
  explicit HeadWatch(ByteView head) noexcept;
  ~HeadWatch();
  HeadWatch(const HeadWatch&) = delete;
  HeadWatch& operator=(const HeadWatch&) = delete;

  // True once a parse asked about a byte at or past the head's end, or about its length.
  bool overrun() const noexcept { return detail::watchedHeadOverrun; }

 private:
  const uint8_t* previousEnd_;
  bool previousOverrun_;
};

}  // namespace orvel::base
