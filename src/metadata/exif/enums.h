// Texts of the enumerated EXIF values. A value a table does not know renders as its decimal
// number, except Flash, which renders as "Unknown (n)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvel::metadata::exif {

std::string getOrientation(int64_t value);
std::string getResolutionUnit(int64_t value);
std::string getExposureProgram(int64_t value);
std::string getMeteringMode(int64_t value);
std::string getLightSource(int64_t value);
std::string getWhiteBalance(int64_t value);
std::string getColorSpace(int64_t value);
std::string getExposureMode(int64_t value);
std::string getSceneCaptureType(int64_t value);
std::string getSensingMethod(int64_t value);
std::string getGpsAltitudeRef(int64_t value);
std::string getCompositeImage(int64_t value);
std::string parseFlash(int64_t value);

// The DCF interoperability index with its meaning ("R98 - DCF basic file (sRGB)"); any other
// text unchanged.
std::string getInteropIndex(std::string_view code);

}  // namespace orvel::metadata::exif
