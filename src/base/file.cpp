#include "base/file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace orvel::base {
namespace {

// Reads until `length` bytes arrived or the file ended; -1 on an error.
int64_t readFully(int fd, int64_t offset, uint8_t* out, int64_t length) {
  int64_t done = 0;
  while (done < length) {
    const ssize_t got =
        ::pread(fd, out + done, static_cast<std::size_t>(length - done), offset + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
  // Non-blocking, so that naming a FIFO does not hang before the type check rejects it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  size_ = info.st_size;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (map_ != nullptr) ::munmap(map_, mapLength_);
  if (fd_ >= 0) ::close(fd_);
}

std::optional<ByteView> ReadOnlyFile::prefix(int64_t length) {
  if (!isOpen() || length <= 0) return std::nullopt;
  if (length > size_) length = size_;
  if (map_ == nullptr && copy_.empty()) {
    // One read is cheaper than mapping, faulting and unmapping for small prefixes; larger ones
    // are mapped so that only the pages a parser touches are loaded.
    void* mapped = length <= kWholeReadLimit ? MAP_FAILED
                                             : ::mmap(nullptr, static_cast<std::size_t>(length),
                                                      PROT_READ, MAP_PRIVATE, fd_, 0);
    if (mapped != MAP_FAILED) {
      map_ = mapped;
      mapLength_ = static_cast<std::size_t>(length);
    } else {
      copy_.resize(static_cast<std::size_t>(length));
      const int64_t got = readFully(fd_, 0, copy_.data(), length);
      if (got < 0) {
        copy_.clear();
        return std::nullopt;
      }
      copy_.resize(static_cast<std::size_t>(got));
    }
  }
  if (map_ != nullptr) return ByteView(static_cast<const uint8_t*>(map_), mapLength_);
  return ByteView(copy_);
}

std::optional<ByteView> ReadOnlyFile::head(int64_t length) {
  if (!isOpen() || length <= 0) return std::nullopt;
  length = std::min(length, size_);
  if (length > headLength_) {
    // Not zero-filled: every byte is read over at once.
    auto grown = std::make_unique_for_overwrite<uint8_t[]>(static_cast<std::size_t>(length));
    if (headLength_ > 0) std::copy_n(head_.get(), headLength_, grown.get());
    const int64_t wanted = length - headLength_;
    if (readFully(fd_, headLength_, grown.get() + headLength_, wanted) != wanted) {
      return std::nullopt;
    }
    head_ = std::move(grown);
    headLength_ = length;
  }
  return ByteView(head_.get(), static_cast<std::size_t>(length));
}

void ReadOnlyFile::releaseHead() {
  head_.reset();
  headLength_ = 0;
}

std::optional<std::vector<uint8_t>> ReadOnlyFile::readAt(int64_t offset, int64_t length) const {
  if (!isOpen() || offset < 0 || length < 0 || offset > size_) return std::nullopt;
  if (length > size_ - offset) length = size_ - offset;
  std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
  const int64_t got = readFully(fd_, offset, bytes.data(), length);
  if (got < 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

std::optional<Bytes> readWholeFile(const std::string& path) {
  const ReadOnlyFile file(path);
  if (!file.isOpen()) return std::nullopt;
  return file.readAt(0, file.size());
}

}  // namespace orvel::base
