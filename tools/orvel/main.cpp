// orvel: the command-line face of libOrvel. Uses only the public C interface.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli.h"
#include "orvel.h"

namespace {

constexpr const char* kUsage =
    "usage: orvel COMMAND [ARGS...]\n"
    "\n"
    "commands:\n"
    "  version        print the library version and ABI numbers\n"
    "  help, --help   print this text\n";

int printVersion() {
  std::printf("orvel %s (exif ABI %d, image ABI %d)\n", ov_version(),
              static_cast<int>(ov_exif_abi_version()), static_cast<int>(ov_image_abi_version()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ov_exif_init();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return orvel_cli::kUsageError;
  }
  std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "version" || command == "--version") return printVersion();
  std::fprintf(stderr, "orvel: unknown command '%s'\n\n%s", argv[1], kUsage);
  return orvel_cli::kUsageError;
}
