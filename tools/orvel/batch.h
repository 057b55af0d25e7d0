// The machinery the commands share to work over many files: the operands, directory trees
// (-r) and path lists (-@) are walked on one thread while N worker threads (-j) process the
// files, and the results are handed back in input order as soon as each one's turn comes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace orvel_cli {

// One file of a run: its path, its path below the directory it was found in (its base name
// when it was named directly), used to mirror the tree elsewhere, and the walk's own failure
// for it (an unreadable directory, a broken link), if any.
struct BatchItem {
  std::string path;
  std::string relative;
  std::string walkError;
};

// What one file gave: text for standard output, or why it failed.
struct BatchOutcome {
  std::string output;
  std::string error;  // empty on success
  std::string staged;  // a file the work wrote aside, for settle to put in place
};

struct BatchOptions {
  bool recursive = false;
  unsigned threads = 0;  // 0: the number of cores
  std::vector<std::string> operands;
  bool hasList = false;
  std::string listFile;  // "-" for standard input
  // A directory the walk leaves out (the output tree when it lies inside the input).
  bool excludeSet = false;
  dev_t excludeDevice = 0;
  ino_t excludeInode = 0;
};

enum class BatchArg { kNotBatch, kTaken, kBad };

// Takes -r, -j N or -@ FILE at argv[i] (advancing i past a value); kBad after printing why.
BatchArg takeBatchArg(int argc, char** argv, int& i, BatchOptions& options, const char* command);

struct BatchCallbacks {
  // Runs on the worker threads, several files at once.
  std::function<BatchOutcome(const BatchItem&)> work;
  // Runs on the calling thread, once per file, in input order.
  std::function<void(const BatchItem&, const BatchOutcome&)> emit;
  // Optional; runs on the calling thread in input order before the file is counted and
  // emitted, and may turn its outcome into a failure (checks over the whole run, such as two
  // files that would be written to one place).
  std::function<void(const BatchItem&, BatchOutcome&)> settle;
};

struct BatchSummary {
  std::size_t files = 0;
  std::size_t errors = 0;
  double seconds = 0;
};

// Works over every file the options name. When standard error is a terminal a progress line
// (files done, files per second, errors) is kept there; it is cleared before an emit of a
// failed file so that messages stay readable.
BatchSummary runBatch(const BatchOptions& options, const BatchCallbacks& callbacks);

// "orvel meta: 12 files, 1 error, 0.10 s, 120 files/s" on standard error.
void printSummary(const char* command, const BatchSummary& summary);

// Why a path cannot be read as a regular file ("No such file or directory"); empty when it can.
std::string unreadableReason(const char* path);

// outDir + "/" + relative, creating the directories in between; on failure, empty with the
// reason in error.
std::string mirroredPath(const std::string& outDir, const std::string& relative,
                         std::string& error);

// Makes the output directory of a run and leaves it out of the walk (it may lie inside the
// input); false after printing why ("orvel strip: cannot make the output directory ...").
bool prepareOutDir(const std::string& outDir, BatchOptions& options, const char* command);

// Creates a directory and its parents (mkdir -p); false with the reason in error.
bool makeDirectories(const std::string& path, std::string& error);

}  // namespace orvel_cli
