// orvel strip: a copy of an image without its metadata, or the image itself stripped.
#include <cstdio>
#include <string>
#include <string_view>

#include "cli.h"
#include "cmd_edit.h"
#include "orvel.h"

namespace orvel_cli {

int runStrip(int argc, char** argv) {
  std::string input;
  std::string output;
  bool inPlace = false;
  bool bad = false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (arg == "--in-place") {
      inPlace = true;
    } else if (input.empty() && !arg.empty() && arg[0] != '-') {
      input = argv[i];
    } else {
      bad = true;
    }
  }
  if (bad || input.empty() || output.empty() == !inPlace) {
    std::fputs("usage: orvel strip IN (-o OUT | --in-place)\n", stderr);
    return kUsageError;
  }
  if (!checkReadable(input.c_str())) return kUsageError;
  const std::string& target = inPlace ? input : output;
  const ov_status status = ov_exif_strip_file(input.c_str(), target.c_str());
  if (status != OV_EXIF_OK) {
    std::fprintf(stderr, "orvel: cannot strip '%s' into '%s': %s (JPEG, PNG, WebP and HEIF/AVIF "
                         "files can be stripped)\n",
                 input.c_str(), target.c_str(), ov_exif_strerror(status));
    return kUsageError;
  }
  return 0;
}

}  // namespace orvel_cli
