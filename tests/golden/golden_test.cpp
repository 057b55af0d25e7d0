// What the library answers for a fixed set of inputs, through the public interface only: the
// JSON and tag list of a read (from a buffer and from a file), the stripped bytes, and the bytes
// of three edits. The expectations in expected.txt were recorded once; any change to any answer
// for any input shows here, by input and by answer.
//
// The inputs: every committed fixture and fuzz seed, and a few hundred files the test builders
// make, valid and damaged (cut short, bytes overwritten).
//
// To record new expectations after a deliberate change:
//   ORVEL_GOLDEN_WRITE=tests/golden/expected.txt build/tests/test_golden
// then review the diff: it names every input whose answers changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "orvel.h"
#include "support/builders.h"
#include "support/chunk_builder.h"
#include "support/exif_samples.h"
#include "support/isobmff_builder.h"
#include "support/packet_builders.h"
#include "support/sample_photo.h"
#include "support/temp_dir.h"
#include "support/vendor_notes.h"

namespace {

using orvel::testing::Bytes;
namespace fs = std::filesystem;

constexpr const char* kAnswerNames[] = {"json", "tags", "file", "strip", "edit0", "edit1",
                                        "edit2", "files"};
constexpr std::size_t kAnswers = std::size(kAnswerNames);

// FNV-1a over everything fed in; 32 bits of it are enough to tell answers apart.
class Digest {
 public:
  Digest& add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) state_ = (state_ ^ bytes[i]) * 0x100000001B3ull;
    return *this;
  }
  Digest& add(const std::string& text) { return add(text.data(), text.size()).add(int64_t{-1}); }
  Digest& add(int64_t value) { return add(&value, sizeof value); }
  Digest& add(double value) { return add(&value, sizeof value); }
  std::string hex() const {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(state_ ^ (state_ >> 32)));
    return text;
  }

 private:
  uint64_t state_ = 0xCBF29CE484222325ull;
};

// A deterministic generator for the damaged variants (SplitMix64).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }

 private:
  uint64_t state_;
};

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---- The inputs ----

using Inputs = std::map<std::string, Bytes>;

void addWithDamage(Inputs& inputs, const std::string& id, const Bytes& bytes, int cuts,
                   int mutations) {
  inputs[id] = bytes;
  Random random(std::stoull(Digest().add(id).hex(), nullptr, 16));
  for (int k = 1; k <= cuts; ++k) {
    const std::size_t at = bytes.size() * static_cast<std::size_t>(k) / (cuts + 1);
    inputs[id + "#cut" + std::to_string(at)] = Bytes(bytes.begin(), bytes.begin() + at);
  }
  for (int k = 0; k < mutations && !bytes.empty(); ++k) {
    Bytes damaged = bytes;
    const std::size_t flips = 1 + random.below(4);
    for (std::size_t f = 0; f < flips; ++f) {
      damaged[random.below(damaged.size())] = static_cast<uint8_t>(random.next());
    }
    inputs[id + "#mut" + std::to_string(k)] = std::move(damaged);
  }
}

void addFiles(Inputs& inputs, const fs::path& root, const std::string& label, int cuts) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& path : files) {
    addWithDamage(inputs, label + "/" + fs::relative(path, root).generic_string(), readFile(path),
                  cuts, 0);
  }
}

Bytes heifWith(const Bytes& tiff, uint8_t infe, uint8_t iloc, int offsetSize, int extents,
               int method, bool withXmp) {
  using namespace orvel::testing;
  HeifBuilder heif;
  heif.infeVersion(infe).ilocVersion(iloc).fieldSizes(offsetSize, 4, iloc == 0 ? 0 : 4);
  heif.item({1, "hvc1", "", Bytes(40, 0x11), 1, 0});
  heif.item({2, "Exif", "", exifItemPayload(tiff), extents, method});
  if (withXmp) {
    const std::string packet = xmpPacket(
        "<rdf:Description rdf:about='' xmp:Rating='4'><dc:title><rdf:Alt><rdf:li>Sea</rdf:li>"
        "</rdf:Alt></dc:title></rdf:Description>");
    heif.item({3, "mime", "application/rdf+xml", text(packet), 1, 0});
  }
  return heif.build();
}

Bytes movie(bool keyed) {
  using namespace orvel::testing;
  Bytes udta;
  if (keyed) {
    udta = metaBox(concat({keysBox({"com.apple.quicktime.make", "com.apple.quicktime.model",
                                    "com.apple.quicktime.creationdate"}),
                           box("ilst", concat({ilstItemIndexed(1, "Apple"),
                                               ilstItemIndexed(2, "iPhone 15"),
                                               ilstItemIndexed(3, "2024-05-01T10:20:30+0200")}))}),
                   true);
  } else {
    udta = box("udta", concat({ilstItem("\xA9mak", "Canon"), ilstItem("\xA9mod", "EOS R5"),
                               ilstItem("\xA9swr", "Firmware 1.2")}));
  }
  const Bytes moov = box("moov", concat({mvhd(keyed ? 1 : 0, 3800000000u),
                                         track(tkhd(0, 1920, 1080)), udta}));
  Bytes ftypPayload = text("qt  ");
  appendBE32(ftypPayload, 0);
  return concat({box("ftyp", ftypPayload), moov, box("mdat", Bytes(64, 0x22))});
}

void addBuiltInputs(Inputs& inputs) {
  using namespace orvel::testing;
  constexpr int kCuts = 6;
  constexpr int kMutations = 5;
  auto add = [&](const std::string& id, const Bytes& bytes) {
    addWithDamage(inputs, "built/" + id, bytes, kCuts, kMutations);
  };
  for (int be = 0; be < 2; ++be) {
    const std::string order = be ? "be" : "le";
    for (int gps = 0; gps < 2; ++gps) {
      for (int thumb = 0; thumb < 2; ++thumb) {
        CameraSampleOptions options{be != 0, gps != 0, thumb != 0, {}};
        add("camera-jpeg-" + order + std::to_string(gps) + std::to_string(thumb),
            cameraJpeg(options));
      }
    }
    add("camera-tiff-" + order, cameraTiff({be != 0, true, true, {}}));
    for (int variant = 0; variant < 3; ++variant) {
      add("photo-" + order + std::to_string(variant), samplePhotoJpeg({be != 0, variant, 64}));
    }
    add("photo-tiff-" + order, samplePhotoTiff({be != 0, 1, 64}));
  }
  for (const VendorNoteCase& note : vendorNoteCases()) {
    add(std::string("vendor-") + note.name + (note.bigEndian ? "-be" : "-le"),
        jpegWithMakerNote(note.bigEndian, note.make, note.model, note.note));
  }
  const Bytes tiff = cameraTiff({false, true, false, {}});
  const Bytes tiffBe = cameraTiff({true, true, false, {}});
  add("heif-basic", heifWith(tiff, 2, 0, 4, 1, 0, true));
  add("heif-v3-iloc1", heifWith(tiffBe, 3, 1, 4, 1, 0, false));
  add("heif-iloc2-wide", heifWith(tiff, 2, 2, 8, 1, 0, true));
  add("heif-two-extents", heifWith(tiff, 2, 1, 4, 2, 0, false));
  add("heif-idat", heifWith(tiff, 2, 1, 4, 1, 1, false));
  add("heif-narrow", heifWith(tiff, 2, 0, 2, 1, 0, false));
  add("movie-classic", movie(false));
  add("movie-keyed", movie(true));

  const std::string packet = xmpPacket(
      "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='3'>"
      "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bo</rdf:li></rdf:Seq></dc:creator>"
      "<dc:subject><rdf:Bag><rdf:li>sea</rdf:li></rdf:Bag></dc:subject>"
      "<photoshop:City>Oslo</photoshop:City></rdf:Description>");
  add("png-full", pngFile({pngIhdr(), pngChunk("eXIf", tiff), pngChunk("tEXt", textData("Title", "Sea")),
                           pngChunk("zTXt", ztxtData("Comment", zlibStored(text("long comment")))),
                           pngChunk("iTXt", itxtData("XML:com.adobe.xmp", false, "", "", text(packet))),
                           pngIdat(), pngIend()}));
  add("png-zipped-xmp",
      pngFile({pngIhdr(), pngChunk("iTXt", itxtData("XML:com.adobe.xmp", true, "en", "x",
                                                     zlibStored(text(packet)))),
               pngIdat(), pngIend()}));
  add("png-plain", pngFile({pngIhdr(), pngIdat(), pngIend()}));
  add("webp-extended", webpFile({vp8xChunk(0x0C), vp8lChunk(), riffChunk("EXIF", tiff),
                                 riffChunk("XMP ", text(packet))}));
  add("webp-exif-prefixed", webpFile({vp8xChunk(0x08), vp8lChunk(),
                                      riffChunk("EXIF", concat({text(std::string("Exif\0\0", 6)),
                                                                tiffBe}))}));
  add("webp-simple", webpFile({vp8lChunk()}));
  add("jpeg-iptc", jpegWithIptc({iptcDataset(2, 0, std::string("\0\4", 2)),
                                 iptcDataset(2, 5, "Title"), iptcDataset(2, 25, "one"),
                                 iptcDataset(2, 25, "two"), iptcDataset(2, 80, "Ann"),
                                 iptcDataset(2, 120, "A caption"), iptcDataset(1, 90, "\x1b%G")}));
  add("jpeg-xmp", JpegBuilder().app0Jfif().segment(0xE1, xmpApp1Payload(packet)).finish());
  add("jpeg-everything", JpegBuilder()
                             .app0Jfif()
                             .app1Exif(tiffBe)
                             .segment(0xE1, xmpApp1Payload(packet))
                             .segment(0xED, app13Payload({photoshopResource(
                                                0x0404, "", concat({iptcDataset(2, 105, "Head"),
                                                                    iptcDataset(2, 90, "Bergen")}))}))
                             .segment(0xFE, text("a comment"))
                             .finish());
  // Large enough that a file read takes the head path.
  inputs["built/photo-large"] = samplePhotoJpeg({false, 2, 90000});
}

Inputs allInputs() {
  Inputs inputs;
  const fs::path source = ORVEL_SOURCE_DIR;
  addFiles(inputs, source / "tests/fixtures", "fixtures", 4);
  addFiles(inputs, source / "fuzz/corpus", "corpus", 0);
  addFiles(inputs, source / "examples", "examples", 4);
  addBuiltInputs(inputs);
  return inputs;
}

// ---- The answers ----

void digestMeta(ov_status status, ov_meta* meta, Digest& json, Digest* tags) {
  json.add(int64_t{status});
  if (meta == nullptr) return;
  const char* document = ov_exif_to_json(meta);
  json.add(std::string(document == nullptr ? "(null)" : document));
  if (tags == nullptr) return;
  tags->add(int64_t{ov_exif_is_valid(meta)}).add(int64_t{ov_exif_get_orientation(meta)});
  double lat = 0, lon = 0, alt = 0;
  tags->add(int64_t{ov_exif_get_gps(meta, &lat, &lon, &alt)}).add(lat).add(lon).add(alt);
  const int64_t count = ov_exif_tag_count(meta);
  tags->add(count);
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    tags->add(int64_t{ov_exif_tag_at(meta, i, &name, &value)});
    if (name == nullptr || value == nullptr) continue;
    const char* looked = ov_exif_get_tag(meta, name);
    tags->add(std::string(name)).add(std::string(value));
    tags->add(std::string(looked == nullptr ? "(null)" : looked));
  }
}

void digestBuffer(ov_status status, uint8_t* out, int64_t length, Digest& digest) {
  digest.add(int64_t{status}).add(length);
  if (out != nullptr) digest.add(out, static_cast<std::size_t>(length));
  ov_exif_buffer_free(out);
}

// Opens an edit of the bytes, applies `change`, writes to a new buffer.
template <class Change>
std::string editAnswer(const Bytes& bytes, Change change) {
  Digest digest;
  ov_edit* edit = nullptr;
  digest.add(int64_t{ov_exif_edit_open_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), &edit)});
  if (edit != nullptr) {
    change(edit);
    uint8_t* out = nullptr;
    int64_t length = 0;
    const ov_status status = ov_exif_edit_write_buffer(edit, &out, &length);
    digestBuffer(status, out, length, digest);
    ov_exif_edit_free(edit);
  }
  return digest.hex();
}

void changeMany(ov_edit* edit) {
  ov_exif_set_artist(edit, "Golden Artist");
  ov_exif_set_software(edit, "orvel golden");
  ov_exif_set_datetime(edit, "2021:02:03 04:05:06");
  ov_exif_set_gps(edit, -33.8667, 151.2, -12.5);
  ov_exif_edit_set_tag(edit, "Orientation", "6");
  ov_exif_edit_set_tag(edit, "UserComment", "golden");
  ov_exif_edit_set_tag(edit, "ExposureTime", "1/125");
}

std::vector<std::string> answersFor(const std::string& id, const Bytes& bytes,
                                    const orvel::testing::TempDir& dir, int serial) {
  std::vector<std::string> answers;
  const auto length = static_cast<int64_t>(bytes.size());
  const uint8_t* data = bytes.empty() ? nullptr : bytes.data();
  {
    Digest json, tags;
    ov_meta* meta = nullptr;
    const ov_status status = ov_exif_read_buffer(data, length, &meta);
    digestMeta(status, meta, json, &tags);
    ov_exif_meta_free(meta);
    answers.push_back(json.hex());
    answers.push_back(tags.hex());
  }
  const std::string extension = fs::path(id.substr(0, id.find('#'))).extension().string();
  const std::string path = dir.file("in" + std::to_string(serial) + extension, bytes);
  {
    Digest json;
    ov_meta* meta = nullptr;
    const ov_status status = ov_exif_read_file(path.c_str(), &meta);
    digestMeta(status, meta, json, nullptr);
    ov_exif_meta_free(meta);
    answers.push_back(json.hex());
  }
  {
    Digest strip;
    uint8_t* out = nullptr;
    int64_t outLength = 0;
    const ov_status status = ov_exif_strip_buffer(data, length, &out, &outLength);
    digestBuffer(status, out, outLength, strip);
    answers.push_back(strip.hex());
  }
  answers.push_back(editAnswer(bytes, [](ov_edit*) {}));
  answers.push_back(editAnswer(bytes, changeMany));
  answers.push_back(editAnswer(bytes, [](ov_edit* edit) { ov_exif_strip_all(edit); }));
  {
    Digest files;
    const std::string edited = path + ".edited" + extension;
    const std::string stripped = path + ".stripped" + extension;
    ov_edit* edit = nullptr;
    files.add(int64_t{ov_exif_edit_open(path.c_str(), &edit)});
    if (edit != nullptr) {
      ov_exif_set_artist(edit, "File Artist");
      files.add(int64_t{ov_exif_edit_write(edit, edited.c_str())});
      ov_exif_edit_free(edit);
    }
    files.add(int64_t{ov_exif_strip_file(path.c_str(), stripped.c_str())});
    for (const std::string& written : {edited, stripped}) {
      const Bytes out = fs::exists(written) ? readFile(written) : Bytes{};
      files.add(int64_t(out.size())).add(out.data(), out.size());
      fs::remove(written);
    }
    fs::remove(path);
    answers.push_back(files.hex());
  }
  return answers;
}

std::string lineFor(const std::string& id, const std::vector<std::string>& answers) {
  std::string line = id;
  for (const std::string& answer : answers) line += " " + answer;
  return line;
}

struct Expected {
  std::string id;
  std::vector<std::string> answers;
};

std::vector<Expected> readExpectations(const fs::path& path) {
  std::vector<Expected> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Expected expected;
    fields >> expected.id;
    for (std::string answer; fields >> answer;) expected.answers.push_back(answer);
    out.push_back(std::move(expected));
  }
  return out;
}

class Golden : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC", 1);
    ov_exif_init();
  }
};

TEST_F(Golden, EveryAnswerForEveryInputIsAsRecorded) {
  const Inputs inputs = allInputs();
  const orvel::testing::TempDir dir;
  if (const char* target = std::getenv("ORVEL_GOLDEN_WRITE")) {
    std::ofstream out(target);
    out << "# input";
    for (const char* name : kAnswerNames) out << ' ' << name;
    out << '\n';
    int serial = 0;
    for (const auto& [id, bytes] : inputs) out << lineFor(id, answersFor(id, bytes, dir, serial++)) << '\n';
    GTEST_SKIP() << "expectations written to " << target;
  }
  const std::vector<Expected> expectations =
      readExpectations(fs::path(ORVEL_SOURCE_DIR) / "tests/golden/expected.txt");
  ASSERT_GT(expectations.size(), 500u);
  int serial = 0;
  int changed = 0;
  for (const Expected& expected : expectations) {
    const auto input = inputs.find(expected.id);
    if (input == inputs.end()) {
      ADD_FAILURE() << expected.id << ": this input is no longer made";
      continue;
    }
    ASSERT_EQ(expected.answers.size(), kAnswers) << expected.id;
    const std::vector<std::string> answers = answersFor(expected.id, input->second, dir, serial++);
    std::string differences;
    for (std::size_t k = 0; k < kAnswers; ++k) {
      if (answers[k] != expected.answers[k]) differences += std::string(" ") + kAnswerNames[k];
    }
    if (!differences.empty()) {
      ++changed;
      ADD_FAILURE() << expected.id << ": changed answers:" << differences;
    }
  }
  EXPECT_EQ(changed, 0);
}

}  // namespace
