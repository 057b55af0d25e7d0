// Movie facts of a QuickTime/MP4 "moov" box, for the reading pipeline: the creation time, the
// largest track size, and the make, model and software of the recording device.
#pragma once

#include <cstdint>
#include <string>

#include "base/bytes.h"

namespace orvel::metadata::movie {

using base::ByteView;

struct VideoMeta {
  // Empty, "MP4-Time-V0:" + seconds, "MP4-Time-V1:" + seconds (signed 64-bit) or
  // "String:" + a textual date found in the metadata.
  std::string creation;
  int64_t width = 0;  // largest integer part of any track header's width
  int64_t height = 0;
  std::string make;
  std::string model;
  std::string software;
};

// The movie facts inside the payload of a "moov" box.
VideoMeta parseIsobmff(ByteView moovPayload);

// The UTF-8 text of the first "data" child in [start, end), or "".
std::string readStringData(ByteView data, int64_t start, int64_t end);

}  // namespace orvel::metadata::movie
