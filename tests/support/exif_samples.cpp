#include "support/exif_samples.h"

namespace orvel::testing {

Bytes thumbnailBytes() {
  return {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x01, 0x02, 0xFF, 0xDA,
          0x00, 0x02, 0x11, 0x22, 0x33, 0xFF, 0xD9};
}

Bytes cameraTiff(const CameraSampleOptions& options) {
  // Two passes: the thumbnail's offset is only known once the block has its final layout.
  uint32_t thumbnailOffset = 0;
  Bytes block;
  for (int pass = 0; pass < 2; ++pass) {
    TiffBuilder t(options.bigEndian);
    const int ifd0 = t.addIfd();
    const int exif = t.addIfd();
    const int interop = t.addIfd();
    const int gps = options.withGps ? t.addIfd() : -1;
    const int ifd1 = options.withThumbnail ? t.addIfd() : -1;
    t.ascii(ifd0, 0x010F, "Canon")
        .ascii(ifd0, 0x0110, "Canon EOS 5D Mark IV")
        .shorts(ifd0, 0x0112, {1})
        .rationals(ifd0, 0x011A, {{72, 1}})
        .rationals(ifd0, 0x011B, {{72, 1}})
        .shorts(ifd0, 0x0128, {2})
        .ascii(ifd0, 0x0131, "Firmware Version 1.1.2")
        .ascii(ifd0, 0x0132, "2023:07:14 09:30:00")
        .ascii(ifd0, 0x013B, "Jane Doe")
        .shorts(ifd0, 0x0213, {2})
        .pointer(ifd0, 0x8769, exif);
    if (gps >= 0) t.pointer(ifd0, 0x8825, gps);
    t.rationals(exif, 0x829A, {{1, 250}})
        .rationals(exif, 0x829D, {{28, 10}})
        .shorts(exif, 0x8822, {3})
        .shorts(exif, 0x8827, {400})
        .bytes(exif, 0x9000, 7, bytesOf("0231"))
        .ascii(exif, 0x9003, "2023:07:14 09:30:00")
        .ascii(exif, 0x9004, "2023:07:14 09:30:00")
        .bytes(exif, 0x9101, 7, {1, 2, 3, 0})
        .srationals(exif, 0x9201, {{8, 1}})
        .rationals(exif, 0x9202, {{3, 1}})
        .srationals(exif, 0x9204, {{-1, 3}})
        .rationals(exif, 0x9205, {{3, 1}})
        .shorts(exif, 0x9207, {5})
        .shorts(exif, 0x9209, {16})
        .rationals(exif, 0x920A, {{50, 1}});
    if (!options.makerNote.empty()) t.bytes(exif, 0x927C, 7, options.makerNote);
    t.ascii(exif, 0x9290, "12")
        .bytes(exif, 0xA000, 7, bytesOf("0100"))
        .shorts(exif, 0xA001, {1})
        .longs(exif, 0xA002, {6720})
        .longs(exif, 0xA003, {4480})
        .pointer(exif, 0xA005, interop)
        .shorts(exif, 0xA402, {0})
        .shorts(exif, 0xA403, {0})
        .shorts(exif, 0xA406, {0})
        .ascii(exif, 0xA431, "012345678901")
        .rationals(exif, 0xA432, {{24, 1}, {105, 1}, {0, 1}, {0, 1}})
        .ascii(exif, 0xA434, "EF24-105mm f/4L IS USM");
    t.ascii(interop, 0x0001, "R98").bytes(interop, 0x0002, 7, bytesOf("0100"));
    if (gps >= 0) {
      t.bytes(gps, 0x0000, 1, {2, 3, 0, 0})
          .ascii(gps, 0x0001, "N")
          .rationals(gps, 0x0002, {{41, 1}, {24, 1}, {1217, 100}})
          .ascii(gps, 0x0003, "E")
          .rationals(gps, 0x0004, {{2, 1}, {10, 1}, {265, 10}})
          .bytes(gps, 0x0005, 1, {0})
          .rationals(gps, 0x0006, {{1205, 10}})
          .rationals(gps, 0x0007, {{7, 1}, {30, 1}, {0, 1}})
          .ascii(gps, 0x001D, "2023:07:14");
    }
    if (ifd1 >= 0) {
      t.chain(ifd0, ifd1);
      t.shorts(ifd1, 0x0103, {6})
          .rationals(ifd1, 0x011A, {{180, 1}})
          .longs(ifd1, 0x0201, {thumbnailOffset})
          .longs(ifd1, 0x0202, {static_cast<uint32_t>(thumbnailBytes().size())});
    }
    block = t.build();
    thumbnailOffset = static_cast<uint32_t>(block.size());
  }
  if (options.withThumbnail) {
    const Bytes thumb = thumbnailBytes();
    block.insert(block.end(), thumb.begin(), thumb.end());
  }
  return block;
}

Bytes cameraJpeg(const CameraSampleOptions& options) {
  return JpegBuilder().app0Jfif().app1Exif(cameraTiff(options)).finish();
}

}  // namespace orvel::testing
