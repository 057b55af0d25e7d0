// Scratch files, JPEG segment listings and the exiftool referee for the editing tests.
#pragma once

#include <string>
#include <vector>

#include "support/builders.h"

namespace orvel::testing {

// A fresh directory (under the working directory unless a parent is given), removed with
// everything in it when the object dies.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& parent = ".");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeBytes(const std::string& path, const Bytes& bytes);
Bytes readBytes(const std::string& path);
unsigned permissionsOf(const std::string& path);
bool exists(const std::string& path);
// Names in a directory other than "." and "..".
std::vector<std::string> listDirectory(const std::string& path);

struct Segment {
  uint8_t marker;
  Bytes bytes;  // the whole segment, marker included
};
// The segments before the start of scan, and everything from the start of scan on.
std::vector<Segment> jpegSegments(const Bytes& jpeg);
Bytes jpegScan(const Bytes& jpeg);

// A tiny real JPEG (8×8 grey) that exiftool and decoders accept, with the given segments
// placed after SOI.
Bytes realJpeg(const std::vector<Bytes>& segmentsAfterSoi = {});
Bytes app1(const Bytes& payload);
Bytes segmentOf(uint8_t marker, const Bytes& payload);

// exiftool's report for a file: true when it is installed (found on PATH).
bool haveExiftool();
// `exiftool -validate -warning -a` output lines for the file.
std::string exiftoolValidate(const std::string& path);
// exiftool's value of one tag (-s3 -n -TAG), trimmed.
std::string exiftoolTag(const std::string& path, const std::string& tag);

}  // namespace orvel::testing
