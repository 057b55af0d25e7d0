// The colour record of the colour library, its space tags, and the results that every colour
// operation returns instead of raising: a value, or a colour error with kind, message and
// context.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace orvel::color {

// 0 means "no space" and is never valid for a colour.
using SpaceTag = uint8_t;
inline constexpr SpaceTag kNoSpace = 0;

// The registered spaces; the numbers are part of the C interface.
enum : SpaceTag {
  tagSrgb = 1,
  tagSrgbLinear = 2,
  tagP3 = 3,
  tagP3Linear = 4,
  tagRec2020 = 5,
  tagRec2020Linear = 6,
  tagA98 = 7,
  tagA98Linear = 8,
  tagProphoto = 9,
  tagProphotoLinear = 10,
  tagXyz = 11,
  tagXyy = 12,
  tagLab = 13,
  tagLch = 14,
  tagOklab = 15,
  tagOklch = 16,
  tagHsv = 17,
  tagHsl = 18,
  tagHwb = 19,
  tagCmyk = 20,
  tagYcbcr = 21,
  tagIctcp = 22,
  tagJzazbz = 23,
  tagCam16 = 24,
  tagCam16Ucs = 25,
  tagHct = 26,
};
inline constexpr SpaceTag kLastSpaceTag = tagHct;

// "SpaceTag(<n>)".
std::string spaceTagText(SpaceTag tag);

// Kinds of colour errors. The C interface reports kinds 1 and 6 as "unsupported operation" and
// every other kind as a bad argument.
enum ColorErrorKind : uint8_t {
  cekInvalid = 0,           // a malformed record (a palette role out of range)
  cekUnsupported = 1,       // an operation the library does not implement for this input
  cekUnknownSpace = 2,      // a space tag or name that is not registered
  cekUndefined = 3,         // a conversion that is undefined at this colour (xyY with y = 0)
  cekNonFinite = 4,         // a NaN or infinite component
  cekRange = 5,             // a value outside its range (alpha)
  cekUnknownAlgorithm = 6,  // a quantiser name that is not registered
  cekSingular = 7,          // a matrix that cannot be inverted
  cekRegistry = 8,          // a registry that is sealed or already holds the key
  cekArgument = 10,         // a count or option out of range
  cekImage = 12,            // an image that cannot be quantised
};

enum Severity : uint8_t { sevWarning = 0, sevError = 1 };

// Registry and range problems are warnings a caller may recover from; the rest are errors.
Severity defaultSeverity(ColorErrorKind kind) noexcept;

struct ColorError {
  ColorErrorKind kind = cekInvalid;
  std::string message;
  std::string context;  // the operation's name: "extractPalette", "kmeans", "toWorkSpace", ...
  Severity severity = sevError;
};

ColorError colorError(ColorErrorKind kind, std::string message, std::string context);

enum ResultKind : uint8_t { rkOk = 0, rkErr = 1 };

// Either a value or a colour error. Reading the side that is not there is a defect of the
// caller (std::logic_error), never a colour error.
template <class T>
class Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(ColorError error) : state_(std::in_place_index<1>, std::move(error)) {}

  ResultKind kind() const noexcept { return state_.index() == 0 ? rkOk : rkErr; }
  bool ok() const noexcept { return state_.index() == 0; }

  const T& value() const& {
    requireKind(rkOk, "value");
    return std::get<0>(state_);
  }
  T& value() & {
    requireKind(rkOk, "value");
    return std::get<0>(state_);
  }
  T&& value() && {
    requireKind(rkOk, "value");
    return std::get<0>(std::move(state_));
  }
  const ColorError& error() const& {
    requireKind(rkErr, "error");
    return std::get<1>(state_);
  }
  ColorError&& error() && {
    requireKind(rkErr, "error");
    return std::get<1>(std::move(state_));
  }

 private:
  void requireKind(ResultKind wanted, const char* field) const {
    if (kind() == wanted) return;
    throw std::logic_error(std::string("field '") + field +
                           "' is not accessible for type 'Result' using 'kind = " +
                           (kind() == rkOk ? "rkOk" : "rkErr") + "'");
  }
  std::variant<T, ColorError> state_;
};

// Three components, alpha and the space they are expressed in. The C interface carries the
// same fields as 20 bytes: c0, c1, c2, alpha (32-bit floats) and the tag as a 32-bit integer.
struct Color {
  std::array<float, 3> c{};
  float alpha = 1.0f;
  SpaceTag space = kNoSpace;

  bool operator==(const Color&) const = default;
};

// A checked colour: space 0 gives "color requires a known space", alpha outside [0, 1]
// "alpha out of [0,1]", a NaN or infinite component "component NaN/Inf at bounds".
Result<Color> color(SpaceTag space, double c0, double c1, double c2, double alpha = 1.0);

}  // namespace orvel::color
