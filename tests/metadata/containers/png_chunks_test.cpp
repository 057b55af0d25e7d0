// PNG metadata chunks: locating EXIF and XMP, text chunks plain and compressed, rebuilding.
#include <gtest/gtest.h>

#include <string>

#include "container/png.h"
#include "metadata/edit/rebuild.h"
#include "metadata/pipeline/locate.h"
#include "metadata/xmp/xmp.h"
#include "support/builders.h"
#include "support/chunk_builder.h"

using namespace orvel::base;
using namespace orvel::container;
using namespace orvel::metadata;
using namespace orvel::metadata::xmp;
using namespace orvel::metadata::pipeline;
using namespace orvel::metadata::edit;
using namespace orvel::testing;
using namespace std::literals;

namespace {

const Bytes kTiff = bytesOf("MM\0*\0\0\0\x08\0\0\0\0\0\0"sv);

// The chunks of a PNG as (type, data), checking each CRC on the way.
std::vector<std::pair<std::string, Bytes>> chunksOf(const Bytes& png) {
  std::vector<std::pair<std::string, Bytes>> chunks;
  size_t p = 8;
  while (p + 12 <= png.size()) {
    const uint32_t length = readUint32(png, static_cast<int64_t>(p), true);
    const std::string type(png.begin() + static_cast<long>(p) + 4, png.begin() + static_cast<long>(p) + 8);
    const Bytes data(png.begin() + static_cast<long>(p) + 8, png.begin() + static_cast<long>(p + 8 + length));
    EXPECT_EQ(pngChunk(type, data), Bytes(png.begin() + static_cast<long>(p),
                                          png.begin() + static_cast<long>(p + 12 + length)))
        << "CRC of " << type;
    chunks.emplace_back(type, data);
    p += 12 + length;
  }
  EXPECT_EQ(p, png.size());
  return chunks;
}

std::vector<std::string> typesOf(const Bytes& png) {
  std::vector<std::string> types;
  for (const auto& [type, data] : chunksOf(png)) types.push_back(type);
  return types;
}

}  // namespace

TEST(PngBasics, SignatureCrcAndChunkLayout) {
  const Bytes signature = pngFile({});
  EXPECT_TRUE(isPng(signature));
  EXPECT_FALSE(isPng(ByteView(signature).first(7)));
  EXPECT_FALSE(isPng(bytesOf("\x89PNG\r\n\x1A\r")));
  EXPECT_EQ(makeChunk("tEXt", textData("Title", "A rose")),
            pngChunk("tEXt", textData("Title", "A rose")));
  EXPECT_EQ(makeChunk("IEND", {}), pngIend());
  EXPECT_EQ(chunkType(pngFile({pngIhdr()}), 12), "IHDR");
  EXPECT_THROW(chunkType(pngFile({}), 6), std::out_of_range);
}

TEST(PngExif, FirstExifBeforeImageData) {
  const Bytes png = pngFile({pngIhdr(), pngChunk("eXIf", kTiff), pngIdat(), pngIend()});
  EXPECT_EQ(findExifInPng(png), 8 + 25 + 8);
  const Bytes late = pngFile({pngIhdr(), pngIdat(), pngChunk("eXIf", kTiff), pngIend()});
  EXPECT_EQ(findExifInPng(late), 0);
  const Bytes none = pngFile({pngIhdr(), pngIend(), pngChunk("eXIf", kTiff)});
  EXPECT_EQ(findExifInPng(none), 0);
  EXPECT_EQ(findExifInPng(bytesOf("not a png at all, but long")), 0);
  // The chunk length is not compared with the buffer: the TIFF reader bounds itself.
  Bytes cut = pngFile({pngIhdr(), pngChunk("eXIf", kTiff)});
  cut.resize(cut.size() - 10);
  EXPECT_EQ(findExifInPng(cut), 8 + 25 + 8);
}

TEST(PngText, PlainCompressedAndInternationalInFileOrder) {
  const Bytes png = pngFile({
      pngIhdr(),
      pngChunk("tEXt", textData("Title", "Rose")),
      pngChunk("zTXt", ztxtData("Comment", zlibStored(bytesOf("squeezed text")))),
      pngIdat(),
      pngChunk("iTXt", itxtData("Author", false, "en", "Autor", bytesOf("J\xC3\xBCrgen"))),
      pngChunk("iTXt", itxtData("Note", true, "", "", zlibStored(bytesOf("packed")))),
      pngChunk("tEXt", textData("", "empty keyword")),
      pngChunk("tEXt", textData("Title", "Second")),
      pngIend(),
      pngChunk("tEXt", textData("After", "IEND")),
  });
  const TextList expected = {{"Title", "Rose"},       {"Comment", "squeezed text"},
                             {"Author", "J\xC3\xBCrgen"}, {"Note", "packed"},
                             {"", "empty keyword"},   {"Title", "Second"}};
  EXPECT_EQ(pngTextChunks(png), expected);
}

TEST(PngText, BrokenChunksAreLeftOut) {
  Bytes corrupt = zlibStored(bytesOf("checksum will not match"));
  corrupt.back() ^= 0xFF;
  const Bytes png = pngFile({
      pngIhdr(),
      pngChunk("tEXt", bytesOf("no separator")),
      pngChunk("zTXt", ztxtData("Bad", corrupt)),
      pngChunk("zTXt", ztxtData("Empty", zlibStored({}))),
      pngChunk("zTXt", bytesOf("NoMethod\0"sv)),
      pngChunk("zTXt", ztxtData("", zlibStored(bytesOf("no keyword")))),
      pngChunk("iTXt", bytesOf("Key\0\0\0en"sv)),  // language tag without its NUL
      pngChunk("iTXt", itxtData("Key", true, "", "", corrupt)),
      pngChunk("iTXt", itxtData("Plain", false, "", "", {})),  // uncompressed empty text is fine
      pngChunk("tEXt", textData("Kept", "yes")),
  });
  const TextList expected = {{"Plain", ""}, {"Kept", "yes"}};
  EXPECT_EQ(pngTextChunks(png), expected);
}

TEST(PngText, WalkEndsAtAChunkRunningPastTheEnd) {
  Bytes png = pngFile({pngIhdr(), pngChunk("tEXt", textData("A", "1")), pngChunk("tEXt", textData("B", "2"))});
  png.resize(png.size() - 4);  // B's data stays whole but its CRC is cut: still listed
  EXPECT_EQ(pngTextChunks(png).size(), 2u);
  png.resize(png.size() - 1);  // now B's data runs past the end
  EXPECT_EQ(pngTextChunks(png), (TextList{{"A", "1"}}));
}

TEST(PngText, ChunkDecodersDirectly) {
  const Bytes ztxt = ztxtData("Key", zlibStored(bytesOf("value")));
  TextChunk z = parseZtxt(ztxt, 0, static_cast<int64_t>(ztxt.size()));
  EXPECT_TRUE(z.ok);
  EXPECT_EQ(z.keyword, "Key");
  EXPECT_EQ(z.text, "value");
  EXPECT_FALSE(parseZtxt(ztxt, 0, 4).ok);  // stops right after the NUL: no method byte
  const Bytes itxt = itxtData("Key", false, "de", "Schl\xC3\xBCssel", bytesOf("Wert"));
  TextChunk i = parseITxt(itxt, 0, static_cast<int64_t>(itxt.size()));
  EXPECT_TRUE(i.ok);
  EXPECT_EQ(i.text, "Wert");
  EXPECT_FALSE(parseITxt(itxt, 0, 3).ok);
  EXPECT_FALSE(parseITxt(itxt, -5, 3).ok);
}

TEST(PngXmp, FirstMatchingInternationalText) {
  const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
  const Bytes png = pngFile({
      pngIhdr(),
      pngChunk("iTXt", itxtData("XML:com.adobe.xmp.other", false, "", "", bytesOf("no"))),
      pngChunk("tEXt", textData("XML:com.adobe.xmp", "not international text")),
      pngIdat(),
      pngChunk("iTXt", itxtData("XML:com.adobe.xmp", true, "", "", zlibStored(bytesOf(packet)))),
      pngChunk("iTXt", itxtData("XML:com.adobe.xmp", false, "", "", bytesOf("second"))),
  });
  EXPECT_EQ(findXmpInPng(png), packet);
  const Bytes afterEnd = pngFile({pngIhdr(), pngIend(),
                                  pngChunk("iTXt", itxtData("XML:com.adobe.xmp", false, "", "", bytesOf("x")))});
  EXPECT_EQ(findXmpInPng(afterEnd), "");
}

TEST(PngRebuild, ReplaceLeavesOneExifRightAfterIhdr) {
  const Bytes time = pngChunk("tIME", Bytes{0x07, 0xE8, 1, 2, 3, 4, 5});
  const Bytes png = pngFile({pngIhdr(), pngChunk("eXIf", bytesOf("old one")), time, pngIdat(),
                             pngChunk("eXIf", bytesOf("old two")), pngChunk("tEXt", textData("K", "V")),
                             pngIend()});
  const Bytes out = replacePngExif(png, kTiff);
  const auto chunks = chunksOf(out);
  EXPECT_EQ(typesOf(out), (std::vector<std::string>{"IHDR", "eXIf", "tIME", "IDAT", "tEXt", "IEND"}));
  EXPECT_EQ(chunks[1].second, kTiff);
  EXPECT_EQ(findExifInPng(out), 8 + 25 + 8);
}

TEST(PngRebuild, EmptyExifKeepsTheOldOnes) {
  const Bytes png = pngFile({pngIhdr(), pngChunk("eXIf", kTiff), pngIdat(), pngIend()});
  EXPECT_EQ(replacePngExif(png, {}), png);
}

TEST(PngRebuild, NoIhdrMeansNoPlaceForTheExif) {
  const Bytes png = pngFile({pngChunk("eXIf", kTiff), pngIdat(), pngIend()});
  EXPECT_TRUE(replacePngExif(png, kTiff).empty());
  EXPECT_TRUE(replacePngExif(bytesOf("GIF89a plus more bytes"), kTiff).empty());
}

TEST(PngRebuild, StripKeepsEverythingElseByteForByte) {
  const Bytes icc = pngChunk("iCCP", bytesOf("profile\0\0xyz"sv));
  const Bytes time = pngChunk("tIME", Bytes{0x07, 0xE8, 1, 2, 3, 4, 5});
  Bytes wrongCrc = pngChunk("pHYs", Bytes(9, 1));
  wrongCrc.back() ^= 0x55;  // copied as it is, never recomputed
  const Bytes png = pngFile({pngIhdr(), icc, pngChunk("eXIf", kTiff), pngChunk("tEXt", textData("A", "b")),
                             time, pngIdat(), pngChunk("zTXt", ztxtData("C", zlibStored(bytesOf("d")))),
                             pngChunk("iTXt", itxtData("E", false, "", "", bytesOf("f"))), wrongCrc,
                             pngIend()});
  const Bytes out = stripPng(png);
  EXPECT_EQ(out, pngFile({pngIhdr(), icc, time, pngIdat(), wrongCrc, pngIend()}));
  EXPECT_TRUE(pngTextChunks(out).empty());
  EXPECT_EQ(findExifInPng(out), 0);
}

TEST(PngText, InflatedTextIsCappedAtSixteenMebibytes) {
  const size_t cap = size_t{1} << 24;
  Bytes text(cap, 'a');
  const Bytes atCap = pngFile({pngIhdr(), pngChunk("zTXt", ztxtData("Big", zlibStored(text)))});
  const TextList kept = pngTextChunks(atCap);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].second.size(), cap);
  text.push_back('a');
  const Bytes overCap = pngFile({pngIhdr(), pngChunk("zTXt", ztxtData("Big", zlibStored(text))),
                                 pngChunk("tEXt", textData("Small", "kept"))});
  EXPECT_EQ(pngTextChunks(overCap), (TextList{{"Small", "kept"}}));
}
