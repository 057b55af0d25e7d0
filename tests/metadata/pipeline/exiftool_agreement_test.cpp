// Renderings cross-checked against exiftool where both name a tag alike: a plain JPEG built in
// code and tagged by exiftool (installed with the build dependencies).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "metadata/pipeline/read.h"
#include "support/builders.h"
#include "support/temp_dir.h"

using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;

namespace {

bool hasTool(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string outputOf(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 512> buffer;
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) out += buffer.data();
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace

TEST(ExiftoolAgreement, NamesAndValuesMatchOnATaggedJpeg) {
  ASSERT_TRUE(hasTool("exiftool")) << "exiftool is a test dependency (scripts/deps.sh)";
  const orvel::testing::TempDir dir;
  const std::string path =
      dir.file("tagged.jpg", orvel::testing::JpegBuilder().app0Jfif().finish());
  const std::string tagging =
      "exiftool -q -overwrite_original -Make=Canon '-Model=Canon EOS R5' -Software=Test "
      "-Artist=Jane -Copyright=CC -Orientation#=6 -ResolutionUnit#=2 -XResolution=300 "
      "-ExposureTime=1/250 -ExposureProgram#=3 -MeteringMode#=5 -LightSource#=1 -EXIF:Flash#=16 "
      "-ISO=400 -ColorSpace#=1 -WhiteBalance#=0 -ExposureMode#=0 -SceneCaptureType#=0 "
      "-SensingMethod#=2 '-DateTimeOriginal=2023:07:14 09:30:00' -GPSLatitude=33.8666667 "
      "-GPSLatitudeRef=S -GPSLongitude=151.2 -GPSLongitudeRef=E -GPSAltitude=10 "
      "-GPSAltitudeRef#=1 -InteropIndex=R98 '-LensModel=RF24-105mm F4 L IS USM' '" + path + "'";
  ASSERT_EQ(std::system(tagging.c_str()), 0);

  const Metadata meta = readMetadata(path, kDefaultReadPrefix);
  ASSERT_TRUE(meta.isValid);
  for (const char* name :
       {"Make", "Model", "Software", "Artist", "Copyright", "Orientation", "ResolutionUnit",
        "XResolution", "ExposureTime", "ExposureProgram", "MeteringMode", "LightSource", "Flash",
        "ISO", "ColorSpace", "WhiteBalance", "ExposureMode", "SceneCaptureType", "SensingMethod",
        "DateTimeOriginal", "GPSAltitudeRef", "InteropIndex", "InteropVersion", "ExifVersion",
        "FlashpixVersion", "LensModel"}) {
    const std::string expected = outputOf("exiftool -s -s -s -EXIF:" + std::string(name) + " '" + path + "'");
    const std::string* ours = meta.tags.find(name);
    ASSERT_NE(ours, nullptr) << name;
    EXPECT_EQ(*ours, expected) << name;
  }
  EXPECT_NEAR(meta.latitude, std::stod(outputOf("exiftool -n -s -s -s -GPSLatitude '" + path + "'")), 1e-6);
  EXPECT_NEAR(meta.longitude, std::stod(outputOf("exiftool -n -s -s -s -GPSLongitude '" + path + "'")), 1e-6);
  EXPECT_NEAR(meta.altitude, std::stod(outputOf("exiftool -n -s -s -s -GPSAltitude '" + path + "'")), 1e-6);
  EXPECT_EQ(meta.camera, "Canon Canon EOS R5");
}
