#include "metadata/exif/enums.h"

#include <algorithm>
#include <array>
#include <span>

namespace orvel::metadata::exif {
namespace {

struct EnumText {
  int64_t value;
  std::string_view text;
};

constexpr EnumText kOrientation[] = {
    {1, "Horizontal (normal)"},
    {2, "Mirror horizontal"},
    {3, "Rotate 180"},
    {4, "Mirror vertical"},
    {5, "Mirror horizontal and rotate 270 CW"},
    {6, "Rotate 90 CW"},
    {7, "Mirror horizontal and rotate 90 CW"},
    {8, "Rotate 270 CW"},
};

constexpr EnumText kResolutionUnit[] = {{1, "None"}, {2, "inches"}, {3, "cm"}};

constexpr EnumText kExposureProgram[] = {
    {0, "Not Defined"},
    {1, "Manual"},
    {2, "Program AE"},
    {3, "Aperture-priority AE"},
    {4, "Shutter speed priority AE"},
    {5, "Creative (Slow speed)"},
    {6, "Action (High speed)"},
    {7, "Portrait"},
    {8, "Landscape"},
};

constexpr EnumText kMeteringMode[] = {
    {0, "Unknown"}, {1, "Average"},       {2, "Center-weighted average"},
    {3, "Spot"},    {4, "Multi-spot"},    {5, "Multi-segment"},
    {6, "Partial"}, {255, "Other"},
};

constexpr EnumText kLightSource[] = {
    {0, "Unknown"},
    {1, "Daylight"},
    {2, "Fluorescent"},
    {3, "Tungsten (Incandescent)"},
    {4, "Flash"},
    {9, "Fine weather"},
    {10, "Cloudy"},
    {11, "Shade"},
    {12, "Daylight fluorescent (D 5700 - 7100K)"},
    {13, "Day white fluorescent (N 4600 - 5500K)"},
    {14, "Cool white fluorescent (W 3800 - 4500K)"},
    {15, "White fluorescent (WW 3200 - 3700K)"},
    {16, "Warm white fluorescent (L 2600 - 3200K)"},
    {17, "Standard light A"},
    {18, "Standard light B"},
    {19, "Standard light C"},
    {20, "D55"},
    {21, "D65"},
    {22, "D75"},
    {23, "D50"},
    {24, "ISO studio tungsten"},
    {255, "Other"},
};

constexpr EnumText kWhiteBalance[] = {{0, "Auto"}, {1, "Manual"}};

constexpr EnumText kColorSpace[] = {
    {1, "sRGB"},
    {2, "Adobe RGB"},
    {0xFFFD, "Wide Gamut RGB"},
    {0xFFFE, "ICC Profile"},
    {0xFFFF, "Uncalibrated"},
};

constexpr EnumText kExposureMode[] = {{0, "Auto"}, {1, "Manual"}, {2, "Auto bracket"}};

constexpr EnumText kSceneCaptureType[] = {
    {0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "Night"}, {4, "Other"},
};

constexpr EnumText kSensingMethod[] = {
    {1, "Not defined"},
    {2, "One-chip color area"},
    {3, "Two-chip color area"},
    {4, "Three-chip color area"},
    {5, "Color sequential area"},
    {7, "Trilinear"},
    {8, "Color sequential linear"},
};

constexpr EnumText kGpsAltitudeRef[] = {{0, "Above Sea Level"}, {1, "Below Sea Level"}};

constexpr EnumText kFlash[] = {
    {0, "No Flash"},
    {1, "Fired"},
    {5, "Fired, Return not detected"},
    {7, "Fired, Return detected"},
    {8, "On, Did not fire"},
    {9, "On, Fired"},
    {13, "On, Return not detected"},
    {15, "On, Return detected"},
    {16, "Off, Did not fire"},
    {20, "Off, Did not fire, Return not detected"},
    {24, "Auto, Did not fire"},
    {25, "Auto, Fired"},
    {29, "Auto, Fired, Return not detected"},
    {31, "Auto, Fired, Return detected"},
    {32, "No flash function"},
    {48, "Off, No flash function"},
    {65, "Fired, Red-eye reduction"},
    {69, "Fired, Red-eye reduction, Return not detected"},
    {71, "Fired, Red-eye reduction, Return detected"},
    {73, "On, Red-eye reduction"},
    {77, "On, Red-eye reduction, Return not detected"},
    {79, "On, Red-eye reduction, Return detected"},
    {80, "Off, Red-eye reduction"},
    {88, "Auto, Did not fire, Red-eye reduction"},
    {89, "Auto, Fired, Red-eye reduction"},
    {93, "Auto, Fired, Red-eye reduction, Return not detected"},
    {95, "Auto, Fired, Red-eye reduction, Return detected"},
};

constexpr EnumText kCompositeImage[] = {
    {0, "Unknown"},
    {1, "Not a Composite Image"},
    {2, "General Composite Image"},
    {3, "Composite Image Captured While Shooting"},
};

struct CodeText {
  std::string_view code;
  std::string_view text;
};

constexpr CodeText kInteropIndex[] = {
    {"R98", "R98 - DCF basic file (sRGB)"},
    {"THM", "THM - DCF thumbnail file"},
    {"R03", "R03 - DCF option file (Adobe RGB)"},
};

template <std::size_t N>
constexpr bool ascending(const EnumText (&table)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (table[i - 1].value >= table[i].value) return false;
  }
  return true;
}
static_assert(ascending(kOrientation) && ascending(kResolutionUnit) &&
              ascending(kExposureProgram) && ascending(kMeteringMode) &&
              ascending(kLightSource) && ascending(kWhiteBalance) && ascending(kColorSpace) &&
              ascending(kExposureMode) && ascending(kSceneCaptureType) &&
              ascending(kSensingMethod) && ascending(kGpsAltitudeRef) && ascending(kFlash) &&
              ascending(kCompositeImage),
              "lookups use binary search");
static_assert(std::size(kFlash) == 27);

const EnumText* lookup(std::span<const EnumText> table, int64_t value) {
  auto found = std::lower_bound(table.begin(), table.end(), value,
                                [](const EnumText& entry, int64_t key) { return entry.value < key; });
  return found != table.end() && found->value == value ? &*found : nullptr;
}

std::string textOrNumber(std::span<const EnumText> table, int64_t value) {
  if (const EnumText* entry = lookup(table, value)) return std::string(entry->text);
  return std::to_string(value);
}

}  // namespace

std::string getOrientation(int64_t value) { return textOrNumber(kOrientation, value); }
std::string getResolutionUnit(int64_t value) { return textOrNumber(kResolutionUnit, value); }
std::string getExposureProgram(int64_t value) { return textOrNumber(kExposureProgram, value); }
std::string getMeteringMode(int64_t value) { return textOrNumber(kMeteringMode, value); }
std::string getLightSource(int64_t value) { return textOrNumber(kLightSource, value); }
std::string getWhiteBalance(int64_t value) { return textOrNumber(kWhiteBalance, value); }
std::string getColorSpace(int64_t value) { return textOrNumber(kColorSpace, value); }
std::string getExposureMode(int64_t value) { return textOrNumber(kExposureMode, value); }
std::string getSceneCaptureType(int64_t value) { return textOrNumber(kSceneCaptureType, value); }
std::string getSensingMethod(int64_t value) { return textOrNumber(kSensingMethod, value); }
std::string getGpsAltitudeRef(int64_t value) { return textOrNumber(kGpsAltitudeRef, value); }
std::string getCompositeImage(int64_t value) { return textOrNumber(kCompositeImage, value); }

std::string parseFlash(int64_t value) {
  if (const EnumText* entry = lookup(kFlash, value)) return std::string(entry->text);
  return "Unknown (" + std::to_string(value) + ")";
}

std::string getInteropIndex(std::string_view code) {
  for (const CodeText& entry : kInteropIndex) {
    if (entry.code == code) return std::string(entry.text);
  }
  return std::string(code);
}

}  // namespace orvel::metadata::exif
