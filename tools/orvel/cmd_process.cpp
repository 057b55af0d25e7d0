// orvel resize, rotate, crop, orient and thumbnail: decode IN, transform it, encode OUT in the
// format its extension names; thumbnail also over many files, mirroring them under OUTDIR.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "batch.h"
#include "cli.h"
#include "orvel.h"

namespace orvel_cli {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kDefaultQuality = 85;

bool checkOutputFormat(const char* path) {
  if (encodeFormatNamed(lowerExtension(path)) != 0) return true;
  std::fprintf(stderr,
               "orvel: cannot tell which format to write for '%s' (png, jpg, bmp, qoi, "
               "pnm, ppm, pgm, pam or tga)\n",
               path);
  return false;
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

// Runs one ov_image_* step that makes a new image, freeing the old one; null with why in error.
template <class Step>
ov_image* transform(ov_image* image, const char* what, std::string& error, Step&& step) {
  if (image == nullptr) return nullptr;
  ov_image* out = nullptr;
  const ov_status status = step(image, &out);
  ov_image_free(image);
  if (status != OV_IMAGE_OK) error = std::string("cannot ") + what + ": " + ov_image_strerror(status);
  return out;
}

// Encodes the image (when there is one) to path by its extension; 0, or kUsageError after
// printing why the image or the file could not be made.
int finishWrite(ov_image* image, const char* path, const std::string& failure,
                int quality = kDefaultQuality) {
  std::string error = failure;
  const bool written = image != nullptr &&
                       encodeImageFile(image, path, encodeFormatNamed(lowerExtension(path)),
                                       quality, error);
  ov_image_free(image);
  if (!written) std::fprintf(stderr, "orvel: %s\n", error.c_str());
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

ov_image* upright(ov_image* image, const Bytes& bytes, std::string& error) {
  const int32_t orientation = orientationOf(bytes);
  if (orientation == 1) return image;
  return transform(image, "orient", error, [&](ov_image* in, ov_image** out) {
    return ov_image_apply_orientation(in, static_cast<uint32_t>(orientation), out);
  });
}

// The decoded image turned upright and shrunk to fit fitW x fitH (never enlarged); null with
// why in error. Takes the image.
ov_image* thumbnailOf(ov_image* image, const Bytes& bytes, int64_t fitW, int64_t fitH,
                      std::string& error) {
  image = upright(image, bytes, error);
  if (image == nullptr) return nullptr;
  const int64_t sourceW = ov_image_width(image), sourceH = ov_image_height(image);
  if (sourceW <= fitW && sourceH <= fitH) return image;
  int64_t width = 0, height = 0;
  fitInside(fitW, fitH, sourceW, sourceH, width, height);
  return transform(image, "resize", error, [&](ov_image* in, ov_image** out) {
    return ov_image_resize(in, static_cast<int32_t>(width), static_cast<int32_t>(height),
                           OV_FILTER_BOX, out);
  });
}

struct ThumbnailOptions {
  int64_t fitW = 0, fitH = 0, quality = kDefaultQuality;
  std::string outDir;
  std::string format;  // of the files written under outDir
  BatchOptions batch;
};

constexpr const char* kThumbnailUsage =
    "usage: orvel thumbnail IN OUT --fit WxH [--quality N]\n"
    "       orvel thumbnail [-r] [-j N] [-@ LIST|-] IN... --out OUTDIR --fit WxH [--quality N]\n"
    "                       [--format jpg|png|bmp|qoi|pnm|tga]\n";

bool parseThumbnailOptions(int argc, char** argv, ThumbnailOptions& options) {
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    bool good = true;
    if (arg == "--fit" && hasValue) {
      good = parseSize(argv[++i], options.fitW, options.fitH);
    } else if (arg == "--quality" && hasValue) {
      good = parseCount(argv[++i], 100, options.quality);
    } else if (arg == "--out" && hasValue) {
      options.outDir = argv[++i];
    } else if (arg == "--format" && hasValue) {
      options.format = argv[++i];
      good = encodeFormatNamed(options.format) != 0;
    } else if (arg.empty() || arg[0] != '-') {
      options.batch.operands.emplace_back(argv[i]);
    } else {
      good = takeBatchArg(argc, argv, i, options.batch, "thumbnail") == BatchArg::kTaken;
    }
    if (!good) return false;
  }
  const BatchOptions& batch = options.batch;
  const bool many = batch.recursive || batch.hasList || !options.outDir.empty();
  const bool single = !many && batch.operands.size() == 2 && options.format.empty();
  return options.fitW > 0 &&
         (single || (many && !options.outDir.empty() && (!batch.operands.empty() || batch.hasList)));
}

// The output of one file of a run: its relative path under outDir, with the format's extension.
std::string thumbnailTarget(const ThumbnailOptions& options, const BatchItem& item,
                            std::string& error) {
  std::string relative = item.relative;
  // The base name's extension goes; a leading dot (".hidden") is part of the name.
  const std::size_t dot = relative.find_last_of('.');
  const std::size_t nameStart = relative.find_last_of('/') + 1;  // 0 when there is no slash
  if (dot != std::string::npos && dot > nameStart) relative.resize(dot);
  relative += "." + (options.format.empty() ? std::string("jpg") : options.format);
  return mirroredPath(options.outDir, relative, error);
}

constexpr std::string_view kPartSuffix = ".orvel-part-";

// Writes bytes to a new file beside target (its name: target, kPartSuffix, a number); the
// file's name, or empty with why in error.
std::string writeBeside(const std::string& target, const uint8_t* data, int64_t length,
                        std::string& error) {
  static std::atomic<unsigned long> serial{0};
  const std::string part = target + std::string(kPartSuffix) + std::to_string(getpid()) + "-" +
                           std::to_string(serial++);
  const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  bool written = fd >= 0;
  for (int64_t at = 0; written && at < length;) {
    const ssize_t wrote = write(fd, data + at, static_cast<std::size_t>(length - at));
    written = wrote > 0 || (wrote < 0 && errno == EINTR);
    at += std::max<ssize_t>(wrote, 0);
  }
  if (fd >= 0) written = close(fd) == 0 && written;
  if (written) return part;
  error = "cannot write '" + target + "': " + std::strerror(errno);
  if (fd >= 0) unlink(part.c_str());
  return "";
}

// Decodes, shrinks and encodes one file of a run into a file beside its target, which
// settleThumbnail then puts in place, so that the output tree never holds a partial file.
BatchOutcome thumbnailItem(const ThumbnailOptions& options, const BatchItem& item) {
  BatchOutcome outcome;
  outcome.error = unreadableReason(item.path.c_str());
  if (!outcome.error.empty()) {
    outcome.error = "cannot read '" + item.path + "': " + outcome.error;
    return outcome;
  }
  Bytes bytes;
  ov_image* image = decodeImageFile(item.path, bytes, outcome.error);
  if (image == nullptr) return outcome;
  image = thumbnailOf(image, bytes, options.fitW, options.fitH, outcome.error);
  const std::string target = image == nullptr ? "" : thumbnailTarget(options, item, outcome.error);
  uint8_t* encoded = nullptr;
  int64_t length = 0;
  if (!target.empty()) {
    const int32_t format = encodeFormatNamed(options.format.empty() ? "jpg" : options.format);
    const ov_status status =
        ov_image_encode(image, format, static_cast<int>(options.quality), &encoded, &length);
    if (status == OV_IMAGE_OK) {
      outcome.staged = writeBeside(target, encoded, length, outcome.error);
    } else {
      outcome.error = "cannot encode '" + item.path + "': " + ov_image_strerror(status);
    }
  }
  ov_image_buffer_free(encoded);
  ov_image_free(image);
  return outcome;
}

// Puts a written thumbnail in place, in input order. Two sources can name one target (IMG_1.JPG
// and IMG_1.HEIC both give IMG_1.jpg): the first keeps it, the later ones fail instead of
// silently replacing it.
void settleThumbnail(std::map<std::string, std::string>& written, const BatchItem& item,
                     BatchOutcome& outcome) {
  if (outcome.staged.empty()) return;
  const std::string target = outcome.staged.substr(0, outcome.staged.rfind(kPartSuffix));
  const auto [first, fresh] = written.emplace(target, item.path);
  if (!fresh) {
    outcome.error = "cannot write '" + target + "' for '" + item.path + "': '" + first->second +
                    "' was written there";
  } else if (std::rename(outcome.staged.c_str(), target.c_str()) != 0) {
    outcome.error = "cannot write '" + target + "': " + std::strerror(errno);
  }
  if (!outcome.error.empty()) unlink(outcome.staged.c_str());
}

int thumbnailOne(const ThumbnailOptions& options) {
  const char* input = options.batch.operands[0].c_str();
  const char* output = options.batch.operands[1].c_str();
  if (!checkOutputFormat(output)) return kUsageError;
  Bytes bytes;
  ov_image* image = decodeImagePath(input, bytes);
  if (image == nullptr) return kUsageError;
  std::string error;
  image = thumbnailOf(image, bytes, options.fitW, options.fitH, error);
  return finishWrite(image, output, error, static_cast<int>(options.quality));
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
  ov_image* image = decodeImagePath(paths[0], bytes);
  if (image == nullptr) return kUsageError;
  const int64_t sourceW = ov_image_width(image), sourceH = ov_image_height(image);
  if (fitW > 0) {
    fitInside(fitW, fitH, sourceW, sourceH, width, height);
  } else if (width == 0) {
    width = keepAspect(height, sourceH, sourceW);
  } else if (height == 0) {
    height = keepAspect(width, sourceW, sourceH);
  }
  std::string error;
  if (filter < 0) filter = width <= sourceW && height <= sourceH ? 2 : 1;
  image = transform(image, "resize", error, [&](ov_image* in, ov_image** out) {
    return ov_image_resize(in, static_cast<int32_t>(width), static_cast<int32_t>(height), filter,
                           out);
  });
  return finishWrite(image, paths[1], error);
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
  ov_image* image = decodeImagePath(paths[0], bytes);
  if (image == nullptr) return kUsageError;
  std::string error;
  image = transform(image, "rotate", error, [&](ov_image* in, ov_image** out) {
    return ov_image_rotate(in, operation, out);
  });
  return finishWrite(image, paths[1], error);
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
  ov_image* image = decodeImagePath(argv[0], bytes);
  if (image == nullptr) return kUsageError;
  const int64_t width = ov_image_width(image), height = ov_image_height(image);
  if (box[2] < 1 || box[3] < 1 || box[0] + box[2] > width || box[1] + box[3] > height) {
    std::fprintf(
        stderr, "orvel: the rectangle %s must be at least 1x1 and lie inside the %lldx%lld image\n",
        argv[2], static_cast<long long>(width), static_cast<long long>(height));
    ov_image_free(image);
    return kUsageError;
  }
  std::string error;
  image = transform(image, "crop", error, [&](ov_image* in, ov_image** out) {
    return ov_image_crop(in, static_cast<int32_t>(box[0]), static_cast<int32_t>(box[1]),
                         static_cast<int32_t>(box[2]), static_cast<int32_t>(box[3]), out);
  });
  return finishWrite(image, argv[1], error);
}

int runOrient(int argc, char** argv) {
  if (argc != 2) return usage("orvel orient IN OUT");
  if (!checkOutputFormat(argv[1])) return kUsageError;
  Bytes bytes;
  ov_image* image = decodeImagePath(argv[0], bytes);
  if (image == nullptr) return kUsageError;
  std::string error;
  image = upright(image, bytes, error);
  return finishWrite(image, argv[1], error);
}

int runThumbnail(int argc, char** argv) {
  ThumbnailOptions options;
  if (!parseThumbnailOptions(argc, argv, options)) {
    std::fputs(kThumbnailUsage, stderr);
    return kUsageError;
  }
  if (options.outDir.empty()) return thumbnailOne(options);
  if (!prepareOutDir(options.outDir, options.batch, "thumbnail")) return kUsageError;
  BatchCallbacks callbacks;
  callbacks.work = [&](const BatchItem& item) { return thumbnailItem(options, item); };
  std::map<std::string, std::string> written;  // target: the source that made it
  callbacks.settle = [&](const BatchItem& item, BatchOutcome& outcome) {
    settleThumbnail(written, item, outcome);
  };
  callbacks.emit = [](const BatchItem&, const BatchOutcome& outcome) {
    if (!outcome.error.empty()) std::fprintf(stderr, "orvel: %s\n", outcome.error.c_str());
  };
  const BatchSummary summary = runBatch(options.batch, callbacks);
  printSummary("thumbnail", summary);
  return summary.errors == 0 ? 0 : kUsageError;
}

}  // namespace orvel_cli
