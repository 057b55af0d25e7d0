// The check made before a file reaches the library, which would report a missing file as a
// handle with no metadata rather than an error.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli.h"

namespace orvel_cli {

namespace {

bool complain(const char* path, const char* reason) {
  std::fprintf(stderr, "orvel: cannot read '%s': %s\n", path, reason);
  return false;
}

}  // namespace

bool checkReadable(const char* path) {
  struct stat info {};
  if (stat(path, &info) != 0) return complain(path, std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return complain(path, std::strerror(EISDIR));
  // The library reads by size and offset; a pipe or device would only block or read as empty.
  if (!S_ISREG(info.st_mode)) return complain(path, "not a regular file");
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return complain(path, std::strerror(errno));
  std::fgetc(file);  // a file that opens but cannot be read (EIO) shows here
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) return complain(path, std::strerror(error));
  return true;
}

}  // namespace orvel_cli
