// A realistic camera JPEG built in code: IFD0 with the camera fields, an Exif directory with
// exposure, lens and dates, an Interop directory, a GPS directory, a Canon-style maker note
// and a thumbnail directory; about 75 tags. Used by benchmarks, fuzz seeds and end-to-end tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/builders.h"

namespace orvel::testing {

struct SamplePhoto {
  bool bigEndian = false;
  int variant = 0;               // varies model, exposure and position between files
  std::size_t scanBytes = 64;    // entropy-coded bytes after the metadata (no 0xFF in them)
};

// The EXIF TIFF block alone.
Bytes samplePhotoTiff(const SamplePhoto& photo);

// The whole JPEG: SOI, APP0 JFIF, APP1 Exif, the scan, EOI.
Bytes samplePhotoJpeg(const SamplePhoto& photo);

// Facts of a sample, for tests that check what a reader found.
struct SamplePhotoFacts {
  const char* model;
  double latitude;    // signed decimal degrees
  double longitude;
  double altitude;    // metres, negative below sea level
  uint16_t orientation;
};
SamplePhotoFacts samplePhotoFacts(int variant);

}  // namespace orvel::testing
