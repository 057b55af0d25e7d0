// Arbitrary bytes as an ISO base media file: item records, the Exif locators, the movie
// walker, and the writer and stripper, whose results must be empty or keep their promises.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "container/isobmff.h"
#include "metadata/edit/rebuild.h"
#include "metadata/movie/movie.h"
#include "metadata/pipeline/locate.h"

namespace {

using orvel::base::ByteView;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// A TIFF block of the given length: a header and zero padding.
std::vector<uint8_t> tiffOf(size_t length) {
  std::vector<uint8_t> tiff = {'M', 'M', 0, '*', 0, 0, 0, 8};
  tiff.resize(length, 0);
  return tiff;
}

void checkLocators(ByteView file) {
  const int64_t length = static_cast<int64_t>(file.size());
  const int64_t tiff = orvel::metadata::pipeline::findExifTiffInIsobmff(file);
  check(tiff == -1 || (tiff >= 4 && tiff + 4 <= length));
  const int64_t scanned = orvel::metadata::pipeline::findExifInHEIC(file);
  check(scanned == -1 || (scanned >= 4 && scanned + 3 <= length));
  (void)orvel::metadata::movie::parseIsobmff(file);
}

void checkWriters(ByteView file) {
  const auto stripped = orvel::metadata::edit::stripIsobmff(file);
  check(stripped.empty() || stripped.size() == file.size());
  for (size_t tiffLength : {size_t{8}, size_t{300}}) {
    const auto tiff = tiffOf(tiffLength);
    const auto written = orvel::metadata::edit::writeExifIsobmff(file, tiff);
    const size_t appended = file.size() + 8 + 4 + tiffLength;
    check(written.empty() || written.size() == file.size() || written.size() == appended);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteView file(data, size);
  checkLocators(file);
  checkWriters(file);
  return 0;
}
