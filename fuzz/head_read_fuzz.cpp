// A JPEG read from a head of any length gives either no record or exactly the record of the
// whole bytes. The first two bytes (little-endian) choose where the head ends.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "metadata/pipeline/read.h"
#include "support/same_record.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const orvel::base::ByteView input(data, size);
  const std::size_t cut = input[0] | std::size_t{input[1]} << 8;
  const orvel::base::ByteView file = input.subspan(2);
  const std::optional<orvel::metadata::Metadata> head =
      orvel::metadata::pipeline::readMetadataFromHead(file.first(cut % (file.size() + 1)));
  if (head)
    check(
        orvel::testing::sameRecord(*head, orvel::metadata::pipeline::readMetadataFromBytes(file)));
  return 0;
}
