// Files whose metadata sits outside the usual places (scripts/make-extra-metadata-fixtures.sh),
// read from disk and compared with exiftool's reading of the same files (NAME.args beside them).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "metadata/pipeline/read.h"

using namespace orvel::metadata;
using namespace orvel::metadata::pipeline;

namespace {

std::string fixturePath(const std::string& file) {
  return std::string(ORVEL_FIXTURES) + "/extra/" + file;
}

// "-Group:Name=value" lines, keyed "Group:Name".
std::map<std::string, std::string> exiftoolReading(const std::string& stem) {
  std::map<std::string, std::string> tags;
  std::ifstream in(fixturePath(stem + ".args"));
  std::string line;
  while (std::getline(in, line)) {
    const auto equals = line.find('=');
    if (line.size() > 1 && line[0] == '-' && equals != std::string::npos) {
      tags[line.substr(1, equals - 1)] = line.substr(equals + 1);
    }
  }
  return tags;
}

struct Agreement {
  const char* file;
  bool valid;  // whether the record counts as holding metadata
  // exiftool's "Group:Name" → ours; the values must be equal.
  std::vector<std::pair<std::string, std::string>> names;
};

const Agreement kAgreements[] = {
    {"exif_newer.jpg",
     true,
     {{"IFD0:HostComputer", "HostComputer"},
      {"ExifIFD:OffsetTime", "OffsetTime"},
      {"ExifIFD:OffsetTimeOriginal", "OffsetTimeOriginal"},
      {"ExifIFD:OffsetTimeDigitized", "OffsetTimeDigitized"},
      {"ExifIFD:AmbientTemperature", "AmbientTemperature"},
      {"ExifIFD:Humidity", "Humidity"},
      {"ExifIFD:Pressure", "Pressure"},
      {"ExifIFD:WaterDepth", "WaterDepth"},
      {"ExifIFD:Acceleration", "Acceleration"},
      {"ExifIFD:CameraElevationAngle", "CameraElevationAngle"},
      {"ExifIFD:CompositeImage", "CompositeImage"},
      {"ExifIFD:CompositeImageCount", "CompositeImageCount"},
      {"ExifIFD:CompositeImageExposureTimes", "CompositeImageExposureTimes"}}},
    {"iptc_split.jpg",
     false,
     {{"IPTC:Keywords", "IPTC:Keywords"},
      {"IPTC:City", "IPTC:City"},
      {"IPTC:Caption-Abstract", "IPTC:Caption-Abstract"},
      {"IPTC:ApplicationRecordVersion", "IPTC:ApplicationRecordVersion"}}},
    {"raw_profiles.png",
     true,
     {{"IFD0:Make", "Make"},
      {"IFD0:Model", "Model"},
      {"ExifIFD:ExposureTime", "ExposureTime"},
      {"ExifIFD:DateTimeOriginal", "DateTimeOriginal"},
      {"ExifIFD:ColorSpace", "ColorSpace"},
      {"IPTC:Keywords", "IPTC:Keywords"},
      {"IPTC:City", "IPTC:City"},
      {"XMP-dc:Subject", "XMP:dc:subject"},
      {"XMP-xmp:Label", "XMP:xmp:Label"}}},
    {"extended_xmp.jpg",
     false,
     {{"XMP-xmp:Label", "XMP:xmp:Label"},
      {"XMP-photoshop:City", "XMP:photoshop:City"},
      {"XMP-photoshop:Instructions", "XMP:photoshop:Instructions"}}},
    {"xmp_item.heic",
     true,
     {{"XMP-dc:Subject", "XMP:dc:subject"},
      {"XMP-dc:Title", "XMP:dc:title"},
      {"XMP-xmp:Label", "XMP:xmp:Label"},
      {"XMP-xmp:Rating", "XMP:xmp:Rating"}}},
    {"xmp_uuid.mp4",
     true,
     {{"XMP-dc:Subject", "XMP:dc:subject"},
      {"XMP-dc:Title", "XMP:dc:title"},
      {"XMP-xmp:Label", "XMP:xmp:Label"}}},
    {"xmp_udta.mov",
     false,
     {{"XMP-dc:Subject", "XMP:dc:subject"}, {"XMP-xmp:Label", "XMP:xmp:Label"}}},
    {"userdata.mov",
     false,
     {{"UserData:Make", "Make"},
      {"UserData:Model", "Model"},
      {"UserData:SoftwareVersion", "Software"}}},
    {"sidecar.xmp",
     false,
     {{"XMP-xmp:Rating", "XMP:xmp:Rating"},
      {"XMP-xmp:Label", "XMP:xmp:Label"},
      {"XMP-dc:Subject", "XMP:dc:subject"},
      {"XMP-photoshop:City", "XMP:photoshop:City"}}},
};

}  // namespace

TEST(BeyondTheText, ReadingsAgreeWithExiftool) {
  for (const Agreement& case_ : kAgreements) {
    SCOPED_TRACE(case_.file);
    const std::string file = case_.file;
    const auto expected = exiftoolReading(file.substr(0, file.rfind('.')));
    const Metadata meta = readMetadata(fixturePath(file), kDefaultReadPrefix);
    EXPECT_EQ(meta.isValid, case_.valid);
    for (const auto& [theirs, ours] : case_.names) {
      const auto found = expected.find(theirs);
      ASSERT_NE(found, expected.end()) << theirs << " is missing from exiftool's reading";
      const std::string* value = meta.tags.find(ours);
      ASSERT_NE(value, nullptr) << ours;
      EXPECT_EQ(*value, found->second) << ours;
    }
  }
}
