#include "base/file.h"

#include <fcntl.h>
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

// The on-demand prefix parses on this thread read from, if any.
thread_local constinit ReadOnlyFile* demandSource = nullptr;

constexpr int64_t kWordBits = 64;

}  // namespace

void demand(ByteView view, int64_t position, int64_t length) noexcept {
  ReadOnlyFile* source = demandSource;
  if (source == nullptr || position < 0 || length <= 0) return;
  const uint8_t* begin = source->demanded_;
  const auto prefixLength = static_cast<int64_t>(source->demandedLength_);
  if (view.data() < begin || view.data() >= begin + prefixLength) return;
  const int64_t from = (view.data() - begin) + std::min(position, prefixLength);
  const int64_t to = from + std::min(length, prefixLength);
  source->fillPrefix(std::min(from, prefixLength), std::min(to, prefixLength));
}

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
  // Leave the thread's chain of on-demand prefixes, wherever this one stands in it.
  if (demanded_ != nullptr) {
    if (demandSource == this) demandSource = previousDemandSource_;
    for (ReadOnlyFile* file = demandSource; file != nullptr; file = file->previousDemandSource_) {
      if (file->previousDemandSource_ == this) file->previousDemandSource_ = previousDemandSource_;
    }
  }
  if (fd_ >= 0) ::close(fd_);
}

bool ReadOnlyFile::startOnDemandPrefix(int64_t length) {
  // Not zero-filled: only the bytes read into it are ever looked at. Memory the allocator hands
  // back warm costs far less than fresh pages, which a large read would first fault in.
  demandedStorage_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<std::size_t>(length));
  demanded_ = demandedStorage_.get();
  demandedLength_ = static_cast<std::size_t>(length);
  const int64_t windows = (length + kDemandWindow - 1) / kDemandWindow;
  windowsRead_.assign(static_cast<std::size_t>((windows + kWordBits - 1) / kWordBits), 0);
  previousDemandSource_ = demandSource;
  demandSource = this;
  fillPrefix(0, std::min(length, kWholeReadLimit));
  return true;
}

bool ReadOnlyFile::windowsAllRead(int64_t first, int64_t last) const noexcept {
  for (int64_t window = first; window <= last;) {
    const uint64_t word = windowsRead_[static_cast<std::size_t>(window / kWordBits)];
    const int64_t bit = window % kWordBits;
    if (bit == 0 && last - window >= kWordBits - 1) {
      if (word != ~uint64_t{0}) return false;
      window += kWordBits;
      continue;
    }
    if ((word >> bit & 1) == 0) return false;
    ++window;
  }
  return true;
}

void ReadOnlyFile::fillPrefix(int64_t from, int64_t to) noexcept {
  if (from >= to) return;
  const int64_t first = from / kDemandWindow;
  const int64_t last = (to - 1) / kDemandWindow;
  if (windowsAllRead(first, last)) return;
  const auto isRead = [&](int64_t window) {
    return (windowsRead_[static_cast<std::size_t>(window / kWordBits)] >> (window % kWordBits) & 1) != 0;
  };
  const auto length = static_cast<int64_t>(demandedLength_);
  const int64_t windows = (length + kDemandWindow - 1) / kDemandWindow;
  for (int64_t window = first; window <= last;) {
    if (isRead(window)) {
      ++window;
      continue;
    }
    const int64_t start = window * kDemandWindow;
    // A read that follows the last one reads twice as far ahead (a walk over many small
    // chunks); a jump starts again from one window (the header after a large image).
    const bool follows = start >= lastReadEnd_ && start - lastReadEnd_ <= 4 * kDemandWindow;
    readAhead_ = follows ? std::min(readAhead_ * 2, kLongestReadAhead) : kDemandWindow;
    // One read for the run of windows not read yet, as far as asked and the read-ahead reach.
    const int64_t reach = std::max(last, window + readAhead_ / kDemandWindow - 1);
    int64_t end = window;
    while (end < windows && end <= reach && !isRead(end)) {
      windowsRead_[static_cast<std::size_t>(end / kWordBits)] |= uint64_t{1} << (end % kWordBits);
      ++end;
    }
    const int64_t stop = std::min(end * kDemandWindow, length);
    if (readFully(fd_, start, demanded_ + start, stop - start) != stop - start) {
      demandFailed_ = true;
    }
    lastReadEnd_ = stop;
    window = end;
  }
}

std::optional<ByteView> ReadOnlyFile::prefix(int64_t length) {
  if (!isOpen() || length <= 0) return std::nullopt;
  if (length > size_) length = size_;
  if (demanded_ == nullptr && copy_.empty()) {
    // A short prefix is read at once; a longer one as parsers ask for it, so that the bytes of
    // a large image are never read to find its metadata.
    if (length > kWholeReadLimit && startOnDemandPrefix(length)) {
      if (demandFailed_) return std::nullopt;
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
  if (demanded_ != nullptr) return ByteView(demanded_, demandedLength_);
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
