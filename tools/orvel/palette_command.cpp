// orvel palette: the palette of an image, one colour per line (sRGB hex and the components in
// the work space) or as a JSON array, and optionally a strip of swatches as a PNG file.
// Colour names and the conversion back to sRGB come from the colour library, which has no
// state and no exported functions of its own.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "cmd_palette.h"
#include "color/convert.h"
#include "color/spaces.h"
#include "orvel.h"

namespace orvel_cli {

namespace {

constexpr const char* kAlgorithms[] = {"wu",        "kmeans", "kmeansPP",
                                       "medianCut", "octree", "neuquant"};
constexpr const char* kAlgorithmList = "wu, kmeans, kmeansPP, medianCut, octree, neuquant";
constexpr int kSwatchSide = 64;
constexpr int kMaxColours = 256;

struct PaletteOptions {
  const char* input = nullptr;
  int32_t count = 8;
  const char* algorithm = "wu";
  std::string space = "oklab";
  int64_t seed = 0;
  bool json = false;
  const char* swatch = nullptr;
};

int usage() {
  std::fputs(
      "usage: orvel palette IN [-n N] [--algo wu|kmeans|kmeansPP|medianCut|octree|neuquant]\n"
      "                        [--space oklab|...] [--seed S] [--json] [--swatch OUT.png]\n",
      stderr);
  return kUsageError;
}

bool parseInteger(const char* text, int64_t low, int64_t high, int64_t& out) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
  out = value;
  return true;
}

// Parses the arguments; prints why and answers false when they are wrong.
bool parsePaletteOptions(int argc, char** argv, PaletteOptions& o) {
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    int64_t number = 0;
    if (arg == "-n" && hasValue) {
      if (!parseInteger(argv[++i], 1, kMaxColours, number)) {
        std::fprintf(stderr, "orvel palette: -n takes a count from 1 to %d, not '%s'\n",
                     kMaxColours, argv[i]);
        return false;
      }
      o.count = static_cast<int32_t>(number);
    } else if (arg == "--algo" && hasValue) {
      o.algorithm = argv[++i];
      if (std::none_of(std::begin(kAlgorithms), std::end(kAlgorithms),
                       [&](const char* name) { return o.algorithm == std::string_view(name); })) {
        std::fprintf(stderr, "orvel palette: unknown algorithm '%s' (valid: %s)\n", o.algorithm,
                     kAlgorithmList);
        return false;
      }
    } else if (arg == "--space" && hasValue) {
      o.space = argv[++i];
      if (orvel::color::spaceByName(o.space) == nullptr) {
        std::fprintf(stderr, "orvel palette: unknown colour space '%s' (valid: %s)\n", argv[i],
                     orvel::color::spaceNames().c_str());
        return false;
      }
    } else if (arg == "--seed" && hasValue) {
      if (!parseInteger(argv[++i], INT64_MIN, INT64_MAX, o.seed)) {
        std::fprintf(stderr, "orvel palette: --seed takes an integer, not '%s'\n", argv[i]);
        return false;
      }
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "--swatch" && hasValue) {
      o.swatch = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "orvel palette: unknown option or missing value '%s'\n", argv[i]);
      return false;
    } else if (o.input == nullptr) {
      o.input = argv[i];
    } else {
      std::fprintf(stderr, "orvel palette: one input only ('%s')\n", argv[i]);
      return false;
    }
  }
  if (o.input == nullptr) return false;
  const bool kmeans = std::string_view(o.algorithm).starts_with("kmeans");
  if (kmeans && o.space != "oklab") {
    std::fprintf(stderr, "orvel palette: %s works only in oklab\n", o.algorithm);
    return false;
  }
  return true;
}

struct Swatch {
  ov_color colour;
  uint8_t rgb[3];
};

// The colour as 8-bit sRGB, clipped to the gamut.
void toSrgbBytes(const ov_color& c, uint8_t out[3]) {
  const orvel::color::Color work{
      {c.c0, c.c1, c.c2}, 1.0f, static_cast<orvel::color::SpaceTag>(c.space)};
  const orvel::color::Result<orvel::color::Color> srgb =
      orvel::color::to(work, orvel::color::tagSrgb);
  for (int k = 0; k < 3; ++k) {
    const double v = srgb.ok() ? srgb.value().c[k] : 0.0;
    out[k] = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
  }
}

std::string hexOf(const uint8_t rgb[3]) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
  return text;
}

void printPlain(const std::vector<Swatch>& swatches) {
  for (const Swatch& s : swatches) {
    std::printf("%s %.6g %.6g %.6g\n", hexOf(s.rgb).c_str(), s.colour.c0, s.colour.c1, s.colour.c2);
  }
}

void printJson(const std::vector<Swatch>& swatches, const std::string& space) {
  std::fputs("[", stdout);
  for (std::size_t i = 0; i < swatches.size(); ++i) {
    const Swatch& s = swatches[i];
    std::printf("%s\n  {\"hex\": \"%s\", \"space\": %s, \"components\": [%.9g, %.9g, %.9g]}",
                i == 0 ? "" : ",", hexOf(s.rgb).c_str(), jsonQuoted(space).c_str(), s.colour.c0,
                s.colour.c1, s.colour.c2);
  }
  std::fputs(swatches.empty() ? "]\n" : "\n]\n", stdout);
}

// A strip of square swatches, left to right, as a PNG file.
bool writeSwatches(const std::vector<Swatch>& swatches, const char* path) {
  const int width = kSwatchSide * static_cast<int>(swatches.size());
  std::vector<uint8_t> pixels(static_cast<std::size_t>(width) * kSwatchSide * 3);
  for (int y = 0; y < kSwatchSide; ++y) {
    for (int x = 0; x < width; ++x) {
      std::memcpy(&pixels[(static_cast<std::size_t>(y) * width + x) * 3],
                  swatches[x / kSwatchSide].rgb, 3);
    }
  }
  ov_image* strip = nullptr;
  uint8_t* png = nullptr;
  int64_t length = 0;
  ov_status status = ov_image_from_pixels(width, kSwatchSide, 1, pixels.data(),
                                          static_cast<int64_t>(pixels.size()), &strip);
  if (status == 0) status = ov_image_encode(strip, 1, 90, &png, &length);
  ov_image_free(strip);
  bool written = false;
  if (status == 0) {
    std::FILE* file = std::fopen(path, "wb");
    if (file != nullptr) {
      written = std::fwrite(png, 1, static_cast<std::size_t>(length), file) ==
                static_cast<std::size_t>(length);
      written = std::fclose(file) == 0 && written;
    }
  }
  ov_image_buffer_free(png);
  if (!written) {
    std::fprintf(stderr, "orvel palette: cannot write '%s': %s\n", path,
                 status == 0 ? std::strerror(errno) : ov_image_strerror(status));
  }
  return written;
}

}  // namespace

int runPalette(int argc, char** argv) {
  PaletteOptions o;
  if (!parsePaletteOptions(argc, argv, o)) return usage();
  if (!checkReadable(o.input)) return kUsageError;
  std::ifstream file(o.input, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});

  ov_image* image = nullptr;
  ov_status status =
      ov_image_decode_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), 0, &image);
  if (status != 0) {
    std::fprintf(stderr, "orvel palette: cannot decode '%s': %s\n", o.input,
                 ov_image_strerror(status));
    return kUsageError;
  }
  ov_quantize_opts opts = {o.seed, 20, 0, 0, 0};
  ov_palette* palette = nullptr;
  status = ov_image_extract_palette(image, o.count, o.algorithm,
                                    orvel::color::spaceByName(o.space)->tag, &opts, &palette);
  ov_image_free(image);
  if (status != 0) {
    std::fprintf(stderr, "orvel palette: no palette for '%s': %s\n", o.input,
                 ov_image_strerror(status));
    return kUsageError;
  }
  std::vector<Swatch> swatches(static_cast<std::size_t>(ov_palette_len(palette)));
  for (std::size_t i = 0; i < swatches.size(); ++i) {
    ov_palette_color_at(palette, static_cast<int64_t>(i), &swatches[i].colour);
    toSrgbBytes(swatches[i].colour, swatches[i].rgb);
  }
  ov_palette_free(palette);

  if (o.json) {
    printJson(swatches, o.space);
  } else {
    printPlain(swatches);
  }
  if (o.swatch != nullptr && !writeSwatches(swatches, o.swatch)) return kUsageError;
  return 0;
}

}  // namespace orvel_cli
