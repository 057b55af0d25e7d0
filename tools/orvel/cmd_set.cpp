// orvel set: change EXIF tags of a file, in place or into a new file.
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "cmd_edit.h"
#include "orvel.h"

namespace orvel_cli {
namespace {

struct EditableName {
  std::string_view name;
  std::string_view expects;  // what a value must look like
};

// The names the library accepts, with the form of their values, for clear errors.
constexpr std::array<EditableName, 22> kEditable = {{
    {"ImageDescription", "text"},
    {"Make", "text"},
    {"Model", "text"},
    {"Orientation", "an integer 0..65535 (1-8 in practice)"},
    {"Software", "text"},
    {"DateTime", "text (YYYY:MM:DD HH:MM:SS)"},
    {"Artist", "text"},
    {"HostComputer", "text"},
    {"Rating", "an integer 0..65535"},
    {"Copyright", "text"},
    {"ExposureTime", "unsigned rationals such as 1/250"},
    {"FNumber", "unsigned rationals such as 28/10"},
    {"ExposureProgram", "an integer 0..65535"},
    {"ISO", "integers 0..65535"},
    {"DateTimeOriginal", "text (YYYY:MM:DD HH:MM:SS)"},
    {"CreateDate", "text (YYYY:MM:DD HH:MM:SS)"},
    {"ExposureCompensation", "signed rationals such as -2/3"},
    {"MeteringMode", "an integer 0..65535"},
    {"Flash", "an integer 0..65535"},
    {"FocalLength", "unsigned rationals such as 50/1"},
    {"UserComment", "text"},
    {"LensModel", "text"},
}};

constexpr const char* kSetUsage =
    "usage: orvel set FILE NAME=VALUE... [-o OUT]\n"
    "       orvel set FILE --gps LAT,LON,ALT [-o OUT]\n"
    "       orvel set FILE --artist|--software|--datetime TEXT [-o OUT]\n";

struct SetRequest {
  std::string file;
  std::string output;
  std::vector<std::pair<std::string, std::string>> tags;
  std::vector<std::pair<std::string, std::string>> fixed;  // --artist and friends
  bool hasGps = false;
  double gps[3] = {0, 0, 0};
};

const EditableName* findName(std::string_view name) {
  for (const EditableName& entry : kEditable) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

void listNames() {
  std::fputs("editable names:", stderr);
  for (const EditableName& entry : kEditable) std::fprintf(stderr, " %.*s", int(entry.name.size()), entry.name.data());
  std::fputs("\n", stderr);
}

bool parseNumber(std::string_view text, double& out) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  out = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && errno == 0 && std::isfinite(out);
}

bool parseGps(std::string_view text, double (&out)[3]) {
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = i < 2 ? text.find(',') : text.size();
    if (comma == std::string_view::npos || !parseNumber(text.substr(0, comma), out[i])) return false;
    text.remove_prefix(i < 2 ? comma + 1 : comma);
  }
  return std::fabs(out[0]) <= 90 && std::fabs(out[1]) <= 180;
}

// False (after saying why) for a malformed command line.
bool parseArguments(int argc, char** argv, SetRequest& request) {
  if (argc < 2) return false;
  request.file = argv[0];
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "-o" && hasValue) {
      request.output = argv[++i];
    } else if (arg == "--gps" && hasValue) {
      if (!parseGps(argv[++i], request.gps)) {
        std::fprintf(stderr, "orvel: --gps wants LAT,LON,ALT in degrees and metres "
                             "(latitude -90..90, longitude -180..180), not '%s'\n", argv[i]);
        return false;
      }
      request.hasGps = true;
    } else if ((arg == "--artist" || arg == "--software" || arg == "--datetime") && hasValue) {
      request.fixed.emplace_back(std::string(arg), argv[++i]);
    } else if (const std::size_t eq = arg.find('='); eq != std::string_view::npos && eq > 0) {
      request.tags.emplace_back(std::string(arg.substr(0, eq)), std::string(arg.substr(eq + 1)));
    } else {
      std::fprintf(stderr, "orvel: unexpected argument '%s'\n", argv[i]);
      return false;
    }
  }
  if (request.tags.empty() && request.fixed.empty() && !request.hasGps) {
    std::fputs("orvel: nothing to set\n", stderr);
    return false;
  }
  return true;
}

bool setTags(ov_edit* edit, const SetRequest& request) {
  for (const auto& [name, value] : request.tags) {
    const EditableName* known = findName(name);
    if (known == nullptr) {
      std::fprintf(stderr, "orvel: '%s' is not an editable tag name\n", name.c_str());
      listNames();
      return false;
    }
    if (ov_exif_edit_set_tag(edit, name.c_str(), value.c_str()) != OV_EXIF_OK) {
      std::fprintf(stderr, "orvel: '%s' is not a valid value for %s: it needs %.*s\n", value.c_str(),
                   name.c_str(), int(known->expects.size()), known->expects.data());
      return false;
    }
  }
  for (const auto& [option, text] : request.fixed) {
    if (option == "--artist") ov_exif_set_artist(edit, text.c_str());
    if (option == "--software") ov_exif_set_software(edit, text.c_str());
    if (option == "--datetime") ov_exif_set_datetime(edit, text.c_str());
  }
  if (request.hasGps) ov_exif_set_gps(edit, request.gps[0], request.gps[1], request.gps[2]);
  return true;
}

// Which side failed: the input, when the same edit of its bytes cannot be written either,
// else the output.
void explainSetFailure(const SetRequest& request, const std::string& target) {
  if (!checkWritable(target)) return;
  const std::vector<uint8_t> bytes = fileBytes(request.file);
  ov_edit* edit = nullptr;
  ov_status status = OV_EXIF_UNSUPPORTED;
  if (!bytes.empty() &&
      ov_exif_edit_open_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), &edit) ==
          OV_EXIF_OK &&
      setTags(edit, request)) {
    uint8_t* written = nullptr;
    int64_t length = 0;
    status = ov_exif_edit_write_buffer(edit, &written, &length);
    ov_exif_buffer_free(written);
  }
  ov_exif_edit_free(edit);
  if (status != OV_EXIF_OK) {
    std::fprintf(stderr, "orvel: cannot write EXIF into '%s': it is truncated, malformed, or not "
                         "a file that can hold it (JPEG, PNG, extended WebP, HEIF/AVIF with an "
                         "Exif item, TIFF without image data)\n", request.file.c_str());
  } else {
    std::fprintf(stderr, "orvel: cannot write '%s': writing or replacing the file failed\n",
                 target.c_str());
  }
}

}  // namespace

int runSet(int argc, char** argv) {
  SetRequest request;
  if (!parseArguments(argc, argv, request)) {
    std::fputs(kSetUsage, stderr);
    return kUsageError;
  }
  if (!checkReadable(request.file.c_str())) return kUsageError;
  const std::string& target = request.output.empty() ? request.file : request.output;
  if (!checkWritable(target)) return kUsageError;
  ov_edit* edit = nullptr;
  if (ov_exif_edit_open(request.file.c_str(), &edit) != OV_EXIF_OK) {
    std::fprintf(stderr, "orvel: cannot open '%s' for editing\n", request.file.c_str());
    return kUsageError;
  }
  int result = kUsageError;
  if (setTags(edit, request)) {
    const ov_status status = ov_exif_edit_write(edit, request.output.empty() ? nullptr : request.output.c_str());
    if (status == OV_EXIF_OK) {
      result = 0;
    } else {
      explainSetFailure(request, target);
    }
  }
  ov_exif_edit_free(edit);
  return result;
}

}  // namespace orvel_cli
