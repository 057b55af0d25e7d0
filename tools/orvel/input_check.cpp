// The checks made around the library, which reports a missing file as a handle with no
// metadata and any failed strip or write as one status: whether an input can be read, whether
// a destination can be written, and which of the two was at fault when a write failed.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

bool checkWritable(const std::string& target) {
  const auto complainAbout = [&](const std::string& reason) {
    std::fprintf(stderr, "orvel: cannot write '%s': %s\n", target.c_str(), reason.c_str());
    return false;
  };
  struct stat info {};
  if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return complainAbout(std::strerror(EISDIR));
  }
  // The new file is written beside the target and renamed over it: its directory must take it.
  const std::size_t slash = target.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  if (stat(directory.c_str(), &info) != 0) return complainAbout(std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) return complainAbout(std::strerror(ENOTDIR));
  if (access(directory.c_str(), W_OK) != 0) return complainAbout(std::strerror(errno));
  // The library's temporary name: target + ".orvel-" + process id + ".tmp".
  const std::string temporary = target + ".orvel-" + std::to_string(getpid()) + ".tmp";
  if (lstat(temporary.c_str(), &info) == 0) {
    return complainAbout("'" + temporary + "' is in the way (left by an earlier run?)");
  }
  return true;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace orvel_cli
