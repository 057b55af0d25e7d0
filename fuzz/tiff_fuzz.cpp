// Arbitrary bytes as a TIFF block: every directory reachable through next pointers (bounded)
// is read and every value rendered.
#include <cstddef>
#include <cstdint>
#include <set>

#include "container/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvel::base;
  using namespace orvel::container;
  ByteView bytes(data, size);
  if (size < 8) return 0;
  const bool bigEndian = data[0] != 'I';
  std::set<uint32_t> seen;
  uint32_t position = readUint32(bytes, 4, bigEndian);
  for (int depth = 0; depth < 8 && seen.insert(position).second; ++depth) {
    Ifd ifd = readIFD(bytes, position, 0, bigEndian);
    for (const auto& [number, tag] : ifd.tags) {
      std::string text = toString(tag);
      (void)readLongTag(tag);
      if (!tag.data.empty() && tag.data.size() != typeSize(tag.type) * uint64_t{tag.count}) {
        __builtin_trap();  // data is all or nothing
      }
      (void)text;
    }
    position = ifd.next;
  }
  return 0;
}
