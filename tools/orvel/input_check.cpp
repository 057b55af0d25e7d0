// The check made before a file reaches the library, which would report a missing file as a
// handle with no metadata rather than an error.
#include <cstdio>
#include <string>

#include "batch.h"
#include "cli.h"

namespace orvel_cli {

bool checkReadable(const char* path) {
  const std::string reason = unreadableReason(path);
  if (reason.empty()) return true;
  std::fprintf(stderr, "orvel: cannot read '%s': %s\n", path, reason.c_str());
  return false;
}

}  // namespace orvel_cli
