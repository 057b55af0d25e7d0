// orvel thumb: the thumbnail embedded in a file's EXIF block, decoded and written again.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "orvel.h"

namespace orvel_cli {

int runThumb(int argc, char** argv) {
  std::vector<const char*> paths;
  std::string formatName;
  int quality = 90;
  if (!parseWriteArgs(argc, argv, paths, formatName, quality)) {
    std::fputs("usage: orvel thumb IN OUT [--format F] [--quality N]\n", stderr);
    return kUsageError;
  }
  std::vector<uint8_t> bytes;
  if (!readFile(paths[0], bytes)) return kUsageError;
  ov_image* thumbnail = nullptr;
  const ov_status status =
      ov_image_thumbnail(bytes.data(), static_cast<int64_t>(bytes.size()), &thumbnail);
  if (status == OV_IMAGE_UNSUPPORTED) {
    std::fprintf(stderr, "orvel: '%s' has no EXIF thumbnail that can be decoded\n", paths[0]);
    return kNotFound;
  }
  if (status != OV_IMAGE_OK) {
    std::fprintf(stderr, "orvel: cannot decode the thumbnail of '%s': %s\n", paths[0],
                 bytes.empty() ? "the file is empty" : ov_image_strerror(status));
    return kUsageError;
  }
  const int written = writeImage(thumbnail, paths[0], paths[1], formatName, quality);
  ov_image_free(thumbnail);
  return written;
}

}  // namespace orvel_cli
