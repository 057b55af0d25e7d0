#include "exif/zlibutil.h"

#include "compress/zlib.h"

namespace orvel::exif {

std::vector<uint8_t> zlibInflate(ByteView input) {
  try {
    return ::orvel::zlibInflate(input, kInflatedTextCap);
  } catch (const OrvelException&) {
    return {};
  }
}

}  // namespace orvel::exif
