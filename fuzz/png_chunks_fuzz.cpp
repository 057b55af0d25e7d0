// Arbitrary bytes as a PNG: the locators and text decoders never fail, stripping is stable,
// and a replaced EXIF stands right after IHDR with a correct CRC.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container/png.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"

namespace {

using orvel::base::ByteView;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// Whether the first IHDR of a rebuilt file is followed at once by the expected eXIf chunk.
bool exifFollowsIhdr(const std::vector<uint8_t>& png, const std::vector<uint8_t>& exif) {
  const auto expected = orvel::container::makeChunk("eXIf", exif);
  int64_t position = 8;
  const auto length = static_cast<int64_t>(png.size());
  while (position + 12 <= length) {
    const int64_t next = position + 12 + orvel::base::readUint32(png, position, true);
    if (orvel::container::chunkType(png, position + 4) == "IHDR") {
      return next + static_cast<int64_t>(expected.size()) <= length &&
             std::equal(expected.begin(), expected.end(), png.begin() + next);
    }
    position = next;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteView png(data, size);
  const int64_t exif = orvel::metadata::pipeline::findExifInPng(png);
  check(exif == 0 || (exif >= 16 && exif < static_cast<int64_t>(size)));
  (void)orvel::container::pngTextChunks(png);
  (void)orvel::metadata::xmp::findXmpInPng(png);

  const auto stripped = orvel::metadata::edit::stripPng(png);
  // Empty for what is no PNG, and for a PNG with a chunk cut short before its end.
  check(stripped.empty() || orvel::container::isPng(png));
  check(stripped.empty() || orvel::metadata::edit::stripPng(stripped) == stripped);

  const std::vector<uint8_t> newExif = {'I', 'I', '*', 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
  const auto replaced = orvel::metadata::edit::replacePngExif(png, newExif);
  check(replaced.empty() || exifFollowsIhdr(replaced, newExif));
  return 0;
}
