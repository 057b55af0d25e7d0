// Many files at once: one thread walks the inputs, workers process them, and the calling
// thread hands the results on in input order while the rest are still being worked on.
#include "batch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iostream>
#include <fstream>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

namespace orvel_cli {

namespace {

using Clock = std::chrono::steady_clock;

// Results held back for in-order output are bounded: workers wait when they get this many
// files per thread ahead of the output.
constexpr std::size_t kAheadPerThread = 64;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

// The state the walker, the workers and the output share, under one lock.
class Pipeline {
 public:
  explicit Pipeline(std::size_t window) : window_(window) {}

  void add(BatchItem item) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
    results_.emplace_back();
    workReady_.notify_one();
  }

  void finishWalk() {
    std::lock_guard lock(mutex_);
    walkDone_ = true;
    workReady_.notify_all();
    resultReady_.notify_all();
  }

  // The next file to work on, or nothing when all are taken and the walk is over.
  std::optional<std::size_t> claim() {
    std::unique_lock lock(mutex_);
    workReady_.wait(lock, [&] {
      return (claimed_ < items_.size() && claimed_ < emitted_ + window_) ||
             (walkDone_ && claimed_ == items_.size());
    });
    if (claimed_ == items_.size()) return std::nullopt;
    return claimed_++;
  }

  const BatchItem& item(std::size_t index) {
    std::lock_guard lock(mutex_);
    return items_[index];  // a deque keeps its elements where they are as it grows
  }

  void complete(std::size_t index, BatchOutcome outcome) {
    std::lock_guard lock(mutex_);
    results_[index] = std::move(outcome);
    if (index == emitted_) resultReady_.notify_one();
  }

  // Waits (at most `wait`) for the next result in input order. Answers false with nothing
  // taken when the wait ran out, and sets `finished` when every result has been taken.
  bool next(BatchItem& item, BatchOutcome& outcome, bool& finished,
            std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    auto ready = [&] {
      return (emitted_ < results_.size() && results_[emitted_].has_value()) ||
             (walkDone_ && emitted_ == items_.size());
    };
    if (!resultReady_.wait_for(lock, wait, ready)) return false;
    if (emitted_ == items_.size()) {
      finished = true;
      return false;
    }
    item = std::move(items_[emitted_]);
    outcome = std::move(*results_[emitted_]);
    results_[emitted_].reset();
    ++emitted_;
    workReady_.notify_all();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable resultReady_;
  std::deque<BatchItem> items_;
  std::deque<std::optional<BatchOutcome>> results_;
  std::size_t claimed_ = 0;
  std::size_t emitted_ = 0;
  std::size_t window_;
  bool walkDone_ = false;
};

std::string joinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

std::string baseName(const std::string& path) {
  std::string_view view = path;
  while (view.size() > 1 && view.back() == '/') view.remove_suffix(1);
  const std::size_t slash = view.rfind('/');
  return std::string(slash == std::string_view::npos ? view : view.substr(slash + 1));
}

// Walks the operands, the list and directory trees, adding every file to the pipeline.
class Walker {
 public:
  Walker(const BatchOptions& options, Pipeline& pipeline)
      : options_(options), pipeline_(pipeline) {}

  void run() {
    for (const std::string& operand : options_.operands) addOperand(operand);
    if (options_.hasList) readList();
    pipeline_.finishWalk();
  }

 private:
  void addOperand(const std::string& path) {
    struct stat info {};
    // A directory named directly is walked even through a link: the user asked for it.
    if (options_.recursive && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      walkDirectory(path, "");
      return;
    }
    pipeline_.add(BatchItem{path, baseName(path), ""});
  }

  void readList() {
    std::ifstream file;
    const bool fromStdin = options_.listFile == "-";
    if (!fromStdin) {
      file.open(options_.listFile, std::ios::binary);
      if (!file) {
        pipeline_.add(BatchItem{options_.listFile, "", std::strerror(errno)});
        return;
      }
    }
    std::istream& in = fromStdin ? std::cin : file;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) addOperand(line);
    }
  }

  bool excluded(const struct stat& info) const {
    return options_.excludeSet && info.st_dev == options_.excludeDevice &&
           info.st_ino == options_.excludeInode;
  }

  // Entries in byte order, so that a tree gives the same output on every run.
  void walkDirectory(const std::string& directory, const std::string& relative) {
    struct stat self {};
    if (stat(directory.c_str(), &self) == 0 && excluded(self)) return;
    DIR* handle = opendir(directory.c_str());
    if (handle == nullptr) {
      pipeline_.add(BatchItem{directory, relative, std::strerror(errno)});
      return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(handle)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      addEntry(joinPath(directory, name), relative.empty() ? name : relative + "/" + name);
    }
  }

  // Directories are walked, regular files (and links to them) added; links to directories
  // and special files (pipes, sockets, devices) are passed over.
  void addEntry(const std::string& path, const std::string& relative) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
      pipeline_.add(BatchItem{path, relative, std::strerror(errno)});
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      walkDirectory(path, relative);
    } else if (S_ISREG(info.st_mode)) {
      pipeline_.add(BatchItem{path, relative, ""});
    } else if (S_ISLNK(info.st_mode)) {
      if (stat(path.c_str(), &info) != 0) {
        pipeline_.add(BatchItem{path, relative, std::strerror(errno)});
      } else if (S_ISREG(info.st_mode)) {
        pipeline_.add(BatchItem{path, relative, ""});
      }
    }
  }

  const BatchOptions& options_;
  Pipeline& pipeline_;
};

void workerLoop(Pipeline& pipeline, const BatchCallbacks& callbacks) {
  while (std::optional<std::size_t> index = pipeline.claim()) {
    const BatchItem& item = pipeline.item(*index);
    BatchOutcome outcome;
    if (!item.walkError.empty()) {
      outcome.error = item.walkError;
    } else {
      try {
        outcome = callbacks.work(item);
      } catch (const std::exception& failure) {
        outcome.error = failure.what();
      }
    }
    pipeline.complete(*index, std::move(outcome));
  }
}

// The progress line on a terminal's standard error.
class Progress {
 public:
  explicit Progress(Clock::time_point start)
      : start_(start),
        shown_(isatty(STDERR_FILENO) != 0),
        sharesTerminal_(shown_ && isatty(STDOUT_FILENO) != 0) {}

  // Results written to the same terminal go above the progress line, never into it.
  bool sharesTerminal() const { return sharesTerminal_; }

  void update(std::size_t files, std::size_t errors, bool force) {
    if (!shown_) return;
    const Clock::time_point now = Clock::now();
    if (!force && now - lastDrawn_ < kProgressInterval) return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\r\033[K%zu files, %.0f files/s, %zu errors", files,
                 seconds > 0 ? static_cast<double>(files) / seconds : 0.0, errors);
    std::fflush(stderr);
    drawn_ = true;
  }

  void clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

 private:
  Clock::time_point start_;
  Clock::time_point lastDrawn_{};
  bool shown_;
  bool sharesTerminal_;
  bool drawn_ = false;
};

}  // namespace

BatchArg takeBatchArg(int argc, char** argv, int& i, BatchOptions& options, const char* command) {
  const std::string_view arg = argv[i];
  if (arg == "-r" || arg == "--recursive") {
    options.recursive = true;
    return BatchArg::kTaken;
  }
  if (arg != "-j" && arg != "-@") return BatchArg::kNotBatch;
  if (i + 1 >= argc) {
    std::fprintf(stderr, "orvel %s: %s needs a value\n", command, argv[i]);
    return BatchArg::kBad;
  }
  const std::string_view value = argv[++i];
  if (arg == "-@") {
    options.hasList = true;
    options.listFile = std::string(value);
    return BatchArg::kTaken;
  }
  unsigned threads = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), threads);
  if (error != std::errc() || end != value.data() + value.size() || threads < 1 ||
      threads > 1024) {
    std::fprintf(stderr, "orvel %s: -j takes a thread count from 1 to 1024\n", command);
    return BatchArg::kBad;
  }
  options.threads = threads;
  return BatchArg::kTaken;
}

BatchSummary runBatch(const BatchOptions& options, const BatchCallbacks& callbacks) {
  const Clock::time_point start = Clock::now();
  unsigned threads = options.threads;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  Pipeline pipeline(kAheadPerThread * threads);
  Walker walker(options, pipeline);
  std::thread walking([&] { walker.run(); });
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&] { workerLoop(pipeline, callbacks); });
  }

  BatchSummary summary;
  Progress progress(start);
  bool finished = false;
  while (!finished) {
    BatchItem item;
    BatchOutcome outcome;
    bool got = pipeline.next(item, outcome, finished, std::chrono::milliseconds(0));
    if (!got && !finished) {
      std::fflush(stdout);  // what is ready is seen at once, even while a slow file is read
      got = pipeline.next(item, outcome, finished, kProgressInterval);
    }
    if (got) {
      if (callbacks.settle) callbacks.settle(item, outcome);
      ++summary.files;
      if (!outcome.error.empty()) ++summary.errors;
      if (!outcome.error.empty() || progress.sharesTerminal()) progress.clear();
      callbacks.emit(item, outcome);
      if (progress.sharesTerminal()) std::fflush(stdout);
    }
    if (!finished) progress.update(summary.files, summary.errors, false);
  }
  progress.clear();
  walking.join();
  for (std::thread& worker : workers) worker.join();
  summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return summary;
}

void printSummary(const char* command, const BatchSummary& summary) {
  const double rate =
      summary.seconds > 0 ? static_cast<double>(summary.files) / summary.seconds : 0.0;
  std::fprintf(stderr, "orvel %s: %zu file%s, %zu error%s, %.2f s, %.0f files/s\n", command,
               summary.files, summary.files == 1 ? "" : "s", summary.errors,
               summary.errors == 1 ? "" : "s", summary.seconds, rate);
}

std::string unreadableReason(const char* path) {
  struct stat info {};
  if (stat(path, &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  // The library reads by size and offset; a pipe or device would only block or read as empty.
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return std::strerror(errno);
  std::fgetc(file);  // a file that opens but cannot be read (EIO) shows here
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  return failed ? std::strerror(error) : "";
}

bool makeDirectories(const std::string& path, std::string& error) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      error = prefix + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    error = path + ": " + std::strerror(ENOTDIR);
    return false;
  }
  return true;
}

std::string mirroredPath(const std::string& outDir, const std::string& relative,
                         std::string& error) {
  const std::string target = joinPath(outDir, relative);
  const std::size_t slash = target.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirectories(target.substr(0, slash), error)) {
    return "";
  }
  return target;
}

bool prepareOutDir(const std::string& outDir, BatchOptions& options, const char* command) {
  std::string error;
  struct stat info {};
  if (!makeDirectories(outDir, error) || stat(outDir.c_str(), &info) != 0) {
    std::fprintf(stderr, "orvel %s: cannot make the output directory %s\n", command,
                 error.c_str());
    return false;
  }
  options.excludeSet = true;
  options.excludeDevice = info.st_dev;
  options.excludeInode = info.st_ino;
  return true;
}

}  // namespace orvel_cli
