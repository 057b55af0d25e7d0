// Reading regular files without blocking on special ones, and without memory mapping them (a
// file truncated by another process while mapped raises SIGBUS in the reader): a file opened
// for reading whose prefix is read with bounded pread calls, as far as parsers ask for it, and
// whole-file reads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace orvel::base {

// Prefixes up to this size are read whole with one call; larger ones are read as parsers ask.
inline constexpr int64_t kWholeReadLimit = int64_t{64} << 10;
// A prefix read on demand is read in windows of this size; reads that follow one another read
// ever more windows at once, up to kLongestReadAhead.
inline constexpr int64_t kDemandWindow = int64_t{16} << 10;
inline constexpr int64_t kLongestReadAhead = int64_t{4} << 20;

// Tells the prefix being read on this thread (if any) that a parse is about to read
// [position, position + length) of `view`: when the view lies in that prefix, the bytes are read
// from the file now. Every parser that reads a file's prefix calls it before reading bytes
// beyond the ones it was handed (a chunk, a box, a directory, a value); on other views, or
// with no such prefix, it does nothing.
void demand(ByteView view, int64_t position, int64_t length) noexcept;

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
  // error. A short prefix is read at once (fewer bytes when the file shrank meanwhile); a longer
  // one starts with its first kWholeReadLimit bytes, and the rest is read as demand() asks for
  // it (on the thread that made the prefix, while this object lives): bytes no parser asked
  // for are never read, and hold nothing that may be relied on.
  std::optional<ByteView> prefix(int64_t length);

  // True once a read the prefix demanded failed or came short (the file shrank): the parse
  // saw zeros where the file's bytes were meant to be, and its result must not be used.
  bool demandFailed() const { return demandFailed_; }

  // The first min(length, size) bytes read into memory, keeping what earlier calls read;
  // nullopt on a read error or when the file proved shorter than its size. Valid until the
  // next call or releaseHead.
  std::optional<ByteView> head(int64_t length);
  void releaseHead();

  // Up to `length` bytes at `offset` (fewer at the end of the file); nullopt on a read error.
  std::optional<std::vector<uint8_t>> readAt(int64_t offset, int64_t length) const;

 private:
  friend void demand(ByteView view, int64_t position, int64_t length) noexcept;

  bool startOnDemandPrefix(int64_t length);
  bool windowsAllRead(int64_t first, int64_t last) const noexcept;
  // Reads the windows of the on-demand prefix that [from, to) touches and are not read yet.
  void fillPrefix(int64_t from, int64_t to) noexcept;

  int fd_ = -1;
  int64_t size_ = 0;
  std::unique_ptr<uint8_t[]> demandedStorage_;  // an on-demand prefix
  uint8_t* demanded_ = nullptr;
  std::size_t demandedLength_ = 0;
  std::vector<uint64_t> windowsRead_;  // one bit per window of the on-demand prefix
  int64_t lastReadEnd_ = 0;            // where the last read of it ended
  int64_t readAhead_ = kDemandWindow;  // grows while the reads follow one another
  bool demandFailed_ = false;
  ReadOnlyFile* previousDemandSource_ = nullptr;
  std::vector<uint8_t> copy_;
  std::unique_ptr<uint8_t[]> head_;
  int64_t headLength_ = 0;
};

// The whole of a regular file; nullopt when it cannot be opened or read.
std::optional<Bytes> readWholeFile(const std::string& path);

}  // namespace orvel::base
