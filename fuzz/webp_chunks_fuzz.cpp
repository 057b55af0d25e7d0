// Arbitrary bytes as a WebP: the locators never fail, and every rebuilt file is a well-formed
// RIFF container (exact size, whole chunks, pads present) with the flags and chunks promised.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container/riff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"

namespace {

using orvel::base::ByteView;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Walk {
  bool wellFormed = false;
  std::vector<std::string> fourccs;
  int vp8xFlags = -1;
  std::vector<uint8_t> lastPayload;
};

Walk walk(const std::vector<uint8_t>& webp) {
  Walk result;
  if (!orvel::container::isWebp(webp) ||
      orvel::base::readUint32(webp, 4, false) != webp.size() - 8) {
    return result;
  }
  size_t position = 12;
  while (position + 8 <= webp.size()) {
    const uint32_t size = orvel::base::readUint32(webp, static_cast<int64_t>(position) + 4, false);
    const size_t next = position + 8 + size + (size & 1);
    if (next > webp.size()) return result;
    const std::string fourcc(webp.begin() + static_cast<long>(position),
                             webp.begin() + static_cast<long>(position) + 4);
    if (fourcc == "VP8X" && size > 0 && result.vp8xFlags < 0) result.vp8xFlags = webp[position + 8];
    result.fourccs.push_back(fourcc);
    result.lastPayload.assign(webp.begin() + static_cast<long>(position) + 8,
                              webp.begin() + static_cast<long>(position + 8 + size));
    position = next;
  }
  result.wellFormed = position == webp.size();
  return result;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteView webp(data, size);
  const int64_t exif = orvel::metadata::pipeline::findExifInWebp(webp);
  check(exif == 0 || (exif >= 20 && exif <= static_cast<int64_t>(size)));
  (void)orvel::metadata::xmp::findXmpInWebp(webp);

  const auto stripped = orvel::metadata::edit::stripWebp(webp);
  if (!stripped.empty()) {
    const Walk w = walk(stripped);
    check(w.wellFormed && !contains(w.fourccs, "EXIF") && !contains(w.fourccs, "XMP "));
    check(w.vp8xFlags < 0 || (w.vp8xFlags & 0x0C) == 0);
  }
  const std::vector<uint8_t> newExif = {'M', 'M', 0, '*', 0, 0, 0, 8, 0, 0, 0, 0, 0};
  const auto replaced = orvel::metadata::edit::replaceWebpExif(webp, newExif);
  if (!replaced.empty()) {
    const Walk w = walk(replaced);
    check(w.wellFormed && w.fourccs.back() == "EXIF" && w.lastPayload == newExif);
    check(std::count(w.fourccs.begin(), w.fourccs.end(), "EXIF") == 1);
    check(w.vp8xFlags < 0 || (w.vp8xFlags & 0x08) != 0);
  }
  return 0;
}
