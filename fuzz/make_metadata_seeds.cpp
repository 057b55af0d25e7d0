// Writes the seed corpus of fuzz_metadata from the test builders: camera JPEGs in both byte
// orders, a bare TIFF, and the awkward shapes the reader must survive. From the repository's
// root, build and run it with (one line):
//   g++ -std=c++20 -Itests fuzz/make_metadata_seeds.cpp tests/support/builders.cpp
//       tests/support/sample_photo.cpp -o /tmp/seeds && /tmp/seeds fuzz/corpus/metadata
#include <cstdio>
#include <string>

#include "support/builders.h"
#include "support/sample_photo.h"

using namespace orvel::testing;

namespace {

Bytes loopingTiff(bool bigEndian) {
  TiffBuilder t(bigEndian);
  const int ifd0 = t.addIfd();
  const int ifd1 = t.addIfd();
  t.ascii(ifd0, 0x010F, "Nikon").shorts(ifd0, 0x0112, {6}).chain(ifd0, ifd1);
  t.rationals(ifd1, 0x011A, {{300, 1}}).chain(ifd1, ifd0);
  const int sub = t.addIfd();
  t.pointers(ifd0, 0x014A, {sub, sub});
  t.longs(sub, 0x0100, {4000});
  return t.build();
}

Bytes gpsWithoutLongitudeRef() {
  TiffBuilder t(false);
  const int ifd0 = t.addIfd();
  const int gps = t.addIfd();
  t.pointer(ifd0, 0x8825, gps);
  t.ascii(gps, 0x0001, "S").rationals(gps, 0x0002, {{33, 1}, {52, 1}, {0, 1}});
  t.rationals(gps, 0x0004, {{151, 1}, {12, 1}, {0, 1}});
  t.bytes(gps, 0x0005, 1, {1}).rationals(gps, 0x0006, {{10, 1}});
  return JpegBuilder().app1Exif(t.build()).finish();
}

Bytes exifAfterScan() {
  Bytes jpeg = JpegBuilder().app0Jfif().finish();
  Bytes tail = JpegBuilder().app1Exif(samplePhotoTiff({false, 2, 0})).finish();
  jpeg.insert(jpeg.end() - 2, tail.begin() + 2, tail.end() - 2);
  return jpeg;
}

Bytes outOfRangeOffsets() {
  TiffBuilder t(true);
  const int ifd0 = t.addIfd();
  const int exif = t.addIfd();
  t.ascii(ifd0, 0x010F, "Canon").pointer(ifd0, 0x8769, exif);
  t.rawOffset(exif, 0xA005, 4, 1, 0xFFFFFF00);
  t.rawOffset(exif, 0x927C, 7, 400, 0x7FFFFFF0);
  t.rawOffset(exif, 0x9003, 2, 20, 0xFFFFFFF0);
  return JpegBuilder().app1Exif(t.build()).finish();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : ".";
  saveSeed(directory, "camera_le.jpg", samplePhotoJpeg({false, 0, 16}));
  saveSeed(directory, "camera_be.jpg", samplePhotoJpeg({true, 5, 16}));
  saveSeed(directory, "camera.tif", samplePhotoTiff({true, 3, 0}));
  saveSeed(directory, "loop_subifd.tif", loopingTiff(false));
  saveSeed(directory, "loop_subifd_be.tif", loopingTiff(true));
  saveSeed(directory, "gps_no_lonref.jpg", gpsWithoutLongitudeRef());
  saveSeed(directory, "exif_after_scan.jpg", exifAfterScan());
  saveSeed(directory, "bad_offsets.jpg", outOfRangeOffsets());
  return 0;
}
