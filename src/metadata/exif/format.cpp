#include "metadata/exif/format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

#include "base/read_limits.h"
#include "base/text.h"
#include "metadata/exif/enums.h"

namespace orvel::metadata::exif {

using base::stripSpace;

namespace {

enum FormatRule : uint8_t {
  frNone,
  frExposureTime,
  frFNumber,
  frAperture,
  frShutterSpeed,
  frFocalLength,
  frTwoDecimals,
  frGpsAltitude,
  frGpsLatitude,
  frGpsLongitude,
  frWholeEnum,
  frFirstFieldEnum,
  frGpsAltitudeRef,
  frHexVersion,
  frMatrix,
  frDecimals,         // every field as a decimal number
  frDegreesCelsius,   // the same, then " C"
};

using EnumFunction = std::string (*)(int64_t);

struct NamedRule {
  std::string_view name;
  FormatRule rule;
  EnumFunction enumText;
};

// Sorted by name (byte order) for binary search.
constexpr NamedRule kRules[] = {
    {"Acceleration", frDecimals, nullptr},
    {"AmbientTemperature", frDegreesCelsius, nullptr},
    {"AnalogBalance", frMatrix, nullptr},
    {"ApertureValue", frAperture, nullptr},
    {"AsShotNeutral", frMatrix, nullptr},
    {"BrightnessValue", frTwoDecimals, nullptr},
    {"CameraCalibration1", frMatrix, nullptr},
    {"CameraCalibration2", frMatrix, nullptr},
    {"CameraElevationAngle", frDecimals, nullptr},
    {"ColorMatrix1", frMatrix, nullptr},
    {"ColorMatrix2", frMatrix, nullptr},
    {"ColorSpace", frFirstFieldEnum, getColorSpace},
    {"CompositeImage", frFirstFieldEnum, getCompositeImage},
    {"DNGBackwardVersion", frHexVersion, nullptr},
    {"DNGVersion", frHexVersion, nullptr},
    {"DigitalZoomRatio", frTwoDecimals, nullptr},
    {"ExposureCompensation", frTwoDecimals, nullptr},
    {"ExposureMode", frFirstFieldEnum, getExposureMode},
    {"ExposureProgram", frWholeEnum, getExposureProgram},
    {"ExposureTime", frExposureTime, nullptr},
    {"FNumber", frFNumber, nullptr},
    {"Flash", frWholeEnum, parseFlash},
    {"FocalLength", frFocalLength, nullptr},
    {"FocalLengthIn35mmFormat", frFocalLength, nullptr},
    {"GPSAltitude", frGpsAltitude, nullptr},
    {"GPSAltitudeRef", frGpsAltitudeRef, getGpsAltitudeRef},
    {"GPSLatitude", frGpsLatitude, nullptr},
    {"GPSLongitude", frGpsLongitude, nullptr},
    {"GPSSpeed", frTwoDecimals, nullptr},
    {"Humidity", frDecimals, nullptr},
    {"LightSource", frWholeEnum, getLightSource},
    {"MaxApertureValue", frAperture, nullptr},
    {"MeteringMode", frWholeEnum, getMeteringMode},
    {"Orientation", frWholeEnum, getOrientation},
    {"Pressure", frDecimals, nullptr},
    {"ResolutionUnit", frWholeEnum, getResolutionUnit},
    {"SceneCaptureType", frFirstFieldEnum, getSceneCaptureType},
    {"SensingMethod", frFirstFieldEnum, getSensingMethod},
    {"ShutterSpeedValue", frShutterSpeed, nullptr},
    {"TIFF-EPStandardID", frHexVersion, nullptr},
    {"WaterDepth", frDecimals, nullptr},
    {"WhiteBalance", frWholeEnum, getWhiteBalance},
};

constexpr bool rulesSorted() {
  for (std::size_t i = 1; i < std::size(kRules); ++i) {
    if (!(kRules[i - 1].name < kRules[i].name)) return false;
  }
  return true;
}
static_assert(rulesSorted(), "binary search needs the names in byte order");

constexpr const NamedRule* ruleNamed(std::string_view name) {
  for (const NamedRule& rule : kRules) {
    if (rule.name == name) return &rule;
  }
  return nullptr;
}

struct NumberedRule {
  uint16_t tag;
  const NamedRule* rule;
};

// The same rules by tag number, for the directory walk (which knows numbers, not names).
constexpr NumberedRule kExifRules[] = {
    {0x0112, ruleNamed("Orientation")},
    {0x0128, ruleNamed("ResolutionUnit")},
    {0x829A, ruleNamed("ExposureTime")},
    {0x829D, ruleNamed("FNumber")},
    {0x8822, ruleNamed("ExposureProgram")},
    {0x9201, ruleNamed("ShutterSpeedValue")},
    {0x9202, ruleNamed("ApertureValue")},
    {0x9203, ruleNamed("BrightnessValue")},
    {0x9204, ruleNamed("ExposureCompensation")},
    {0x9205, ruleNamed("MaxApertureValue")},
    {0x9207, ruleNamed("MeteringMode")},
    {0x9208, ruleNamed("LightSource")},
    {0x9209, ruleNamed("Flash")},
    {0x920A, ruleNamed("FocalLength")},
    {0x9216, ruleNamed("TIFF-EPStandardID")},
    {0x9400, ruleNamed("AmbientTemperature")},
    {0x9401, ruleNamed("Humidity")},
    {0x9402, ruleNamed("Pressure")},
    {0x9403, ruleNamed("WaterDepth")},
    {0x9404, ruleNamed("Acceleration")},
    {0x9405, ruleNamed("CameraElevationAngle")},
    {0xA001, ruleNamed("ColorSpace")},
    {0xA217, ruleNamed("SensingMethod")},
    {0xA402, ruleNamed("ExposureMode")},
    {0xA403, ruleNamed("WhiteBalance")},
    {0xA404, ruleNamed("DigitalZoomRatio")},
    {0xA405, ruleNamed("FocalLengthIn35mmFormat")},
    {0xA406, ruleNamed("SceneCaptureType")},
    {0xA460, ruleNamed("CompositeImage")},
    {0xC612, ruleNamed("DNGVersion")},
    {0xC613, ruleNamed("DNGBackwardVersion")},
    {0xC621, ruleNamed("ColorMatrix1")},
    {0xC622, ruleNamed("ColorMatrix2")},
    {0xC623, ruleNamed("CameraCalibration1")},
    {0xC624, ruleNamed("CameraCalibration2")},
    {0xC627, ruleNamed("AnalogBalance")},
    {0xC628, ruleNamed("AsShotNeutral")},
};

// GPS tags are numbered 0..31; the table is indexed by number.
constexpr std::array<const NamedRule*, 32> kGpsRules = [] {
  std::array<const NamedRule*, 32> rules{};
  rules[2] = ruleNamed("GPSLatitude");
  rules[4] = ruleNamed("GPSLongitude");
  rules[5] = ruleNamed("GPSAltitudeRef");
  rules[6] = ruleNamed("GPSAltitude");
  rules[13] = ruleNamed("GPSSpeed");
  return rules;
}();

constexpr bool numberedRulesComplete() {
  for (std::size_t i = 0; i < std::size(kExifRules); ++i) {
    if (kExifRules[i].rule == nullptr) return false;
    if (i > 0 && kExifRules[i - 1].tag >= kExifRules[i].tag) return false;
  }
  return std::size(kExifRules) + 5 == std::size(kRules);  // five GPS rules
}
static_assert(numberedRulesComplete(), "every rule is reachable by number, in ascending order");

const NamedRule* ruleFor(std::string_view name) noexcept {
  auto found = std::lower_bound(std::begin(kRules), std::end(kRules), name,
                                [](const NamedRule& r, std::string_view key) { return r.name < key; });
  return found != std::end(kRules) && found->name == name ? found : nullptr;
}

// from_chars takes no "+"; one leading "+" is allowed, but not before another sign.
bool dropPlusSign(std::string_view& text) noexcept {
  if (text.empty() || text.front() != '+') return true;
  text.remove_prefix(1);
  return !text.empty() && text.front() != '+' && text.front() != '-';
}

// The whole text as a floating-point number; an optional leading "+" is accepted.
bool parseDecimal(std::string_view text, double& out) noexcept {
  if (!dropPlusSign(text)) return false;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  out = value;
  return true;
}

bool parseHexNumber(std::string_view text, uint64_t& out) noexcept {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
  return error == std::errc() && end == text.data() + text.size();
}

std::string_view firstField(std::string_view raw) noexcept {
  return raw.substr(0, raw.find(' '));
}

// Calls visit on every non-empty space-separated field, in order.
template <class Visit>
void forEachField(std::string_view raw, Visit visit) {
  std::size_t at = 0;
  while (at < raw.size()) {
    std::size_t end = raw.find(' ', at);
    if (end == std::string_view::npos) end = raw.size();
    if (end > at) visit(raw.substr(at, end - at));
    at = end + 1;
  }
}

// round(v) (half away from zero) as decimal digits.
std::string roundedInteger(double v) {
  const double r = std::round(v);
  if (std::fabs(r) < 9.2e18) return std::to_string(static_cast<int64_t>(r));
  return fmtNum(0, r);
}

// "1/n" for exposure times below the threshold, else the fallback.
std::string reciprocalOr(double seconds, std::string fallback) {
  const double inverse = 1.0 / seconds;
  if (!std::isfinite(inverse)) return fallback;
  return "1/" + roundedInteger(inverse);
}

std::string enumText(const NamedRule& rule, std::string_view field, std::string_view raw,
                     bool zeroOnFailure) {
  int64_t value = 0;
  if (!parseDecimalInt(field, value)) {
    if (!zeroOnFailure) return std::string(raw);
    value = 0;
  }
  return rule.enumText(value);
}

std::string hexVersion(std::string_view raw) {
  std::string out;
  bool failed = false;
  forEachField(raw, [&](std::string_view field) {
    uint64_t value = 0;
    if (!parseHexNumber(field, value)) {
      failed = true;
      return;
    }
    if (!out.empty()) out.push_back('.');
    out += std::to_string(value);
  });
  return failed ? std::string(raw) : out;
}

std::string matrixText(std::string_view raw) {
  std::string out;
  forEachField(raw, [&](std::string_view field) {
    if (!out.empty()) out.push_back(' ');
    const std::size_t slash = field.find('/');
    if (slash == std::string_view::npos || slash == 0) {
      out += field;
      return;
    }
    double numerator = 0;
    double denominator = 1;
    if (!parseDecimal(field.substr(0, slash), numerator)) numerator = 0;
    if (!parseDecimal(field.substr(slash + 1), denominator)) denominator = 1;
    out += denominator == 0 ? std::string("0") : fmtNum(6, numerator / denominator);
  });
  return out;
}

// Ten significant digits, as "%.10g" writes them.
std::string tenDigits(double x) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 10);
  return std::string(buffer, result.ptr);
}

// A rational whose denominator is 0 has no value: "inf", or "undef" for 0/0.
std::string noValue(double numerator) { return numerator != 0 ? "inf" : "undef"; }

// Each field ("n" or "n/d") as a decimal number; nothing when a field is no number.
std::optional<std::string> decimalFields(std::string_view raw) {
  std::string out;
  bool failed = false;
  forEachField(raw, [&](std::string_view field) {
    const std::size_t slash = field.find('/');
    double numerator = 0;
    double denominator = 1;
    const bool parsed =
        slash == std::string_view::npos
            ? parseDecimal(field, numerator)
            : parseDecimal(field.substr(0, slash), numerator) &&
                  parseDecimal(field.substr(slash + 1), denominator);
    failed = failed || !parsed;
    if (!out.empty()) out.push_back(' ');
    out += denominator == 0 ? noValue(numerator) : tenDigits(numerator / denominator);
  });
  if (failed || out.empty()) return std::nullopt;
  return out;
}

std::string applyRule(const NamedRule& rule, std::string_view raw, const Metadata& meta) {
  switch (rule.rule) {
    case frExposureTime: return exposureTimeText(ratToFloat(raw));
    case frFNumber: return "f/" + fmtNum(2, ratToFloat(raw));
    case frAperture: return "f/" + fmtNum(2, std::pow(2.0, ratToFloat(raw) / 2));
    case frShutterSpeed: return fmtShutter(ratToFloat(raw));
    case frFocalLength: return fmtNum(3, ratToFloat(raw)) + " mm";
    case frTwoDecimals: return fmtNum(2, ratToFloat(raw));
    case frGpsAltitude: {
      std::string text = fmtNum(1, ratToFloat(raw)) + " m";
      if (const std::string* ref = meta.tags.find("GPSAltitudeRef")) text += " " + *ref;
      return text;
    }
    case frGpsLatitude: {
      const std::string* ref = meta.tags.find("GPSLatitudeRef");
      return formatGPSCoord(raw, ref ? std::string_view(*ref) : std::string_view("N"));
    }
    case frGpsLongitude: {
      const std::string* ref = meta.tags.find("GPSLongitudeRef");
      return formatGPSCoord(raw, ref ? std::string_view(*ref) : std::string_view("W"));
    }
    case frWholeEnum: return enumText(rule, raw, raw, false);
    case frFirstFieldEnum: return enumText(rule, firstField(raw), raw, false);
    case frGpsAltitudeRef: return enumText(rule, firstField(raw), raw, true);
    case frHexVersion: return hexVersion(raw);
    case frMatrix: return matrixText(raw);
    case frDecimals: return decimalFields(raw).value_or(std::string(raw));
    case frDegreesCelsius: {
      const std::optional<std::string> degrees = decimalFields(raw);
      return degrees ? *degrees + " C" : std::string(raw);
    }
    case frNone: break;
  }
  return std::string(raw);
}

}  // namespace

std::string exposureTimeText(double seconds) {
  if (seconds > 0 && seconds < 0.25001) return reciprocalOr(seconds, fmtNum(1, seconds));
  return fmtNum(1, seconds);
}

std::string compositeExposureTimes(base::ByteView value, bool bigEndian) {
  // Seven rational times, two 16-bit counts, then one rational time per source image.
  constexpr int64_t kFirstCount = 56;
  constexpr int64_t kSecondCount = 58;
  const auto size = static_cast<int64_t>(value.size());
  std::string out;
  if (!base::mayProduceOutput()) return out;
  for (int64_t at = 0;;) {
    std::string field;
    if (at == kFirstCount || at == kSecondCount) {
      if (size - at < 2) break;
      field = std::to_string(base::readUint16(value, at, bigEndian));
      at += 2;
    } else {
      if (size - at < 8) break;
      const double numerator = base::readUint32(value, at, bigEndian);
      const double denominator = base::readUint32(value, at + 4, bigEndian);
      field = denominator == 0 ? noValue(numerator) : exposureTimeText(numerator / denominator);
      at += 8;
    }
    if (!out.empty()) out.push_back(' ');
    out += field;
  }
  base::chargeOutput(static_cast<int64_t>(out.size()));
  return out;
}

bool parseDecimalInt(std::string_view text, int64_t& out) noexcept {
  if (!dropPlusSign(text)) return false;
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  out = value;
  return true;
}

std::string fmtNum(int decimals, double x) {
  decimals = std::clamp(decimals, 0, 32);
  // Wide enough for the largest double in fixed notation with 32 decimals.
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (text.find('.') != std::string_view::npos) {
    while (text.back() == '0') text.remove_suffix(1);
    if (text.back() == '.') text.remove_suffix(1);
  }
  return std::string(text);
}

std::string fmtShutter(double apex) {
  const double seconds = std::pow(2.0, -apex);
  if (seconds > 0 && seconds < 1) return reciprocalOr(seconds, fmtNum(3, seconds));
  return fmtNum(3, seconds);
}

double parseRational(std::string_view text) {
  text = stripSpace(text);
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) {
    double value = 0;
    return parseDecimal(text, value) ? value : 0;
  }
  double numerator = 0;
  double denominator = 1;
  if (!parseDecimal(stripSpace(text.substr(0, slash)), numerator)) numerator = 0;
  if (!parseDecimal(stripSpace(text.substr(slash + 1)), denominator)) denominator = 1;
  return denominator == 0 ? 0 : numerator / denominator;
}

double ratToFloat(std::string_view raw) { return parseRational(firstField(raw)); }

double parseGpsRationals(std::string_view raw) {
  std::array<double, 3> parts = {0, 0, 0};
  std::size_t count = 0;
  forEachField(raw, [&](std::string_view field) {
    if (count < parts.size()) parts[count++] = parseRational(field);
  });
  return parts[2] / 3600 + (parts[1] / 60 + parts[0]);
}

std::string formatGPSCoord(std::string_view raw, std::string_view ref) {
  std::array<std::string_view, 3> fields;
  std::size_t count = 0;
  forEachField(raw, [&](std::string_view field) {
    if (count < fields.size()) fields[count] = field;
    ++count;
  });
  if (count < 3) return std::string(raw);
  std::string out;
  out.reserve(raw.size() + ref.size() + 10);
  out.append(fields[0]).append(" deg ").append(fields[1]).append("' ").append(fields[2]);
  out.append("\" ").append(ref);
  return out;
}

bool hasFormatRule(std::string_view name) noexcept { return ruleFor(name) != nullptr; }

bool formatIfRuled(std::string_view name, std::string_view raw, const Metadata& meta,
                   std::string& out) {
  const NamedRule* rule = ruleFor(name);
  if (rule == nullptr) return false;
  out = applyRule(*rule, raw, meta);
  return true;
}

bool formatExifTagIfRuled(uint16_t tag, std::string_view raw, const Metadata& meta,
                          std::string& out) {
  auto found = std::lower_bound(std::begin(kExifRules), std::end(kExifRules), tag,
                                [](const NumberedRule& r, uint16_t key) { return r.tag < key; });
  if (found == std::end(kExifRules) || found->tag != tag) return false;
  out = applyRule(*found->rule, raw, meta);
  return true;
}

bool formatGpsTagIfRuled(uint16_t tag, std::string_view raw, const Metadata& meta,
                         std::string& out) {
  if (tag >= kGpsRules.size() || kGpsRules[tag] == nullptr) return false;
  out = applyRule(*kGpsRules[tag], raw, meta);
  return true;
}

std::string formatTagValue(std::string_view name, std::string_view raw, const Metadata& meta) {
  const NamedRule* rule = ruleFor(name);
  return rule ? applyRule(*rule, raw, meta) : std::string(raw);
}

}  // namespace orvel::metadata::exif
