#include "support/sample_photo.h"

#include <algorithm>
#include <array>
#include <string>

namespace orvel::testing {

namespace {

constexpr uint16_t kUndefined = 7;

constexpr std::array<const char*, 4> kModels = {"Canon EOS 5D Mark IV", "Canon EOS R5",
                                                "Canon EOS 90D", "Canon EOS R6"};

// Whole degrees, minutes and hundredths of seconds for one coordinate.
std::vector<std::pair<uint32_t, uint32_t>> dms(double degrees) {
  double magnitude = degrees < 0 ? -degrees : degrees;
  auto whole = static_cast<uint32_t>(magnitude);
  double minutes = (magnitude - whole) * 60;
  auto wholeMinutes = static_cast<uint32_t>(minutes);
  auto hundredths = static_cast<uint32_t>((minutes - wholeMinutes) * 60 * 100 + 0.5);
  return {{whole, 1}, {wholeMinutes, 1}, {hundredths, 100}};
}

void addCamera(TiffBuilder& t, int ifd0, const SamplePhoto& photo, const SamplePhotoFacts& f) {
  t.ascii(ifd0, 0x010E, "Holiday " + std::to_string(photo.variant))
      .ascii(ifd0, 0x010F, "Canon")
      .ascii(ifd0, 0x0110, f.model)
      .shorts(ifd0, 0x0112, {f.orientation})
      .rationals(ifd0, 0x011A, {{72, 1}})
      .rationals(ifd0, 0x011B, {{72, 1}})
      .shorts(ifd0, 0x0128, {2})
      .ascii(ifd0, 0x0131, "Firmware Version 1.2.0")
      .ascii(ifd0, 0x0132, "2023:07:14 09:31:02")
      .ascii(ifd0, 0x013B, "Orvel Example")
      .shorts(ifd0, 0x0213, {2})
      .ascii(ifd0, 0x8298, "CC0 1.0");
}

void addExposure(TiffBuilder& t, int exif, const SamplePhoto& photo) {
  const auto v = static_cast<uint32_t>(photo.variant);
  t.rationals(exif, 0x829A, {{1, 250 * (v + 1)}})
      .rationals(exif, 0x829D, {{28 + 10 * v, 10}})
      .shorts(exif, 0x8822, {3})
      .shorts(exif, 0x8827, {static_cast<uint16_t>(100 << (v % 4))})
      .shorts(exif, 0x8830, {2})
      .bytes(exif, 0x9000, kUndefined, bytesOf("0231"))
      .ascii(exif, 0x9003, "2023:07:14 09:30:00")
      .ascii(exif, 0x9004, "2023:07:14 09:30:00")
      .ascii(exif, 0x9010, "+10:00")
      .ascii(exif, 0x9011, "+10:00")
      .bytes(exif, 0x9101, kUndefined, {1, 2, 3, 0})
      .srationals(exif, 0x9201, {{8, 1}})
      .rationals(exif, 0x9202, {{3, 1}})
      .srationals(exif, 0x9204, {{-1, 3}})
      .rationals(exif, 0x9205, {{3, 1}})
      .shorts(exif, 0x9207, {5})
      .shorts(exif, 0x9209, {16})
      .rationals(exif, 0x920A, {{35 + 5 * v, 1}})
      .ascii(exif, 0x9290, "42")
      .ascii(exif, 0x9291, "42")
      .ascii(exif, 0x9292, "42")
      .bytes(exif, 0xA000, kUndefined, bytesOf("0100"))
      .shorts(exif, 0xA001, {1})
      .longs(exif, 0xA002, {6720})
      .longs(exif, 0xA003, {4480})
      .rationals(exif, 0xA20E, {{6720000, 1419}})
      .rationals(exif, 0xA20F, {{4480000, 945}})
      .shorts(exif, 0xA210, {2})
      .shorts(exif, 0xA401, {0})
      .shorts(exif, 0xA402, {0})
      .shorts(exif, 0xA403, {0})
      .shorts(exif, 0xA406, {0})
      .ascii(exif, 0xA430, "Orvel Example")
      .ascii(exif, 0xA431, "012345678901")
      .rationals(exif, 0xA432, {{24, 1}, {70, 1}, {0, 1}, {0, 1}})
      .ascii(exif, 0xA434, "EF24-70mm f/2.8L II USM")
      .ascii(exif, 0xA435, "0000c12345");
  // A user comment as cameras write it: an 8-byte character code, then padded text.
  Bytes comment = bytesOf("ASCII");
  comment.resize(8, 0);
  comment.resize(72, ' ');
  t.bytes(exif, 0x9286, kUndefined, comment);
}

void addGps(TiffBuilder& t, int gps, const SamplePhotoFacts& f) {
  t.bytes(gps, 0x0000, 1, {2, 3, 0, 0})
      .ascii(gps, 0x0001, f.latitude < 0 ? "S" : "N")
      .rationals(gps, 0x0002, dms(f.latitude))
      .ascii(gps, 0x0003, f.longitude < 0 ? "W" : "E")
      .rationals(gps, 0x0004, dms(f.longitude))
      .bytes(gps, 0x0005, 1, {static_cast<uint8_t>(f.altitude < 0 ? 1 : 0)})
      .rationals(gps, 0x0006, {{static_cast<uint32_t>((f.altitude < 0 ? -f.altitude : f.altitude) * 10), 10}})
      .rationals(gps, 0x0007, {{23, 1}, {30, 1}, {0, 1}})
      .ascii(gps, 0x0008, "09")
      .ascii(gps, 0x0012, "WGS-84")
      .ascii(gps, 0x001D, "2023:07:13");
}

// Canon's note is a bare directory whose value offsets count from the TIFF header.
void addCanonNote(TiffBuilder& t, int note, const SamplePhoto& photo) {
  std::vector<uint16_t> cameraSettings(49, 0);
  cameraSettings[0] = 98;  // the array's own size in bytes
  cameraSettings[1] = 2;   // macro mode
  cameraSettings[3] = 5;   // quality
  cameraSettings[22] = static_cast<uint16_t>(photo.variant);
  std::vector<uint16_t> shotInfo(34, 0);
  shotInfo[0] = 68;
  shotInfo[2] = 160;
  t.shorts(note, 0x0001, cameraSettings)
      .shorts(note, 0x0004, shotInfo)
      .ascii(note, 0x0006, "Canon EOS 5D Mark IV")
      .ascii(note, 0x0007, "Firmware Version 1.2.0")
      .ascii(note, 0x0009, "Orvel Example")
      .longs(note, 0x000C, {123456789})
      .longs(note, 0x0010, {0x80000349})
      .ascii(note, 0x0095, "EF24-70mm f/2.8L II USM");
}

void addThumbnailDirectory(TiffBuilder& t, int ifd1) {
  t.shorts(ifd1, 0x0103, {6})
      .rationals(ifd1, 0x011A, {{72, 1}})
      .rationals(ifd1, 0x011B, {{72, 1}})
      .shorts(ifd1, 0x0128, {2});
}

}  // namespace

SamplePhotoFacts samplePhotoFacts(int variant) {
  const auto index = static_cast<std::size_t>(variant) % kModels.size();
  const double sign = variant % 2 == 0 ? -1 : 1;
  return {kModels[index], sign * (33.5 + 0.25 * (variant % 7)), 151.25 - 0.5 * (variant % 5),
          variant % 3 == 2 ? -12.5 : 12.5, static_cast<uint16_t>(1 + variant % 8)};
}

Bytes samplePhotoTiff(const SamplePhoto& photo) {
  const SamplePhotoFacts facts = samplePhotoFacts(photo.variant);
  TiffBuilder t(photo.bigEndian);
  const int ifd0 = t.addIfd();
  const int ifd1 = t.addIfd();
  const int exif = t.addIfd();
  const int interop = t.addIfd();
  const int gps = t.addIfd();
  const int note = t.addIfd();
  addCamera(t, ifd0, photo, facts);
  t.pointer(ifd0, 0x8769, exif).pointer(ifd0, 0x8825, gps).chain(ifd0, ifd1);
  addThumbnailDirectory(t, ifd1);
  addExposure(t, exif, photo);
  t.pointer(exif, 0xA005, interop);
  t.ascii(interop, 0x0001, "R98").bytes(interop, 0x0002, kUndefined, bytesOf("0100"));
  addGps(t, gps, facts);
  addCanonNote(t, note, photo);
  // The note's entry is added last, so its offset is the note directory's offset once the
  // Exif directory has grown by that one 12-byte entry.
  const uint32_t noteOffset = t.ifdOffset(note) + 12;
  t.rawOffset(exif, 0x927C, kUndefined, 2 + 12 * 8 + 4, noteOffset);
  return t.build();
}

Bytes samplePhotoJpeg(const SamplePhoto& photo) {
  Bytes scan(photo.scanBytes);
  for (std::size_t i = 0; i < scan.size(); ++i) scan[i] = static_cast<uint8_t>(0x20 + i % 0xC0);
  return JpegBuilder().app0Jfif().app1Exif(samplePhotoTiff(photo)).finish(scan);
}

}  // namespace orvel::testing
