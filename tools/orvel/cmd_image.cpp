// orvel info and orvel convert: decoding images into handles and encoding them again; reading
// and writing whole files for the image commands.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "orvel.h"

namespace orvel_cli {
namespace {

struct EncodeTarget {
  std::string_view name;  // as --format takes it and file extensions say it
  int32_t format;         // the number ov_image_encode takes
};

constexpr EncodeTarget kTargets[] = {
    {"png", 1}, {"jpg", 2}, {"jpeg", 2}, {"bmp", 3}, {"qoi", 4}, {"pnm", 5},
    {"ppm", 5}, {"pgm", 5}, {"pam", 5},  {"tga", 8},
};

constexpr const char* kLayoutNames[] = {"gray", "rgb", "rgba", "cmyk", "opaque3", "opaque1"};

const EncodeTarget* targetNamed(std::string_view name) {
  for (const EncodeTarget& target : kTargets) {
    if (target.name == name) return &target;
  }
  return nullptr;
}

bool startsWith(const std::vector<uint8_t>& bytes, std::size_t at, std::string_view text) {
  return bytes.size() >= at + text.size() && std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// A name for what the leading bytes announce, for display only.
const char* formatName(const std::vector<uint8_t>& b, bool asTga) {
  if (asTga) return "tga";
  if (startsWith(b, 0, "BM")) return "bmp";
  if (startsWith(b, 0, "qoif")) return "qoi";
  if (startsWith(b, 0, "P7")) return "pam";
  if (b.size() >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '6') return "pnm";
  if (startsWith(b, 0, "\x89PNG")) return "png";
  if (startsWith(b, 0, "\xFF\xD8")) return "jpeg";
  if (startsWith(b, 4, "ftyp")) return startsWith(b, 8, "avi") ? "avif" : "heif";
  if (startsWith(b, 0, "GIF8")) return "gif";
  if (startsWith(b, 0, "RIFF") && startsWith(b, 8, "WEBP")) return "webp";
  if (startsWith(b, 0, "II*") || startsWith(b, 0, std::string_view("MM\0*", 4))) return "tiff";
  if (!b.empty() && b[0] == 0x0A) return "pcx";
  return "unknown";
}

ov_image* decodeFile(const char* path, std::vector<uint8_t>& bytes, bool& asTga) {
  asTga = lowerExtension(path) == "tga";
  return decodeImagePath(path, bytes);
}

// The whole file into out; false with "cannot read 'x': why" in error.
bool readWhole(const char* path, std::vector<uint8_t>& out, std::string& error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::string("cannot read '") + path + "': " + std::strerror(errno);
    return false;
  }
  char chunk[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) error = std::string("cannot read '") + path + "'";
  return !failed;
}

bool writeWhole(const std::string& path, const uint8_t* data, int64_t length, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(data, 1, static_cast<std::size_t>(length), file) ==
                       static_cast<std::size_t>(length);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) error = "cannot write '" + path + "'";
  return written && closed;
}

std::string infoLine(const char* path, ov_image* image, const char* format, bool json) {
  const unsigned layout = ov_image_get_colorspace(image);
  const char* layoutName = layout < std::size(kLayoutNames) ? kLayoutNames[layout] : "unknown";
  char line[512];
  if (json) {
    std::snprintf(line, sizeof line,
                  "{\"file\":%s,\"format\":\"%s\",\"width\":%d,\"height\":%d,\"channels\":%d,"
                  "\"layout\":\"%s\"}",
                  jsonQuoted(path).c_str(), format, ov_image_width(image), ov_image_height(image),
                  ov_image_channels(image), layoutName);
  } else {
    std::snprintf(line, sizeof line, "%s\t%s\t%dx%d\t%d channels\t%s", path, format,
                  ov_image_width(image), ov_image_height(image), ov_image_channels(image),
                  layoutName);
  }
  return line;
}

}  // namespace

std::string lowerExtension(std::string_view path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(path.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext;
}

int32_t encodeFormatNamed(std::string_view name) {
  const EncodeTarget* target = targetNamed(name);
  return target == nullptr ? 0 : target->format;
}

bool readFile(const char* path, std::vector<uint8_t>& out) {
  std::string error;
  if (readWhole(path, out, error)) return true;
  std::fprintf(stderr, "orvel: %s\n", error.c_str());
  return false;
}

bool writeFile(const std::string& path, const uint8_t* data, int64_t length) {
  std::string error;
  if (writeWhole(path, data, length, error)) return true;
  std::fprintf(stderr, "orvel: %s\n", error.c_str());
  return false;
}

ov_image* decodeImageFile(const std::string& path, std::vector<uint8_t>& bytes,
                          std::string& error) {
  if (!readWhole(path.c_str(), bytes, error)) return nullptr;
  const int32_t hint = lowerExtension(path) == "tga" ? 8 : 0;
  ov_image* image = nullptr;
  const ov_status status =
      ov_image_decode_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), hint, &image);
  if (status != OV_IMAGE_OK) {
    error = "cannot decode '" + path +
            "': " + (bytes.empty() ? "the file is empty" : ov_image_strerror(status));
  }
  return image;
}

ov_image* decodeImagePath(const char* path, std::vector<uint8_t>& bytes) {
  std::string error;
  ov_image* image = decodeImageFile(path, bytes, error);
  if (image == nullptr) std::fprintf(stderr, "orvel: %s\n", error.c_str());
  return image;
}

bool encodeImageFile(ov_image* image, const std::string& path, int32_t format, int quality,
                     std::string& error) {
  uint8_t* encoded = nullptr;
  int64_t length = 0;
  const ov_status status = ov_image_encode(image, format, quality, &encoded, &length);
  if (status != OV_IMAGE_OK) {
    error = "cannot encode '" + path + "': " + ov_image_strerror(status);
    return false;
  }
  const bool written = writeWhole(path, encoded, length, error);
  ov_image_buffer_free(encoded);
  return written;
}

int writeImage(ov_image* image, const char* source, const char* path, std::string formatName,
               int quality) {
  if (formatName.empty()) formatName = lowerExtension(path);
  const EncodeTarget* target = targetNamed(formatName);
  if (target == nullptr) {
    std::fprintf(stderr, "orvel: cannot tell which format to write for '%s' (use --format)\n", path);
    return kUsageError;
  }
  uint8_t* encoded = nullptr;
  int64_t length = 0;
  const ov_status status = ov_image_encode(image, target->format, quality, &encoded, &length);
  if (status != OV_IMAGE_OK) {
    std::fprintf(stderr, "orvel: cannot encode '%s' as %s: %s\n", source, std::string(target->name).c_str(),
                 ov_image_strerror(status));
    return kUsageError;
  }
  const bool written = writeFile(path, encoded, length);
  ov_image_buffer_free(encoded);
  return written ? 0 : kUsageError;
}

int runInfo(int argc, char** argv) {
  bool json = false;
  std::vector<const char*> files;
  for (int i = 0; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") {
      json = true;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fputs("usage: orvel info [--json] FILE...\n", stderr);
    return kUsageError;
  }
  int status = 0;
  for (const char* path : files) {
    std::vector<uint8_t> bytes;
    bool asTga = false;
    ov_image* image = decodeFile(path, bytes, asTga);
    if (image == nullptr) {
      status = kUsageError;
      continue;
    }
    std::puts(infoLine(path, image, formatName(bytes, asTga), json).c_str());
    ov_image_free(image);
  }
  return status;
}

bool parseCount(std::string_view text, int64_t limit, int64_t& out) {
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, out);
  return error == std::errc() && at == end && out >= 1 && out <= limit;
}

bool parseWriteArgs(int argc, char** argv, std::vector<const char*>& paths,
                    std::string& formatName, int& quality) {
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    int64_t value = 0;
    if (arg == "--format" && i + 1 < argc) {
      formatName = argv[++i];
    } else if (arg == "--quality" && i + 1 < argc) {
      if (!parseCount(argv[++i], 100, value)) return false;
      quality = static_cast<int>(value);
    } else {
      paths.push_back(argv[i]);
    }
  }
  return paths.size() == 2;
}

int runConvert(int argc, char** argv) {
  std::vector<const char*> paths;
  std::string formatName;
  int quality = 90;
  if (!parseWriteArgs(argc, argv, paths, formatName, quality)) {
    std::fputs("usage: orvel convert IN OUT [--format png|jpg|bmp|qoi|pnm|tga] [--quality N]\n", stderr);
    return kUsageError;
  }
  if (formatName.empty()) formatName = lowerExtension(paths[1]);
  if (targetNamed(formatName) == nullptr) {
    std::fprintf(stderr, "orvel: cannot tell which format to write for '%s' (use --format)\n", paths[1]);
    return kUsageError;
  }
  std::vector<uint8_t> bytes;
  bool asTga = false;
  ov_image* image = decodeFile(paths[0], bytes, asTga);
  if (image == nullptr) return kUsageError;
  const int status = writeImage(image, paths[0], paths[1], formatName, quality);
  ov_image_free(image);
  return status;
}

}  // namespace orvel_cli
