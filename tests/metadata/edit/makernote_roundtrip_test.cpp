// Maker notes survive an edit: the block is laid out afresh, so notes addressed from the TIFF
// header have their value offsets moved with them, and every vendor tag reads identically.
#include <gtest/gtest.h>

#include <map>

#include "metadata/edit/edit.h"
#include "metadata/edit/load.h"
#include "metadata/pipeline/locate.h"
#include "metadata/pipeline/read.h"
#include "metadata/edit/write.h"
#include "support/vendor_notes.h"

namespace orvel::metadata::edit {

using namespace orvel::base;
using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::metadata::pipeline;

namespace {

using namespace orvel::testing;

// Tags decoded from the maker note carry the vendor's prefix.
std::map<std::string, std::string> vendorTags(const Metadata& meta, std::string_view prefix) {
  std::map<std::string, std::string> out;
  for (const auto& [name, value] : meta.tags) {
    if (name.rfind(prefix, 0) == 0) out[name] = value;
  }
  return out;
}

std::string prefixOf(const Metadata& meta) {
  for (const auto& [name, value] : meta.tags) {
    const auto colon = name.find(':');
    if (colon != std::string::npos && name.rfind("GPS", 0) != 0) return name.substr(0, colon + 1);
  }
  return "";
}

TEST(MakerNoteRoundTrip, EveryVendorTagReadsIdenticallyAfterAnEdit) {
  for (const VendorNoteCase& c : vendorNoteCases()) {
    SCOPED_TRACE(std::string(c.name) + (c.bigEndian ? " big-endian" : " little-endian"));
    const Bytes jpeg = jpegWithMakerNote(c.bigEndian, c.make, c.model, c.note);
    const Metadata before = readMetadataFromBytes(jpeg);
    const std::string prefix = prefixOf(before);
    ASSERT_FALSE(prefix.empty()) << "the note decoded to nothing";
    const auto expected = vendorTags(before, prefix);
    ASSERT_GE(expected.size(), 3u);

    ExifEdit edit = parseExifBytes(jpeg);
    EXPECT_EQ(edit.makerNote.addressedFromHeader, c.movesWithBlock);
    setArtist(edit, "someone else");  // an unrelated tag
    const Bytes written = writeExifBytes(jpeg, edit);
    ASSERT_FALSE(written.empty());
    const Metadata after = readMetadataFromBytes(written);
    EXPECT_EQ(vendorTags(after, prefix), expected);
    EXPECT_EQ(*after.tags.find("Artist"), "someone else");

    // The note did move, so its offsets were really shifted (or needed no shift).
    const ExifEdit reread = parseExifBytes(written);
    const int64_t oldAt = edit.exif.find(kMakerNoteTag)->origin;
    const int64_t newAt = reread.exif.find(kMakerNoteTag)->origin;
    EXPECT_NE(oldAt, newAt);
    // Written twice, the note stays the same: moving is repeatable.
    setSoftware(edit, "x");
    EXPECT_EQ(vendorTags(readMetadataFromBytes(writeExifBytes(written, reread)), prefix), expected);
  }
}

// The entries of the directory that the note's entry `tag` leads to (an offset from the TIFF
// header in the entry), rendered as text; read from the JPEG's EXIF block.
std::map<uint16_t, std::string> ledDirectory(const Bytes& jpeg, int64_t directoryInNote,
                                             uint16_t tag) {
  const ExifBlock block = findExifAPP1(jpeg);
  const ByteView tiff = ByteView(jpeg).subspan(static_cast<std::size_t>(block.start));
  const bool be = tiff[0] == 'M';
  const int64_t note = parseExifBytes(jpeg).exif.find(kMakerNoteTag)->origin;
  const container::Ifd main = container::readIFD(tiff, note + directoryInNote, 0, be);
  const auto entry = main.tags.find(tag);
  if (entry == main.tags.end()) return {};
  const uint32_t at = readUint32(tiff, entry->second.offset, be);
  std::map<uint16_t, std::string> out;
  for (const auto& [inner, value] : container::readIFD(tiff, at, 0, be).tags) {
    out[inner] = container::toString(value);
  }
  return out;
}

TEST(MakerNoteRoundTrip, DirectoriesInsideANoteMoveAndTurnWithIt) {
  for (const VendorNoteCase& c : vendorNoteCases()) {
    if (std::string_view(c.name) != "olympus-directory") continue;
    SCOPED_TRACE(c.bigEndian ? "big-endian" : "little-endian");
    const Bytes jpeg = jpegWithMakerNote(c.bigEndian, c.make, c.model, c.note);
    const auto before = ledDirectory(jpeg, 8, 0x2010);
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(before.at(0x0100), "E-1 camera body");
    ExifEdit edit = parseExifBytes(jpeg);
    setArtist(edit, "someone else");
    const Bytes written = writeExifBytes(jpeg, edit);
    EXPECT_EQ(ledDirectory(written, 8, 0x2010), before);
    // The camera-settings block it shares with Minolta keeps its byte order.
    const ExifEdit reread = parseExifBytes(written);
    const auto& note = reread.exif.find(kMakerNoteTag)->bytes;
    const container::Ifd main = container::readIFD(note, 8, -reread.exif.find(kMakerNoteTag)->origin, false);
    EXPECT_EQ(std::vector<uint8_t>(main.tags.at(0x0003).data.begin(), main.tags.at(0x0003).data.end()),
              (Bytes{0, 0, 0, 1, 0, 0, 0, 2}));
  }
}

TEST(MakerNoteRelocation, LeavesUnparsableNotesAndOutsideValuesAlone) {
  NoteLayout layout;
  layout.addressedFromHeader = true;
  const Bytes junk = {0xFF, 0xFF, 1, 2, 3};  // claims 65535 entries, holds none
  EXPECT_EQ(relocateMakerNote(junk, layout, 100, 300), junk);
  EXPECT_EQ(relocateMakerNote({}, layout, 100, 300), Bytes{});

  NoteIfdBuilder ifd(false);
  ifd.ascii(1, "inside the note").rawOffset(2, 2, 20, 5000);  // the second points elsewhere
  const Bytes note = ifd.build(100);
  const Bytes moved = relocateMakerNote(note, layout, 100, 340);
  EXPECT_EQ(readUint32(moved, 2 + 8, false), readUint32(note, 2 + 8, false) + 240);
  EXPECT_EQ(readUint32(moved, 2 + 12 + 8, false), 5000u);
  // Self-contained layouts never change.
  EXPECT_EQ(relocateMakerNote(note, NoteLayout{}, 100, 340), note);
  NoteIfdBuilder fuji(false);
  fuji.ascii(0x1000, "NORMAL ");
  EXPECT_FALSE(makerNoteLayout("FUJIFILM", fujiNote(fuji), false).addressedFromHeader);
  EXPECT_FALSE(makerNoteLayout("Some Other Maker", note, false).addressedFromHeader);
  EXPECT_FALSE(makerNoteLayout("", note, false).addressedFromHeader);
}

}  // namespace
}  // namespace orvel::metadata::edit
