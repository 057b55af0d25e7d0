// Arbitrary bytes as an XMP packet: parsed directly and through a JPEG APP1 segment, which must
// agree; every stored value is non-empty and stripped. The bytes are also read as a whole file,
// which reaches the PNG and WebP carriers.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "metadata/xmp/xmp.h"

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<uint8_t> inJpeg(std::string_view packet) {
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE1};
  const std::size_t length = 2 + orvel::metadata::xmp::kXmpSignatureSize + packet.size();
  jpeg.push_back(static_cast<uint8_t>(length >> 8));
  jpeg.push_back(static_cast<uint8_t>(length));
  constexpr std::string_view signature{"http://ns.adobe.com/xap/1.0/\0", 29};
  jpeg.insert(jpeg.end(), signature.begin(), signature.end());
  jpeg.insert(jpeg.end(), packet.begin(), packet.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvel::metadata::xmp;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const XmpRecord record = parseXmp(text);
  for (const auto& [name, value] : record.properties) {
    if (value.empty() || isBlank(value.front()) || isBlank(value.back())) __builtin_trap();
    if (name.find(':') == std::string::npos || name.rfind("rdf:", 0) == 0) __builtin_trap();
  }
  for (const auto& subject : record.subjects) {
    if (subject.empty()) __builtin_trap();
  }
  if (size + 2 + kXmpSignatureSize <= 0xFFFF) {
    const XmpRecord viaJpeg = readXmpBytes(inJpeg(text));
    if (viaJpeg.properties.size() != record.properties.size() || viaJpeg.title != record.title ||
        viaJpeg.creators != record.creators) {
      __builtin_trap();
    }
  }
  (void)readXmpBytes(ByteView(data, size));
  return 0;
}
