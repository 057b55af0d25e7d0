// orvel resize, rotate, crop, orient and thumbnail: decode IN, transform it, encode OUT in the
// format its extension names.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "orvel.h"

namespace orvel_cli {
namespace {

using Bytes = std::vector<uint8_t>;

struct Extension {
  std::string_view name;
  int32_t format;  // the number ov_image_encode takes
};

constexpr Extension kExtensions[] = {
    {"png", 1}, {"jpg", 2}, {"jpeg", 2}, {"bmp", 3}, {"qoi", 4},
    {"pnm", 5}, {"ppm", 5}, {"pgm", 5},  {"pam", 5}, {"tga", 8},
};

constexpr int kDefaultQuality = 85;

std::string extensionOf(std::string_view path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(path.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext;
}

int32_t formatFor(std::string_view path) {
  const std::string ext = extensionOf(path);
  for (const Extension& e : kExtensions) {
    if (e.name == ext) return e.format;
  }
  return 0;
}

bool readAll(const char* path, Bytes& out) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "orvel: cannot read '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  char chunk[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    out.insert(out.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) std::fprintf(stderr, "orvel: cannot read '%s'\n", path);
  return !failed;
}

// The decoded image (TGA, which has no signature, by its extension), or null after saying why.
ov_image* decodePath(const char* path, Bytes& bytes) {
  if (!readAll(path, bytes)) return nullptr;
  if (bytes.empty()) {
    std::fprintf(stderr, "orvel: cannot decode '%s': the file is empty\n", path);
    return nullptr;
  }
  ov_image* image = nullptr;
  const int32_t hint = extensionOf(path) == "tga" ? 8 : 0;
  const ov_status status =
      ov_image_decode_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), hint, &image);
  if (status != OV_IMAGE_OK) {
    std::fprintf(stderr, "orvel: cannot decode '%s': %s\n", path, ov_image_strerror(status));
  }
  return image;
}

bool encodeTo(ov_image* image, const char* path, int quality) {
  uint8_t* encoded = nullptr;
  int64_t length = 0;
  const ov_status status = ov_image_encode(image, formatFor(path), quality, &encoded, &length);
  if (status != OV_IMAGE_OK) {
    std::fprintf(stderr, "orvel: cannot encode '%s': %s\n", path, ov_image_strerror(status));
    return false;
  }
  std::FILE* file = std::fopen(path, "wb");
  bool written = file != nullptr;
  if (file != nullptr) {
    written = std::fwrite(encoded, 1, static_cast<std::size_t>(length), file) ==
              static_cast<std::size_t>(length);
    written = std::fclose(file) == 0 && written;
  }
  ov_image_buffer_free(encoded);
  if (!written) std::fprintf(stderr, "orvel: cannot write '%s': %s\n", path, std::strerror(errno));
  return written;
}

bool checkOutputFormat(const char* path) {
  if (formatFor(path) != 0) return true;
  std::fprintf(stderr,
               "orvel: cannot tell which format to write for '%s' (png, jpg, bmp, qoi, "
               "pnm, ppm, pgm, pam or tga)\n",
               path);
  return false;
}

// A whole number in 1..limit, all of the text.
bool parseCount(std::string_view text, int64_t limit, int64_t& out) {
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, out);
  return error == std::errc() && at == end && out >= 1 && out <= limit;
}

bool parseSize(std::string_view text, int64_t& width, int64_t& height) {
  const std::size_t x = text.find('x');
  return x != std::string_view::npos && parseCount(text.substr(0, x), INT32_MAX, width) &&
         parseCount(text.substr(x + 1), INT32_MAX, height);
}

int usage(const char* text) {
  std::fprintf(stderr, "usage: %s\n", text);
  return kUsageError;
}

// A side that keeps the aspect ratio: other × side ÷ otherSide, rounded, at least 1.
int64_t keepAspect(int64_t side, int64_t sourceSide, int64_t sourceOther) {
  const double exact = static_cast<double>(sourceOther) * static_cast<double>(side) /
                       static_cast<double>(sourceSide);
  return std::max<int64_t>(1, std::llround(std::min(exact, double{INT32_MAX})));
}

// The largest size with the source's aspect ratio inside boxW × boxH.
void fitInside(int64_t boxW, int64_t boxH, int64_t sourceW, int64_t sourceH, int64_t& w,
               int64_t& h) {
  if (sourceW * boxH >= sourceH * boxW) {
    w = boxW;
    h = std::min(boxH, keepAspect(boxW, sourceW, sourceH));
  } else {
    h = boxH;
    w = std::min(boxW, keepAspect(boxH, sourceH, sourceW));
  }
}

// Runs one ov_image_* step that makes a new image, freeing the old one; null after saying why.
template <class Step>
ov_image* transform(ov_image* image, const char* what, Step&& step) {
  ov_image* out = nullptr;
  const ov_status status = step(image, &out);
  ov_image_free(image);
  if (status != OV_IMAGE_OK)
    std::fprintf(stderr, "orvel: cannot %s: %s\n", what, ov_image_strerror(status));
  return out;
}

int finishWrite(ov_image* image, const char* path, int quality = kDefaultQuality) {
  if (image == nullptr) return kUsageError;
  const bool written = encodeTo(image, path, quality);
  ov_image_free(image);
  return written ? 0 : kUsageError;
}

int32_t orientationOf(const Bytes& bytes) {
  ov_meta* meta = nullptr;
  if (ov_exif_read_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), &meta) != OV_EXIF_OK)
    return 1;
  const int32_t orientation = ov_exif_get_orientation(meta);
  ov_exif_meta_free(meta);
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

ov_image* upright(ov_image* image, const Bytes& bytes) {
  const int32_t orientation = orientationOf(bytes);
  if (orientation == 1) return image;
  return transform(image, "orient", [&](ov_image* in, ov_image** out) {
    return ov_image_apply_orientation(in, static_cast<uint32_t>(orientation), out);
  });
}

}  // namespace

int runResize(int argc, char** argv) {
  constexpr const char* kHelp =
      "orvel resize IN OUT (--width W | --height H | --fit WxH) [--filter box|bilinear|nearest]";
  std::vector<const char*> paths;
  int64_t width = 0, height = 0, fitW = 0, fitH = 0;
  int32_t filter = -1;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--width" && hasValue) {
      if (!parseCount(argv[++i], INT32_MAX, width)) return usage(kHelp);
    } else if (arg == "--height" && hasValue) {
      if (!parseCount(argv[++i], INT32_MAX, height)) return usage(kHelp);
    } else if (arg == "--fit" && hasValue) {
      if (!parseSize(argv[++i], fitW, fitH)) return usage(kHelp);
    } else if (arg == "--filter" && hasValue) {
      const std::string_view name = argv[++i];
      filter = name == "nearest" ? 0 : name == "bilinear" ? 1 : name == "box" ? 2 : -2;
      if (filter == -2) return usage(kHelp);
    } else {
      paths.push_back(argv[i]);
    }
  }
  const int sizes = (width > 0 || height > 0) + (fitW > 0);
  if (paths.size() != 2 || sizes != 1) return usage(kHelp);
  if (!checkOutputFormat(paths[1])) return kUsageError;
  Bytes bytes;
  ov_image* image = decodePath(paths[0], bytes);
  if (image == nullptr) return kUsageError;
  const int64_t sourceW = ov_image_width(image), sourceH = ov_image_height(image);
  if (fitW > 0) {
    fitInside(fitW, fitH, sourceW, sourceH, width, height);
  } else if (width == 0) {
    width = keepAspect(height, sourceH, sourceW);
  } else if (height == 0) {
    height = keepAspect(width, sourceW, sourceH);
  }
  if (filter < 0) filter = width <= sourceW && height <= sourceH ? 2 : 1;
  image = transform(image, "resize", [&](ov_image* in, ov_image** out) {
    return ov_image_resize(in, static_cast<int32_t>(width), static_cast<int32_t>(height), filter,
                           out);
  });
  return finishWrite(image, paths[1]);
}

int runRotate(int argc, char** argv) {
  constexpr const char* kHelp =
      "orvel rotate IN OUT (--cw90 | --180 | --ccw90 | --flip-h | --flip-v)";
  constexpr std::string_view kOperations[] = {"--cw90", "--180", "--ccw90", "--flip-h", "--flip-v"};
  std::vector<const char*> paths;
  int32_t operation = -1;
  int chosen = 0;
  for (int i = 0; i < argc; ++i) {
    bool named = false;
    for (int32_t op = 0; op < 5; ++op) {
      if (kOperations[op] == argv[i]) operation = op, named = true, ++chosen;
    }
    if (!named) paths.push_back(argv[i]);
  }
  if (paths.size() != 2 || chosen != 1) return usage(kHelp);
  if (!checkOutputFormat(paths[1])) return kUsageError;
  Bytes bytes;
  ov_image* image = decodePath(paths[0], bytes);
  if (image == nullptr) return kUsageError;
  image = transform(image, "rotate", [&](ov_image* in, ov_image** out) {
    return ov_image_rotate(in, operation, out);
  });
  return finishWrite(image, paths[1]);
}

int runCrop(int argc, char** argv) {
  constexpr const char* kHelp = "orvel crop IN OUT X,Y,W,H";
  if (argc != 3) return usage(kHelp);
  int64_t box[4] = {};
  std::string_view rest = argv[2];
  for (int k = 0; k < 4; ++k) {
    const std::size_t comma = k < 3 ? rest.find(',') : rest.size();
    if (comma == std::string_view::npos) return usage(kHelp);
    const std::string_view field = rest.substr(0, comma);
    const auto [at, error] = std::from_chars(field.data(), field.data() + field.size(), box[k]);
    if (error != std::errc() || at != field.data() + field.size() || box[k] < 0 ||
        box[k] > INT32_MAX) {
      return usage(kHelp);
    }
    rest = k < 3 ? rest.substr(comma + 1) : std::string_view();
  }
  if (!checkOutputFormat(argv[1])) return kUsageError;
  Bytes bytes;
  ov_image* image = decodePath(argv[0], bytes);
  if (image == nullptr) return kUsageError;
  const int64_t width = ov_image_width(image), height = ov_image_height(image);
  if (box[2] < 1 || box[3] < 1 || box[0] + box[2] > width || box[1] + box[3] > height) {
    std::fprintf(
        stderr, "orvel: the rectangle %s must be at least 1x1 and lie inside the %lldx%lld image\n",
        argv[2], static_cast<long long>(width), static_cast<long long>(height));
    ov_image_free(image);
    return kUsageError;
  }
  image = transform(image, "crop", [&](ov_image* in, ov_image** out) {
    return ov_image_crop(in, static_cast<int32_t>(box[0]), static_cast<int32_t>(box[1]),
                         static_cast<int32_t>(box[2]), static_cast<int32_t>(box[3]), out);
  });
  return finishWrite(image, argv[1]);
}

int runOrient(int argc, char** argv) {
  if (argc != 2) return usage("orvel orient IN OUT");
  if (!checkOutputFormat(argv[1])) return kUsageError;
  Bytes bytes;
  ov_image* image = decodePath(argv[0], bytes);
  if (image == nullptr) return kUsageError;
  return finishWrite(upright(image, bytes), argv[1]);
}

int runThumbnail(int argc, char** argv) {
  constexpr const char* kHelp = "orvel thumbnail IN OUT --fit WxH [--quality N]";
  std::vector<const char*> paths;
  int64_t fitW = 0, fitH = 0, quality = kDefaultQuality;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--fit" && i + 1 < argc) {
      if (!parseSize(argv[++i], fitW, fitH)) return usage(kHelp);
    } else if (arg == "--quality" && i + 1 < argc) {
      if (!parseCount(argv[++i], 100, quality)) return usage(kHelp);
    } else {
      paths.push_back(argv[i]);
    }
  }
  if (paths.size() != 2 || fitW == 0) return usage(kHelp);
  if (!checkOutputFormat(paths[1])) return kUsageError;
  Bytes bytes;
  ov_image* image = decodePath(paths[0], bytes);
  if (image == nullptr) return kUsageError;
  image = upright(image, bytes);
  if (image == nullptr) return kUsageError;
  const int64_t sourceW = ov_image_width(image), sourceH = ov_image_height(image);
  // A thumbnail never enlarges: an image already inside the box keeps its size.
  if (sourceW > fitW || sourceH > fitH) {
    int64_t width = 0, height = 0;
    fitInside(fitW, fitH, sourceW, sourceH, width, height);
    image = transform(image, "resize", [&](ov_image* in, ov_image** out) {
      return ov_image_resize(in, static_cast<int32_t>(width), static_cast<int32_t>(height), 2, out);
    });
  }
  return finishWrite(image, paths[1], static_cast<int>(quality));
}

}  // namespace orvel_cli
