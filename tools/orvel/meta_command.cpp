// orvel meta [--jsonl] FILE...: the JSON of each file; several files form a JSON array, and
// --jsonl gives one compact object per line with the file's name added as "file".
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "orvel.h"

namespace orvel_cli {

namespace {

struct MetaOptions {
  bool jsonLines = false;
  std::vector<const char*> files;
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
      std::fprintf(stderr, "orvel meta: unknown option '%s'\n", argv[i]);
      return false;
    } else {
      options.files.push_back(argv[i]);
    }
  }
  if (options.files.empty()) {
    std::fputs("usage: orvel meta [--jsonl] FILE...\n", stderr);
    return false;
  }
  return true;
}

// The library's JSON text of one file; false (with a message) when it cannot be had.
bool jsonOfFile(const char* path, std::string& json) {
  ov_meta* handle = nullptr;
  ov_status status = ov_exif_read_file(path, &handle);
  const char* text = status == OV_EXIF_OK ? ov_exif_to_json(handle) : nullptr;
  if (text == nullptr) {
    std::fprintf(stderr, "orvel: cannot read metadata of '%s': %s\n", path,
                 ov_exif_strerror(status == OV_EXIF_OK ? OV_EXIF_IO_ERROR : status));
    ov_exif_meta_free(handle);
    return false;
  }
  json = text;
  ov_exif_meta_free(handle);
  return true;
}

// {"file":"PATH",...the compact document's members...}
std::string jsonLine(const char* path, const std::string& json) {
  std::string compact = compactJson(json);
  return "{\"file\":" + jsonQuoted(path) + "," + compact.substr(1);
}

}  // namespace

int runMeta(int argc, char** argv) {
  MetaOptions options;
  if (!parseMetaOptions(argc, argv, options)) return kUsageError;
  bool allReadable = true;
  for (const char* path : options.files) allReadable = checkReadable(path) && allReadable;
  if (!allReadable) return kUsageError;

  std::vector<std::string> documents(options.files.size());
  for (std::size_t i = 0; i < options.files.size(); ++i) {
    if (!jsonOfFile(options.files[i], documents[i])) return kUsageError;
  }
  std::string out;
  if (options.jsonLines) {
    for (std::size_t i = 0; i < documents.size(); ++i) {
      out += jsonLine(options.files[i], documents[i]);
      out += '\n';
    }
  } else if (documents.size() == 1) {
    out = documents[0] + "\n";
  } else {
    out = "[\n";
    for (std::size_t i = 0; i < documents.size(); ++i) {
      if (i > 0) out += ",\n";
      out += indentLines(documents[i], "  ");
    }
    out += "\n]\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace orvel_cli
