// orvel strip: a copy of an image without its metadata, or the image itself stripped.
#include <cstdint>
#include <cstdio>
#include <vector>
#include <string>
#include <string_view>

#include "cli.h"
#include "cmd_edit.h"
#include "orvel.h"

namespace orvel_cli {
namespace {

// Which side failed: the input, when its bytes cannot be stripped either, else the output.
void explainStripFailure(const std::string& input, const std::string& target) {
  if (!checkWritable(target)) return;
  const std::vector<uint8_t> bytes = fileBytes(input);
  uint8_t* stripped = nullptr;
  int64_t length = 0;
  const ov_status status = bytes.empty() ? OV_EXIF_UNSUPPORTED
                                         : ov_exif_strip_buffer(bytes.data(),
                                                                static_cast<int64_t>(bytes.size()),
                                                                &stripped, &length);
  ov_exif_buffer_free(stripped);
  if (status != OV_EXIF_OK) {
    std::fprintf(stderr, "orvel: cannot strip '%s': it is truncated or not a JPEG, PNG, WebP or "
                         "HEIF/AVIF file\n", input.c_str());
  } else {
    std::fprintf(stderr, "orvel: cannot write '%s': writing or replacing the file failed\n",
                 target.c_str());
  }
}

}  // namespace

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
  if (!checkWritable(target)) return kUsageError;
  if (ov_exif_strip_file(input.c_str(), target.c_str()) != OV_EXIF_OK) {
    explainStripFailure(input, target);
    return kUsageError;
  }
  return 0;
}

}  // namespace orvel_cli
