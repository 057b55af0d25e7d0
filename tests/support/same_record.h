// Whether two metadata records are identical in every field, numbers compared bit for bit.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "metadata/pipeline/read.h"

namespace orvel::testing {

inline bool sameNumber(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

inline bool sameRecord(const metadata::Metadata& a, const metadata::Metadata& b) {
  return a.isValid == b.isValid && a.camera == b.camera && a.software == b.software &&
         a.orientation == b.orientation && a.latRef == b.latRef && a.lonRef == b.lonRef &&
         sameNumber(a.latitude, b.latitude) && sameNumber(a.longitude, b.longitude) &&
         sameNumber(a.altitude, b.altitude) && a.dateTaken.unixSeconds == b.dateTaken.unixSeconds &&
         a.dateTaken.utcOffsetSeconds == b.dateTaken.utcOffsetSeconds &&
         a.dateTaken.year == b.dateTaken.year && a.tags.size() == b.tags.size() &&
         std::equal(a.tags.begin(), a.tags.end(), b.tags.begin());
}

}  // namespace orvel::testing
