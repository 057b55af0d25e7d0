#include "metadata/edit/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "base/file.h"

namespace orvel::metadata::edit {
namespace {

constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kPrivateMode = 0600;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the process's umask

// Closes a descriptor once, when the holder goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(); }
  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  // False when closing reports an error (a delayed write failure on some file systems).
  bool close() noexcept {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, ByteView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

bool writeAll(int fd, std::span<const ByteView> pieces) {
  for (const ByteView piece : pieces) {
    if (!writeAll(fd, piece)) return false;
  }
  return true;
}

std::optional<mode_t> permissionsOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return info.st_mode & kPermissionBits;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. A file system that cannot sync directories has already
// put the file in place, so a failure here does not undo the replacement.
void syncDirectoryOf(const std::string& path) {
  Descriptor dir(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

// Creates `path` exclusively and fills it with bytes, synced, with the given permission bits
// (or the default for new files). Removes what it created on failure.
bool writeNewFile(const std::string& path, std::span<const ByteView> pieces,
                  std::optional<mode_t> mode) {
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                       mode ? kPrivateMode : kNewFileMode));
  if (!fd.valid()) return false;
  const bool written = writeAll(fd.get(), pieces) && (!mode || ::fchmod(fd.get(), *mode) == 0) &&
                       ::fsync(fd.get()) == 0;
  if (fd.close() && written) return true;
  ::unlink(path.c_str());
  return false;
}

// The stand-in for a platform copy across file systems: a staged copy beside the target,
// renamed over it, so the target is never half-written.
bool copyAcrossFileSystems(const std::string& source, const std::string& target, mode_t mode) {
  const std::optional<base::Bytes> bytes = base::readWholeFile(source);
  if (!bytes) return false;
  const std::string staged = temporaryPathFor(target);
  const ByteView whole(*bytes);
  if (!writeNewFile(staged, {&whole, 1}, mode)) return false;
  if (::rename(staged.c_str(), target.c_str()) != 0) {
    ::unlink(staged.c_str());
    return false;
  }
  // The target now holds the complete new file; a source that cannot be removed stays
  // behind rather than the target being undone.
  ::unlink(source.c_str());
  return true;
}

// The file a path names once symbolic links are followed (a link to a link included), so that
// writing replaces that file and leaves the links as they are. A path that is no link, or a
// link to nothing yet, names itself or that missing file; a chain of links longer than the
// system follows is nothing.
std::optional<std::string> followLinks(std::string path) {
  constexpr int kMostLinks = 40;  // what the kernel follows before ELOOP
  for (int links = 0; links <= kMostLinks; ++links) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string text(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= text.size()) return std::nullopt;
    text.resize(static_cast<std::size_t>(length));
    path = text.front() == '/' ? text : directoryOf(path) + "/" + text;
  }
  return std::nullopt;
}

}  // namespace

std::string temporaryPathFor(const std::string& target) {
  return target + ".orvel-" + std::to_string(::getpid()) + ".tmp";
}

bool moveIntoPlace(const std::string& source, const std::string& target, mode_t mode) {
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  return copyAcrossFileSystems(source, target, mode);
}

bool replaceFile(const std::string& target, ByteView bytes) {
  return replaceFileWithPieces(target, std::span<const ByteView>(&bytes, 1));
}

bool replaceFileWithPieces(const std::string& path, std::span<const ByteView> pieces) {
  if (path.empty()) return false;
  const std::optional<std::string> followed = followLinks(path);
  if (!followed) return false;
  const std::string& target = *followed;
  const std::string temporary = temporaryPathFor(target);
  const std::optional<mode_t> mode = permissionsOf(target);
  if (!writeNewFile(temporary, pieces, mode)) return false;  // includes "already exists"
  mode_t finalMode = kNewFileMode;
  if (mode) {
    finalMode = *mode;
  } else if (auto written = permissionsOf(temporary)) {
    finalMode = *written;
  }
  if (!moveIntoPlace(temporary, target, finalMode)) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncDirectoryOf(target);
  return true;
}

}  // namespace orvel::metadata::edit
