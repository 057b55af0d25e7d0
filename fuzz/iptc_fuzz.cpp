// Arbitrary bytes as IPTC: a buffer starting like a JPEG is searched as it is; anything else
// becomes the 0x0404 resource of an APP13 segment, so the dataset walk itself is exercised.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "metadata/iptc/iptc.h"

namespace {

std::vector<uint8_t> inApp13(const uint8_t* data, std::size_t size) {
  constexpr std::string_view header{"Photoshop 3.0\0" "8BIM\x04\x04\0\0", 22};
  const std::size_t segmentLength = 2 + header.size() + 4 + size + (size & 1);
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xED,
                               static_cast<uint8_t>(segmentLength >> 8),
                               static_cast<uint8_t>(segmentLength)};
  jpeg.insert(jpeg.end(), header.begin(), header.end());
  for (int shift : {24, 16, 8, 0}) jpeg.push_back(static_cast<uint8_t>(size >> shift));
  jpeg.insert(jpeg.end(), data, data + size);
  if (size & 1) jpeg.push_back(0);
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using orvel::base::inBounds;
  using namespace orvel::metadata::iptc;
  const bool isJpeg = size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
  if (!isJpeg && size > 0xFF00) return 0;
  const std::vector<uint8_t> buffer = isJpeg ? std::vector<uint8_t>(data, data + size)
                                             : inApp13(data, size);
  const IptcLocation found = findApp13Iptc(buffer);
  if (found.offset >= 0 && !inBounds(buffer, found.offset, found.length)) __builtin_trap();
  if (!isJpeg && found.offset < 0) __builtin_trap();  // the wrapper always holds a block
  const IptcRecord record = parseIptc(buffer);
  if (record.names.size() > 45) __builtin_trap();
  for (const auto& [name, value] : record.names) {
    (void)value;
    if (name.empty()) __builtin_trap();
  }
  if (!record.keywords.empty() && record.names.find("Keywords") == nullptr) __builtin_trap();
  return 0;
}
