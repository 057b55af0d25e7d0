// Apple notes: recognised by their header before any Make-based choice, read big-endian from
// the note's own bytes; named fields, decimal and code conversions, numbered unknown tags.
#include <gtest/gtest.h>

#include "metadata/makernotes/makernotes.h"
#include "note_reading.h"

using namespace orvel::metadata;
using namespace orvel::metadata::makernotes;
using namespace orvel::testing;

namespace {

NoteIfdBuilder iphoneNote() {
  NoteIfdBuilder ifd(true);
  ifd.slongs(1, {14})
      .bytes(2, 7, Bytes(64, 0x8F))                       // opaque blob: skipped
      .bytes(3, 7, bytesOf("bplist00"))                   // even a printable one
      .slongs(4, {1})
      .slongs(5, {170})
      .slongs(6, {172})
      .slongs(7, {1})
      .srationals(8, {{-1, 50}, {981, 1000}, {3, 100}})
      .bytes(9, 1, {1, 2, 3, 4})
      .slongs(10, {3})
      .ascii(11, "4A4B1C9E-DF6E-4B71-97E5-5A2EC4A0C6B1")
      .srationals(12, {{37, 100}, {3, 10}})
      .slongs(20, {10})
      .bytes(25, 1, Bytes(9, 0x41))                       // nine BYTEs: skipped
      .bytes(26, 6, Bytes(8, 0x42))                       // eight SBYTEs: listed
      .slongs(31, {0})
      .srationals(33, {{1, 3}})
      .srationals(39, {{5123, 100}})
      .ascii(43, "9D1F2E0A-9F06-4B3B-B5D0-3F1E1C2B6A55")
      .slongs(45, {4996})
      .slongs(46, {0})
      .slongs(47, {50})
      .srationals(48, {{-1, 8}});
  return ifd;
}

void expectIphoneTags(const TagMap& tags) {
  EXPECT_EQ(tagOr(tags, "Apple:MakerNoteVersion"), "14");
  EXPECT_EQ(tagOr(tags, "Apple:AEStable"), "1");
  EXPECT_EQ(tagOr(tags, "Apple:AETarget"), "170");
  EXPECT_EQ(tagOr(tags, "Apple:AEAverage"), "172");
  EXPECT_EQ(tagOr(tags, "Apple:AFStable"), "1");
  EXPECT_EQ(tagOr(tags, "Apple:AccelerationVector"), "-0.02 0.981 0.03");
  EXPECT_EQ(tagOr(tags, "Apple:0x0009"), "01 02 03 04");
  EXPECT_EQ(tagOr(tags, "Apple:HDRImageType"), "3");
  EXPECT_EQ(tagOr(tags, "Apple:0x000B"), "4A4B1C9E-DF6E-4B71-97E5-5A2EC4A0C6B1");
  EXPECT_EQ(tagOr(tags, "Apple:FocusDistanceRange"), "0.37 0.3");
  EXPECT_EQ(tagOr(tags, "Apple:ImageCaptureType"), "Photo");
  EXPECT_EQ(tagOr(tags, "Apple:0x001A"), "BBBBBBBB");
  EXPECT_EQ(tagOr(tags, "Apple:PhotosAppFeatureFlags"), "0");
  EXPECT_EQ(tagOr(tags, "Apple:HDRHeadroom"), "0.3333");
  EXPECT_EQ(tagOr(tags, "Apple:SignalToNoiseRatio"), "51.23");
  EXPECT_EQ(tagOr(tags, "Apple:PhotoIdentifier"), "9D1F2E0A-9F06-4B3B-B5D0-3F1E1C2B6A55");
  EXPECT_EQ(tagOr(tags, "Apple:ColorTemperature"), "4996");
  EXPECT_EQ(tagOr(tags, "Apple:CameraType"), "Back Wide Angle");
  EXPECT_EQ(tagOr(tags, "Apple:FocusPosition"), "50");
  EXPECT_EQ(tagOr(tags, "Apple:HDRGain"), "-0.125");
  for (const char* skipped : {"Apple:0x0002", "Apple:0x0003", "Apple:0x0019"}) {
    EXPECT_FALSE(tags.contains(skipped)) << skipped;
  }
  EXPECT_EQ(countWithPrefix(tags, "Apple:"), 20u);
}

}  // namespace

TEST(AppleNote, RecognisedByItsHeader) {
  const Bytes note = appleNote(iphoneNote());
  EXPECT_TRUE(isAppleMakerNote(note));
  EXPECT_TRUE(isAppleMakerNote(Bytes(note.begin(), note.begin() + 16)));
  EXPECT_FALSE(isAppleMakerNote(Bytes(note.begin(), note.begin() + 15)));  // needs more than 15
  Bytes lower = note;
  lower[6] = 'I';  // "Apple IOS"
  EXPECT_FALSE(isAppleMakerNote(lower));
  EXPECT_FALSE(isAppleMakerNote({}));
  EXPECT_TRUE(parseAppleMakerNote(lower).empty());
}

TEST(AppleNote, DecodesTheNoteOnItsOwn) {
  expectIphoneTags(parseAppleMakerNote(appleNote(iphoneNote())));
}

TEST(AppleNote, ReadFromAJpegWhateverTheMakeAndByteOrder) {
  // The header, not the Make, chooses the Apple decoder; it is big-endian in any file.
  for (bool be : {false, true}) {
    for (std::string_view make : {"Apple", "Canon", ""}) {
      SCOPED_TRACE(testing::Message() << make << " " << be);
      const NoteIfdBuilder ifd = iphoneNote();
      const Metadata meta = readJpeg(
          jpegWithMakerNote(be, make, "iPhone 15 Pro", [&](uint32_t) { return appleNote(ifd); }));
      expectIphoneTags(meta.tags);
      EXPECT_EQ(countWithPrefix(meta.tags, "Canon:"), 0u);
    }
  }
}

TEST(AppleNote, NamedFieldsAreListedEvenWhenEmpty) {
  NoteIfdBuilder ifd(true);
  ifd.rawOffset(43, 2, 37, 0x7FFFFF00).rawOffset(8, 10, 3, 0xFFFFFFF0).rawOffset(11, 2, 37, 99999);
  const TagMap tags = parseAppleMakerNote(appleNote(ifd));
  EXPECT_EQ(tagOr(tags, "Apple:PhotoIdentifier"), "");
  EXPECT_EQ(tagOr(tags, "Apple:AccelerationVector"), "");
  EXPECT_EQ(tagOr(tags, "Apple:0x000B"), "");
}

TEST(AppleNote, CodesOutsideTheTablesKeepTheirText) {
  NoteIfdBuilder ifd(true);
  ifd.slongs(20, {11}).slongs(46, {2}).srationals(48, {{7, 0}});
  const TagMap tags = parseAppleMakerNote(appleNote(ifd));
  EXPECT_EQ(tagOr(tags, "Apple:ImageCaptureType"), "11");
  EXPECT_EQ(tagOr(tags, "Apple:CameraType"), "2");
  EXPECT_EQ(tagOr(tags, "Apple:HDRGain"), "0");  // zero denominator
}

TEST(AppleNote, MalformedNotesAddNothingOrWhatWasRead) {
  // Header only, or a directory count far beyond the bytes.
  Bytes headerOnly = bytesOf(std::string_view("Apple iOS\0\0\x01MM\0", 15));
  headerOnly.push_back(0x00);
  EXPECT_TRUE(parseAppleMakerNote(headerOnly).empty());

  NoteIfdBuilder ifd(true);
  ifd.slongs(1, {14}).slongs(4, {1}).slongs(5, {170}).claimedCount(0xFFFF);
  Bytes note = appleNote(ifd);
  note.resize(14 + 2 + 12 * 2 + 7);
  const TagMap tags = parseAppleMakerNote(note);
  EXPECT_EQ(tags.size(), 2u);
  EXPECT_EQ(tagOr(tags, "Apple:AEStable"), "1");
}

