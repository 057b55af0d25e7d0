// orvel tags FILE (every tag as name TAB value, in sorted order) and orvel get FILE NAME (one
// value alone).
#include <cstdio>
#include <string>
#include <string_view>

#include "cli.h"
#include "orvel.h"

namespace orvel_cli {

namespace {

// Opens the file's metadata, or explains on standard error why not.
ov_meta* openMetadata(const char* path) {
  if (!checkReadable(path)) return nullptr;
  ov_meta* handle = nullptr;
  ov_status status = ov_exif_read_file(path, &handle);
  if (status != OV_EXIF_OK) {
    std::fprintf(stderr, "orvel: cannot read metadata of '%s': %s\n", path,
                 ov_exif_strerror(status));
  }
  return handle;
}

// Keeps one tag per line: the separators and the escape character itself are escaped.
void appendLineSafe(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

}  // namespace

int runTags(int argc, char** argv) {
  if (argc != 1) {
    std::fputs("usage: orvel tags FILE\n", stderr);
    return kUsageError;
  }
  ov_meta* handle = openMetadata(argv[0]);
  if (handle == nullptr) return kUsageError;
  std::string out;
  const int64_t count = ov_exif_tag_count(handle);
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    if (ov_exif_tag_at(handle, i, &name, &value) != OV_EXIF_OK) break;
    appendLineSafe(out, name);
    out += '\t';
    appendLineSafe(out, value);
    out += '\n';
  }
  ov_exif_meta_free(handle);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int runGet(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: orvel get FILE NAME\n", stderr);
    return kUsageError;
  }
  ov_meta* handle = openMetadata(argv[0]);
  if (handle == nullptr) return kUsageError;
  const char* value = ov_exif_get_tag(handle, argv[1]);
  int result = 0;
  if (value == nullptr) {
    std::fprintf(stderr, "orvel: no tag '%s' in '%s'\n", argv[1], argv[0]);
    result = kNotFound;
  } else {
    std::printf("%s\n", value);
  }
  ov_exif_meta_free(handle);
  return result;
}

}  // namespace orvel_cli
