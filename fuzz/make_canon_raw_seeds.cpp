// Writes synthetic Canon CR3 seeds (the four CMT blocks of the moov uuid box, in both byte
// orders) for the ISO box and metadata fuzzers. From the repository's root (one line):
//   g++ -std=c++20 -Itests fuzz/make_canon_raw_seeds.cpp tests/support/builders.cpp
//       tests/support/isobmff_builder.cpp tests/support/makernote_builder.cpp -o /tmp/cr3seeds
//       && /tmp/cr3seeds fuzz/corpus/isobmff && /tmp/cr3seeds fuzz/corpus/metadata
#include <cstdio>
#include <string>

#include "support/builders.h"
#include "support/isobmff_builder.h"
#include "support/makernote_builder.h"

using namespace orvel::testing;

namespace {

Bytes canonRaw(bool bigEndian) {
  TiffBuilder ifd0(bigEndian), exif(bigEndian), gps(bigEndian);
  const int a = ifd0.addIfd(), b = exif.addIfd(), c = gps.addIfd();
  ifd0.ascii(a, 0x010F, "Canon").ascii(a, 0x0110, "Canon EOS R5");
  exif.rationals(b, 0x829A, {{1, 250}}).ascii(b, 0x9003, "2023:05:06 07:08:09");
  gps.ascii(c, 0x0001, "S").rationals(c, 0x0002, {{33, 1}, {51, 1}, {3156, 100}});
  NoteIfdBuilder note(bigEndian);
  note.shorts(0x0001, {0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 5});
  note.ascii(0x0006, "Canon EOS R5");
  Bytes noteBlock = bytesOf(bigEndian ? "MM" : "II");
  for (const Bytes& part : {note.u16(42), note.u32(8), canonNote(note, 8)}) {
    noteBlock.insert(noteBlock.end(), part.begin(), part.end());
  }
  return canonRawFile({ifd0.build(), exif.build(), noteBlock, gps.build()});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  saveSeed(argv[1], "canon_raw_le.cr3", canonRaw(false));
  saveSeed(argv[1], "canon_raw_be.cr3", canonRaw(true));
  return 0;
}
