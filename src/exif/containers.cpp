#include "exif/containers.h"

#include <algorithm>
#include <string_view>

#include "exif/isobmff.h"
#include "exif/png.h"
#include "exif/webp.h"

namespace orvel::exif {
namespace {

bool bytesAt(ByteView data, int64_t at, std::string_view expected) {
  if (!inBounds(data, at, static_cast<int64_t>(expected.size()))) return false;
  return std::equal(expected.begin(), expected.end(), data.begin() + at,
                    [](char want, uint8_t have) { return static_cast<uint8_t>(want) == have; });
}

bool hasTiffSignature(ByteView data) {
  return bytesAt(data, 0, std::string_view("II\x2A\0", 4)) ||
         bytesAt(data, 0, std::string_view("MM\0\x2A", 4));
}

bool hasPngSignature(ByteView data) {
  return bytesAt(data, 0, std::string_view("\x89PNG\r\n\x1A\n", 8));
}

bool hasWebpSignature(ByteView data) {
  return data.size() >= 12 && bytesAt(data, 0, "RIFF") && bytesAt(data, 8, "WEBP");
}

}  // namespace

bool hasJpegSignature(ByteView data) noexcept {
  return data.size() >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

bool hasFtypSignature(ByteView data) noexcept { return data.size() >= 8 && bytesAt(data, 4, "ftyp"); }

bool hasIsobmffSignature(ByteView data) noexcept {
  return data.size() >= 8 && (bytesAt(data, 4, "moov") || bytesAt(data, 4, "ftyp"));
}

Container detectContainer(ByteView data) noexcept {
  if (hasJpegSignature(data)) return ctJpeg;
  if (hasTiffSignature(data)) return ctTiff;
  if (hasIsobmffSignature(data)) return ctIsobmff;
  if (hasPngSignature(data)) return ctPng;
  if (hasWebpSignature(data)) return ctWebp;
  return ctUnknown;
}

// The HEIF Exif item, with the "Exif" byte scan as the fallback for items it cannot use.
int64_t isobmffTiffOffset(ByteView data) {
  const int64_t tiff = findExifTiffInIsobmff(data);
  return tiff >= 1 ? tiff : findExifInHEIC(data);
}

int64_t pngTiffOffset(ByteView data) { return findExifInPng(data); }

int64_t webpTiffOffset(ByteView data) { return findExifInWebp(data); }

}  // namespace orvel::exif
