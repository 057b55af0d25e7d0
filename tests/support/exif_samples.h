// Realistic EXIF blocks and JPEG files for tests, fuzz seeds and benchmarks: a camera's IFD0,
// Exif directory (with Interop), GPS directory and IFD1 thumbnail directory.
#pragma once

#include "support/builders.h"

namespace orvel::testing {

struct CameraSampleOptions {
  bool bigEndian = false;
  bool withGps = true;
  bool withThumbnail = true;
  Bytes makerNote;  // stored as the MakerNote entry when not empty
};

// A TIFF block like a camera writes: Make "Canon", Model "Canon EOS 5D Mark IV", dates,
// exposure settings, GPS 41°24'12.17" N 2°10'26.5" E at 120.5 m, and a small thumbnail.
Bytes cameraTiff(const CameraSampleOptions& options = {});

// The same block in a JPEG after a JFIF APP0 segment.
Bytes cameraJpeg(const CameraSampleOptions& options = {});

// A tiny baseline-looking JPEG used as the embedded thumbnail.
Bytes thumbnailBytes();

}  // namespace orvel::testing
