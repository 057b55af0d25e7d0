// What a QuickTime/MP4 movie box tells about the recording, for the reading pipeline.
#pragma once

#include <cstdint>
#include <string>

namespace orvel::exif {

struct VideoMeta {
  // Empty, "MP4-Time-V0:" + seconds, "MP4-Time-V1:" + seconds (signed 64-bit) or
  // "String:" + a textual date found in the metadata.
  std::string creation;
  int64_t width = 0;   // largest integer part of any track header's width
  int64_t height = 0;
  std::string make;
  std::string model;
  std::string software;
};

}  // namespace orvel::exif
