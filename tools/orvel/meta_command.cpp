// orvel meta [--jsonl] [-r] [-j N] [-@ LIST] FILE...: the JSON of each file. One file named
// alone gives its document; otherwise the documents form a JSON array, and --jsonl gives one
// compact object per line with the file's name added as "file" (or an "error" member instead
// of the metadata when the file cannot be read). Output streams in input order.
#include <cstdio>
#include <string>
#include <string_view>

#include "batch.h"
#include "cli.h"
#include "orvel.h"

namespace orvel_cli {

namespace {

constexpr const char* kMetaUsage = "usage: orvel meta [--jsonl] [-r] [-j N] [-@ LIST|-] FILE...\n";

struct MetaOptions {
  bool jsonLines = false;
  BatchOptions batch;
};

bool parseMetaOptions(int argc, char** argv, MetaOptions& options) {
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--jsonl") {
      options.jsonLines = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      const BatchArg taken = takeBatchArg(argc, argv, i, options.batch, "meta");
      if (taken == BatchArg::kBad) return false;
      if (taken == BatchArg::kNotBatch) {
        std::fprintf(stderr, "orvel meta: unknown option '%s'\n", argv[i]);
        return false;
      }
    } else {
      options.batch.operands.emplace_back(argv[i]);
    }
  }
  if (options.batch.operands.empty() && !options.batch.hasList) {
    std::fputs(kMetaUsage, stderr);
    return false;
  }
  return true;
}

// The library's JSON text of one file, or why it cannot be had.
BatchOutcome jsonOfFile(const char* path) {
  BatchOutcome outcome;
  outcome.error = unreadableReason(path);
  if (!outcome.error.empty()) return outcome;
  ov_meta* handle = nullptr;
  const ov_status status = ov_exif_read_file(path, &handle);
  const char* text = status == OV_EXIF_OK ? ov_exif_to_json(handle) : nullptr;
  if (text == nullptr) {
    outcome.error = ov_exif_strerror(status == OV_EXIF_OK ? OV_EXIF_IO_ERROR : status);
  } else {
    outcome.output = text;
  }
  ov_exif_meta_free(handle);
  return outcome;
}

// {"file":"PATH",...the compact document's members...} or {"file":"PATH","error":"WHY"}
std::string jsonLine(const std::string& path, const BatchOutcome& outcome) {
  if (!outcome.error.empty()) {
    return "{\"file\":" + jsonQuoted(path) + ",\"error\":" + jsonQuoted(outcome.error) + "}\n";
  }
  const std::string compact = compactJson(outcome.output);
  return "{\"file\":" + jsonQuoted(path) + "," + compact.substr(1) + "\n";
}

void write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// A JSON array written element by element.
class ArrayWriter {
 public:
  void add(const std::string& document) {
    write((count_++ == 0 ? "[\n" : ",\n") + indentLines(document, "  "));
  }
  void close() { write(count_ == 0 ? "[]\n" : "\n]\n"); }

 private:
  std::size_t count_ = 0;
};

}  // namespace

int runMeta(int argc, char** argv) {
  MetaOptions options;
  if (!parseMetaOptions(argc, argv, options)) return kUsageError;
  const BatchOptions& batch = options.batch;
  const bool named = !batch.recursive && !batch.hasList;
  // Files named without --jsonl are all checked first: nothing is printed when one is missing.
  if (named && !options.jsonLines) {
    bool allReadable = true;
    for (const std::string& path : batch.operands) {
      allReadable = checkReadable(path.c_str()) && allReadable;
    }
    if (!allReadable) return kUsageError;
  }
  const bool single = named && !options.jsonLines && batch.operands.size() == 1;

  ArrayWriter array;
  BatchCallbacks callbacks;
  callbacks.work = [](const BatchItem& item) { return jsonOfFile(item.path.c_str()); };
  callbacks.emit = [&](const BatchItem& item, const BatchOutcome& outcome) {
    if (options.jsonLines) {
      write(jsonLine(item.path, outcome));
    } else if (!outcome.error.empty()) {
      std::fprintf(stderr, "orvel: cannot read '%s': %s\n", item.path.c_str(),
                   outcome.error.c_str());
    } else if (single) {
      write(outcome.output + "\n");
    } else {
      array.add(outcome.output);
    }
  };
  const BatchSummary summary = runBatch(batch, callbacks);
  if (!single && !options.jsonLines) array.close();
  if (!single) printSummary("meta", summary);
  return summary.errors == 0 ? 0 : kUsageError;
}

}  // namespace orvel_cli
