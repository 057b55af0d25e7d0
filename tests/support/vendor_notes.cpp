#include "support/vendor_notes.h"

#include <string_view>
#include <vector>

namespace orvel::testing {
namespace {

Bytes header(std::string_view text) { return Bytes(text.begin(), text.end()); }

NoteIfdBuilder canonIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.ascii(6, "Canon EOS 5D Mark II").ascii(7, "Firmware Version 2.1.0").longs(8, {1000123})
      .ascii(149, "EF24-105mm f/4L IS USM");
  return ifd;
}

NoteIfdBuilder nikonIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.ascii(3, "COLOR").ascii(4, "FINE  ").ascii(5, "AUTO   ").ascii(7, "AF-S  ")
      .rationals(132, {{240, 10}, {700, 10}, {28, 10}, {28, 10}});
  return ifd;
}

NoteIfdBuilder panasonicIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.shorts(0x01, {2}).shorts(0x07, {4})
      .bytes(0x25, 7, bytesOf(std::string_view("F541005180345\0\0\0", 16)))
      .shorts(0x28, {5}).longs(0x29, {370000});
  return ifd;
}

NoteIfdBuilder fujiIfd() {
  NoteIfdBuilder ifd(false);
  ifd.bytes(0x0000, 7, bytesOf("0130")).ascii(0x1000, "NORMAL ").shorts(0x1002, {256})
      .shorts(0x1010, {3});
  return ifd;
}

NoteIfdBuilder pentaxIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.shorts(0x0001, {9}).shorts(0x0002, {640, 480}).longs(0x0005, {76830}).shorts(0x0008, {2})
      .longs(0x0041, {5, 6}).shorts(0x0019, {10});
  return ifd;
}

NoteIfdBuilder olympusIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.longs(0x0200, {3, 1, 2}).shorts(0x0201, {3}).rationals(0x0204, {{3, 2}})
      .rationals(0x0205, {{649, 30}}).sshorts(0x0206, {0, -5, 12}).ascii(0x0207, "SR951");
  return ifd;
}

NoteIfdBuilder casioIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.shorts(1, {1}).shorts(2, {3, 0, 0}).shorts(3, {7}).longs(6, {1500}).shorts(7, {129, 0, 0});
  return ifd;
}

NoteIfdBuilder minoltaIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.bytes(0x0000, 7, bytesOf("MLT0")).longs(0x0040, {1234567}).longs(0x0089, {25000})
      .ascii(0x010A, "long enough text");
  return ifd;
}

// Real layouts: the blocks cameras write inside their notes.

// A DiMAGE 7i's camera settings: 56 big-endian 32-bit fields, whatever the note's order.
Bytes minoltaSettings() {
  std::vector<uint32_t> v(56, 0);
  v[2] = 4;            // flash off
  v[3] = 1;            // daylight
  v[5] = 2;            // fine
  v[20] = 0;           // flash not fired
  v[21] = 0x07D20601;  // 2002:06:01
  v[22] = 0x000C251B;  // 12:37:27
  v[26] = 1;           // file number memory on
  v[37] = 4;           // DiMAGE 7i
  v[47] = 1;           // center zone, horizontal
  Bytes out;
  for (uint32_t value : v) appendBE32(out, value);
  return out;
}

NoteIfdBuilder minoltaSettingsIfd(bool be, uint16_t settingsType) {
  const Bytes settings = minoltaSettings();
  const auto count = static_cast<uint32_t>(settingsType == 7 ? settings.size() : settings.size() / 4);
  NoteIfdBuilder ifd(be);
  ifd.bytes(0x0000, 7, bytesOf("MLT0")).entry(0x0003, settingsType, count, settings)
      .longs(0x0040, {1234567}).longs(0x0089, {25000});
  return ifd;
}

// Camera settings (tag 1) and shot information (tag 4): arrays of 16-bit numbers.
NoteIfdBuilder canonArraysIfd(bool be) {
  std::vector<uint16_t> settings(25, 0);
  settings[3] = 3;   // fine
  settings[4] = 16;  // external flash
  settings[5] = 1;   // continuous
  settings[7] = 1;   // AI servo
  settings[9] = 7;   // CR2+JPEG
  settings[11] = 1;  // manual
  settings[17] = 3;  // evaluative
  settings[20] = 3;  // aperture priority
  std::vector<uint16_t> shot(30, 0);
  shot[7] = 8;     // shade
  shot[16] = 2;    // bracketing shot 2
  shot[18] = 1;    // local control
  shot[26] = 248;  // EOS high-end
  shot[27] = 1;    // rotate 90
  NoteIfdBuilder ifd(be);
  ifd.shorts(1, settings).shorts(4, shot).ascii(6, "Canon EOS 5D Mark II").longs(12, {1234})
      .longs(16, {0x80000218});
  return ifd;
}

// An old Olympus note whose equipment directory (0x2010, type IFD) lies inside the note, and
// the camera-settings block it shares with Minolta.
Bytes olympusWithDirectory(bool be, uint32_t noteOffset) {
  const Bytes header = bytesOf(std::string_view("OLYMP\0\1\0", 8));
  NoteIfdBuilder inner(be);
  inner.ascii(0x0100, "E-1 camera body").shorts(0x0201, {3, 1}).longs(0x0202, {7, 8, 9});
  auto build = [&](uint32_t innerAt) {
    NoteIfdBuilder main = olympusIfd(be);
    main.entry(0x0003, 7, 8, {0, 0, 0, 1, 0, 0, 0, 2}).entry(0x2010, 13, 1, main.u32(innerAt));
    return main;
  };
  // The inner directory follows the main one and its data area.
  const uint32_t mainAt = noteOffset + static_cast<uint32_t>(header.size());
  const auto mainSize = static_cast<uint32_t>(build(0).build(mainAt).size());
  const uint32_t innerAt = mainAt + mainSize;
  Bytes out = header;
  const Bytes main = build(innerAt).build(mainAt);
  const Bytes directory = inner.build(innerAt);
  out.insert(out.end(), main.begin(), main.end());
  out.insert(out.end(), directory.begin(), directory.end());
  return out;
}

NoteIfdBuilder sigmaIfd(bool be) {
  NoteIfdBuilder ifd(be);
  ifd.ascii(2, "1000123").ascii(3, "SINGLE").ascii(5, "AF-S").ascii(10, "18.0 - 50.0 mm")
      .ascii(11, "sRGB").ascii(12, "Expo:+0.3");
  return ifd;
}

NoteIfdBuilder appleIfd() {
  NoteIfdBuilder ifd(true);
  ifd.slongs(1, {14}).slongs(4, {1}).srationals(8, {{-1, 50}, {981, 1000}, {3, 100}})
      .ascii(11, "4A4B1C9E-DF6E-4B71-97E5-5A2EC4A0C6B1");
  return ifd;
}

}  // namespace

std::vector<VendorNoteCase> vendorNoteCases() {
  std::vector<VendorNoteCase> out;
  for (bool be : {false, true}) {
    out.push_back({"canon", "Canon", "Canon EOS 5D Mark II", be,
                   [be](uint32_t at) { return canonNote(canonIfd(be), at); }, true});
    out.push_back({"nikon-bare", "NIKON CORPORATION", "NIKON D70", be,
                   [be](uint32_t at) { return noteWithHeader({}, nikonIfd(be), at); }, true});
    out.push_back({"nikon-own-header", "NIKON CORPORATION", "NIKON D850", be,
                   [be](uint32_t) { return nikonNote(nikonIfd(!be)); }, false});
    out.push_back({"panasonic", "Panasonic", "DMC-GH5", be,
                   [be](uint32_t at) { return panasonicNote(panasonicIfd(be), at); }, true});
    out.push_back({"fujifilm", "FUJIFILM", "X-T4", be, [](uint32_t) { return fujiNote(fujiIfd()); },
                   false});
    // The note names its own byte order, the opposite of the block's.
    out.push_back({"pentax", "PENTAX Corporation", "PENTAX K-1", be,
                   [be](uint32_t at) {
                     Bytes h = header(std::string_view("AOC\0", 4));
                     h.push_back(be ? 'I' : 'M');
                     h.push_back(be ? 'I' : 'M');
                     return noteWithHeader(h, pentaxIfd(!be), at);
                   },
                   true});
    out.push_back({"olympus", "OLYMPUS OPTICAL CO.,LTD", "C2500L", be,
                   [be](uint32_t at) {
                     return noteWithHeader(header(std::string_view("OLYMP\0\1\0", 8)), olympusIfd(be), at);
                   },
                   true});
    out.push_back({"casio", "CASIO", "QV-3000EX", be,
                   [be](uint32_t at) { return noteWithHeader({}, casioIfd(be), at); }, true});
    out.push_back({"minolta", "Minolta Co., Ltd.", "DiMAGE 7", be,
                   [be](uint32_t at) { return noteWithHeader({}, minoltaIfd(be), at); }, true});
    out.push_back({"sigma", "SIGMA", "SIGMA SD9", be,
                   [be](uint32_t at) {
                     return noteWithHeader(header(std::string_view("SIGMA\0\0\0\1\0", 10)), sigmaIfd(be), at);
                   },
                   true});
    out.push_back({"apple", "Apple", "iPhone 15 Pro", be, [](uint32_t) { return appleNote(appleIfd()); },
                   false});
    out.push_back({"minolta-settings", "Minolta Co., Ltd.", "DiMAGE 7i", be,
                   [be](uint32_t at) { return noteWithHeader({}, minoltaSettingsIfd(be, 7), at); },
                   true});
    out.push_back({"minolta-settings-long", "Minolta Co., Ltd.", "DiMAGE 7i", be,
                   [be](uint32_t at) { return noteWithHeader({}, minoltaSettingsIfd(be, 4), at); },
                   true});
    out.push_back({"canon-arrays", "Canon", "Canon EOS 5D Mark II", be,
                   [be](uint32_t at) { return canonNote(canonArraysIfd(be), at); }, true});
    out.push_back({"olympus-directory", "OLYMPUS OPTICAL CO.,LTD", "E-1", be,
                   [be](uint32_t at) { return olympusWithDirectory(be, at); }, true});
  }
  return out;
}

}  // namespace orvel::testing
