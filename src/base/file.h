// Reading regular files without blocking on special ones: a file opened for reading whose prefix
// is mapped into memory (or read, where mapping fails) so that only the pages a parser touches
// are ever loaded, and whole-file reads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace orvel::base {

// Prefixes up to this size are read whole with one call; larger ones are mapped.
inline constexpr int64_t kWholeReadLimit = int64_t{64} << 10;

class ReadOnlyFile {
 public:
  // Opens `path` when it names a regular file; anything else (missing, a directory, a pipe,
  // no permission) leaves the object closed.
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int64_t size() const { return size_; }

  // The first min(length, size) bytes, valid while this object lives; nullopt on a read
  // error. Fewer bytes when the file shrank meanwhile and had to be read.
  std::optional<ByteView> prefix(int64_t length);

  // The first min(length, size) bytes read into memory, keeping what earlier calls read;
  // nullopt on a read error or when the file proved shorter than its size. Valid until the
  // next call or releaseHead.
  std::optional<ByteView> head(int64_t length);
  void releaseHead();

  // Up to `length` bytes at `offset` (fewer at the end of the file); nullopt on a read error.
  std::optional<std::vector<uint8_t>> readAt(int64_t offset, int64_t length) const;

 private:
  int fd_ = -1;
  int64_t size_ = 0;
  void* map_ = nullptr;
  std::size_t mapLength_ = 0;
  std::vector<uint8_t> copy_;
  std::unique_ptr<uint8_t[]> head_;
  int64_t headLength_ = 0;
};

// The whole of a regular file; nullopt when it cannot be opened or read.
std::optional<Bytes> readWholeFile(const std::string& path);

}  // namespace orvel::base
