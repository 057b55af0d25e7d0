// The read-only metadata record and the reading pipeline that fills it from a buffer or file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "exif/endian.h"
#include "exif/tag_map.h"
#include "exif/video_meta.h"

namespace orvel::exif {

// An instant with the UTC offset it was read in.
struct DateTime {
  int64_t unixSeconds = 0;     // seconds since 1970-01-01 00:00:00 UTC
  int32_t utcOffsetSeconds = 0;
  int32_t year = 1899;         // the calendar year in that offset; below 1900 means "none"
};

struct Metadata {
  DateTime dateTaken;          // set by the pipeline; year 1899 means no capture date
  std::string camera;          // Make and Model joined
  std::string software;
  bool isValid = false;        // any metadata was found
  int64_t orientation = 0;
  double latitude = 0;         // signed decimal degrees once the pipeline finishes
  double longitude = 0;
  char latRef = 0;             // 'N'/'S', or 0 for none
  char lonRef = 0;             // 'E'/'W', or 0 for none
  double altitude = 0;         // metres
  TagMap tags;

  // The GPS position counts only with both references.
  bool hasGps() const {
    return (latRef == 'N' || latRef == 'S') && (lonRef == 'E' || lonRef == 'W');
  }
};

// Default record: no date (1899-01-01 00:00:00 local), nothing found.
Metadata defaultMetadata();

// Reads every metadata source the container holds.
Metadata readMetadataFromBytes(ByteView data);

// Reads a JPEG from the first bytes of a longer buffer: the record readMetadataFromBytes
// gives for the whole buffer, or nullopt when that could depend on bytes beyond the head
// (or the head is no JPEG).
std::optional<Metadata> readMetadataFromHead(ByteView head);

// Reads a file: at most max(maxBytes, 16) bytes of its prefix, plus a movie box or an Exif
// item beyond it; a large JPEG is read only as far as its metadata reaches when that gives the
// same record. A missing, empty or unreadable file gives the default record.
Metadata readMetadata(const std::string& path, int64_t maxBytes);

// Reads the TIFF block whose header starts at the absolute position (IFD0 with its Exif and
// GPS directories, no directory chain); for EXIF embedded in PNG, WebP and ISOBMFF files.
void parseTiffAt(Metadata& meta, ByteView data, int64_t position);

// Merges the facts of a QuickTime/MP4 movie box: make, model, software and size as tags,
// and the creation time as the capture date.
void applyVideoMeta(Metadata& meta, const VideoMeta& video);

inline constexpr int64_t kDefaultReadPrefix = int64_t{1} << 24;  // 16 MiB

}  // namespace orvel::exif
