// orvel strip: a copy of an image without its metadata, or the image itself stripped; over
// many files (-r, -@, several names) either in place or mirrored under an output directory.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <vector>
#include <string>
#include <string_view>

#include "batch.h"
#include "cli.h"
#include "cmd_edit.h"
#include "orvel.h"

namespace orvel_cli {
namespace {

constexpr const char* kNotStrippable =
    "it is truncated or not a JPEG, PNG, WebP or HEIF/AVIF file";

// Which side failed: the input, when its bytes cannot be stripped either, else the output.
std::string stripFailureCause(const std::string& input, const std::string& target) {
  const std::vector<uint8_t> bytes = fileBytes(input);
  uint8_t* stripped = nullptr;
  int64_t length = 0;
  const ov_status status = bytes.empty() ? OV_EXIF_UNSUPPORTED
                                         : ov_exif_strip_buffer(bytes.data(),
                                                                static_cast<int64_t>(bytes.size()),
                                                                &stripped, &length);
  ov_exif_buffer_free(stripped);
  if (status != OV_EXIF_OK) return kNotStrippable;
  return "cannot write '" + target + "': writing or replacing the file failed";
}

void explainStripFailure(const std::string& input, const std::string& target) {
  if (!checkWritable(target)) return;
  const std::string cause = stripFailureCause(input, target);
  if (cause == kNotStrippable) {
    std::fprintf(stderr, "orvel: cannot strip '%s': %s\n", input.c_str(), cause.c_str());
  } else {
    std::fprintf(stderr, "orvel: %s\n", cause.c_str());
  }
}

constexpr const char* kStripUsage =
    "usage: orvel strip IN (-o OUT | --in-place)\n"
    "       orvel strip [-r] [-j N] [-@ LIST|-] IN... (--in-place | --out OUTDIR)\n";

struct StripOptions {
  std::string output;
  std::string outDir;
  bool inPlace = false;
  BatchOptions batch;
};

bool parseStripOptions(int argc, char** argv, StripOptions& options) {
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "-o" || arg == "--out") && i + 1 < argc) {
      (arg == "-o" ? options.output : options.outDir) = argv[++i];
    } else if (arg == "--in-place") {
      options.inPlace = true;
    } else if (!arg.empty() && arg[0] != '-') {
      options.batch.operands.emplace_back(argv[i]);
    } else if (takeBatchArg(argc, argv, i, options.batch, "strip") != BatchArg::kTaken) {
      return false;
    }
  }
  const BatchOptions& batch = options.batch;
  const bool many = batch.recursive || batch.hasList || batch.operands.size() > 1;
  const int targets = int(options.inPlace) + int(!options.output.empty()) +
                      int(!options.outDir.empty());
  if (targets != 1 || (many && !options.output.empty()) ||
      (batch.operands.empty() && !batch.hasList)) {
    std::fputs(kStripUsage, stderr);
    return false;
  }
  return true;
}

int stripOne(const std::string& input, const std::string& target) {
  if (!checkReadable(input.c_str())) return kUsageError;
  if (!checkWritable(target)) return kUsageError;
  if (ov_exif_strip_file(input.c_str(), target.c_str()) != OV_EXIF_OK) {
    explainStripFailure(input, target);
    return kUsageError;
  }
  return 0;
}

BatchOutcome stripItem(const StripOptions& options, const BatchItem& item) {
  BatchOutcome outcome;
  outcome.error = unreadableReason(item.path.c_str());
  if (!outcome.error.empty()) return outcome;
  std::string target = item.path;
  if (!options.inPlace) {
    target = mirroredPath(options.outDir, item.relative, outcome.error);
    if (target.empty()) return outcome;
  }
  const ov_status status = ov_exif_strip_file(item.path.c_str(), target.c_str());
  if (status != OV_EXIF_OK) outcome.error = stripFailureCause(item.path, target);
  return outcome;
}

}  // namespace

int runStrip(int argc, char** argv) {
  StripOptions options;
  if (!parseStripOptions(argc, argv, options)) return kUsageError;
  const BatchOptions& batch = options.batch;
  const bool many = batch.recursive || batch.hasList || batch.operands.size() > 1;
  if (!many) {
    const std::string& input = batch.operands[0];
    if (!options.output.empty()) return stripOne(input, options.output);
    if (options.inPlace) return stripOne(input, input);
  }
  if (!options.outDir.empty() && !prepareOutDir(options.outDir, options.batch, "strip"))
    return kUsageError;
  BatchCallbacks callbacks;
  callbacks.work = [&](const BatchItem& item) { return stripItem(options, item); };
  callbacks.emit = [](const BatchItem& item, const BatchOutcome& outcome) {
    if (outcome.error.empty()) return;
    std::fprintf(stderr, "orvel: cannot strip '%s': %s\n", item.path.c_str(),
                 outcome.error.c_str());
  };
  const BatchSummary summary = runBatch(batch, callbacks);
  if (many) printSummary("strip", summary);
  return summary.errors == 0 ? 0 : kUsageError;
}

}  // namespace orvel_cli
