// Both strip functions on arbitrary bytes: the buffer form and the file form give the same
// result, a stripped JPEG holds no APP1/APP13/COM segment before its scan and strips again to
// itself, and nothing else escapes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/file.h"
#include "metadata/edit/write.h"
#include "orvel.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void checkJpegSegments(const std::vector<uint8_t>& jpeg) {
  size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA && jpeg[p + 1] != 0xD9) {
    const uint8_t marker = jpeg[p + 1];
    check(marker != 0xE1 && marker != 0xED && marker != 0xFE);
    p += 2 + (size_t{jpeg[p + 2]} << 8 | jpeg[p + 3]);
  }
}

std::string scratchPath(const char* name) {
  return std::string("/tmp/orvel-strip-fuzz-") + std::to_string(::getpid()) + "-" + name;
}

std::vector<uint8_t> stripThroughFiles(const uint8_t* data, size_t size, ov_status& status) {
  const std::string in = scratchPath("in");
  const std::string out = scratchPath("out");
  std::FILE* file = std::fopen(in.c_str(), "wb");
  check(file != nullptr);
  check(std::fwrite(data, 1, size, file) == size);
  std::fclose(file);
  ::unlink(out.c_str());
  status = ov_exif_strip_file(in.c_str(), out.c_str());
  std::vector<uint8_t> result = orvel::base::readWholeFile(out).value_or(std::vector<uint8_t>{});
  ::unlink(in.c_str());
  ::unlink(out.c_str());
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (ov_exif_init(), true);
  (void)started;
  if (size == 0) return 0;
  uint8_t* out = nullptr;
  int64_t length = 0;
  const ov_status status = ov_exif_strip_buffer(data, static_cast<int64_t>(size), &out, &length);
  check(status == OV_EXIF_OK || status == OV_EXIF_UNSUPPORTED);
  std::vector<uint8_t> stripped;
  if (status == OV_EXIF_OK) stripped.assign(out, out + length);
  ov_exif_buffer_free(out);

  ov_status fileStatus = 0;
  const std::vector<uint8_t> fromFile = stripThroughFiles(data, size, fileStatus);
  check(fileStatus == status);
  if (status == OV_EXIF_OK) {
    check(fromFile == stripped);
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
      checkJpegSegments(stripped);
      check(orvel::metadata::edit::stripMetadataBytes(stripped) == stripped);
    }
  }
  return 0;
}
