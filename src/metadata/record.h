// The read-only metadata record that the reading pipeline fills.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "metadata/tag_map.h"

namespace orvel::metadata {

// An instant with the UTC offset it was read in.
struct DateTime {
  int64_t unixSeconds = 0;  // seconds since 1970-01-01 00:00:00 UTC
  int32_t utcOffsetSeconds = 0;
  int32_t year = 1899;  // the calendar year in that offset; below 1900 means "none"
};

struct Metadata {
  DateTime dateTaken;  // set by the pipeline; year 1899 means no capture date
  std::string camera;  // Make and Model joined
  std::string software;
  bool isValid = false;  // any metadata was found
  int64_t orientation = 0;
  double latitude = 0;  // signed decimal degrees once the pipeline finishes
  double longitude = 0;
  char latRef = 0;      // 'N'/'S', or 0 for none
  char lonRef = 0;      // 'E'/'W', or 0 for none
  double altitude = 0;  // metres
  TagMap tags;

  // The GPS position counts only with both references, and only when it is a place on Earth:
  // finite numbers, latitude within ±90 and longitude within ±180 ("inf" and "nan" parse).
  bool hasGps() const {
    return (latRef == 'N' || latRef == 'S') && (lonRef == 'E' || lonRef == 'W') &&
           std::isfinite(latitude) && std::isfinite(longitude) && std::isfinite(altitude) &&
           std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180;
  }
};

// Default record: no date (1899-01-01 00:00:00 local), nothing found.
Metadata defaultMetadata();

}  // namespace orvel::metadata
