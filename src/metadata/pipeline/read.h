// The reading pipeline: from a buffer or a file to the metadata record. It recognises the
// container, finds the EXIF block, walks its directories, merges the movie facts, IPTC and XMP,
// and finally applies the signs of the GPS position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "metadata/movie/movie.h"
#include "metadata/record.h"

namespace orvel::metadata::pipeline {

using base::ByteView;

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
void applyVideoMeta(Metadata& meta, const movie::VideoMeta& video);

inline constexpr int64_t kDefaultReadPrefix = int64_t{1} << 24;  // 16 MiB

}  // namespace orvel::metadata::pipeline
