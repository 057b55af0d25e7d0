// The metadata query functions over hand-built records: sorted listing, exact lookup, GPS,
// orientation, the cached JSON text and the answers for bad arguments and unknown handles.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "c_api/handles.h"
#include "c_api/meta_record.h"
#include "metadata/pipeline/json.h"
#include "orvel.h"

using namespace orvel::capi;
using orvel::metadata::Metadata;

namespace {

ov_meta* handleFor(const Metadata& meta) {
  ov_meta* handle = nullptr;
  EXPECT_EQ(createHandle<MetaRecord>(Family::exif, &handle, true,
                                     [&] { return buildMetaHandle(Metadata(meta)); }),
            0);
  return handle;
}

Metadata taggedRecord(std::initializer_list<std::pair<const char*, const char*>> tags) {
  Metadata meta;
  meta.isValid = true;
  for (const auto& [name, value] : tags) meta.tags.set(name, value);
  return meta;
}

std::vector<std::string> listedNames(const ov_meta* handle) {
  std::vector<std::string> names;
  for (int64_t i = 0; i < ov_exif_tag_count(handle); ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    EXPECT_EQ(ov_exif_tag_at(handle, i, &name, &value), 0);
    names.emplace_back(name);
  }
  return names;
}

// A record of another handle kind, to check that kinds are kept apart.
struct ImageLike : HandleRecord {
  static constexpr HandleKind kind = HandleKind::image;
};

}  // namespace

TEST(MetaListing, SortedByBytes) {
  ov_meta* h = handleFor(taggedRecord({{"XMP:dc:creator", "a"},
                             {"Model", "b"},
                             {"ISOSpeed", "c"},
                             {"Make", "d"},
                             {"ISO", "e"},
                             {"make", "f"},
                             {"\xc3\xa9t\xc3\xa9", "g"},
                             {"Zoom", "h"}}));
  EXPECT_EQ(listedNames(h), (std::vector<std::string>{"ISO", "ISOSpeed", "Make", "Model",
                                                      "XMP:dc:creator", "Zoom", "make",
                                                      "\xc3\xa9t\xc3\xa9"}));
  ov_exif_meta_free(h);
}

TEST(MetaListing, RandomNamesInByteOrder) {
  // Names sharing long prefixes, shorter and longer than eight bytes, with high bytes.
  const std::string alphabet = "AaZ:\x7f\x80\xff";
  std::mt19937 random(7);
  Metadata meta;
  std::set<std::string> expected;
  for (int i = 0; i < 400; ++i) {
    std::string name = i % 3 == 0 ? "Canon:Le" : "";
    const int length = static_cast<int>(random() % 13);
    for (int k = 0; k < length; ++k) name += alphabet[random() % alphabet.size()];
    meta.tags.set(name, "v");
    expected.insert(name);
  }
  ov_meta* h = handleFor(meta);
  EXPECT_EQ(listedNames(h), std::vector<std::string>(expected.begin(), expected.end()));
  ov_exif_meta_free(h);
}

TEST(MetaListing, IndexBounds) {
  ov_meta* h = handleFor(taggedRecord({{"B", "2"}, {"A", "1"}, {"C", "3"}}));
  ASSERT_EQ(ov_exif_tag_count(h), 3);
  const char* name = "untouched";
  const char* value = "untouched";
  EXPECT_EQ(ov_exif_tag_at(h, 2, &name, &value), 0);
  EXPECT_STREQ(name, "C");
  EXPECT_STREQ(value, "3");
  const char* keptName = name;
  EXPECT_EQ(ov_exif_tag_at(h, 3, &name, &value), 2);
  EXPECT_EQ(ov_exif_tag_at(h, -1, &name, &value), 2);
  EXPECT_EQ(ov_exif_tag_at(h, std::numeric_limits<int64_t>::max(), &name, &value), 2);
  EXPECT_EQ(ov_exif_tag_at(h, 0, nullptr, &value), 2);
  EXPECT_EQ(ov_exif_tag_at(h, 0, &name, nullptr), 2);
  EXPECT_EQ(name, keptName);  // nothing written on failure
  EXPECT_STREQ(value, "3");
  ov_exif_meta_free(h);
}

TEST(MetaLookup, ExactCaseSensitiveNames) {
  ov_meta* h = handleFor(taggedRecord({{"Make", "Canon"}, {"ISOSpeed", "100"}, {"Empty", ""}}));
  EXPECT_STREQ(ov_exif_get_tag(h, "Make"), "Canon");
  EXPECT_EQ(ov_exif_get_tag(h, "make"), nullptr);
  EXPECT_EQ(ov_exif_get_tag(h, "ISO"), nullptr);  // a prefix is not a match
  EXPECT_EQ(ov_exif_get_tag(h, "Make "), nullptr);
  EXPECT_EQ(ov_exif_get_tag(h, "Zzz"), nullptr);  // past the last name
  EXPECT_EQ(ov_exif_get_tag(h, ""), nullptr);
  EXPECT_EQ(ov_exif_get_tag(h, nullptr), nullptr);
  const char* empty = ov_exif_get_tag(h, "Empty");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  const char* name = nullptr;
  const char* value = nullptr;
  ASSERT_EQ(ov_exif_tag_at(h, 0, &name, &value), 0);
  EXPECT_EQ(ov_exif_get_tag(h, name), value);  // the same storage either way
  ov_exif_meta_free(h);
}

TEST(MetaLookup, EveryNameFoundInALargeRecord) {
  Metadata meta;
  for (int i = 0; i < 500; ++i) meta.tags.set("Tag" + std::to_string(i * 7919 % 1000), "v");
  ov_meta* h = handleFor(meta);
  for (const auto& [name, value] : meta.tags) {
    ASSERT_NE(ov_exif_get_tag(h, name.c_str()), nullptr) << name;
  }
  EXPECT_EQ(ov_exif_tag_count(h), static_cast<int64_t>(meta.tags.size()));
  ov_exif_meta_free(h);
}

TEST(MetaGps, PositionNeedsBothReferences) {
  Metadata meta;
  meta.latitude = -33.5;
  meta.longitude = 151.25;
  meta.altitude = -10;
  meta.latRef = 'S';
  ov_meta* withoutLon = handleFor(meta);
  double lat = 99, lon = 99, alt = 99;
  EXPECT_FALSE(ov_exif_get_gps(withoutLon, &lat, &lon, &alt));
  EXPECT_EQ(lat, 99);  // nothing stored
  EXPECT_EQ(std::string(ov_exif_to_json(withoutLon)).find("gps"), std::string::npos);
  ov_exif_meta_free(withoutLon);

  meta.lonRef = 'E';
  ov_meta* h = handleFor(meta);
  EXPECT_TRUE(ov_exif_get_gps(h, &lat, &lon, &alt));
  EXPECT_EQ(lat, -33.5);
  EXPECT_EQ(lon, 151.25);
  EXPECT_EQ(alt, -10);
  EXPECT_TRUE(ov_exif_get_gps(h, nullptr, nullptr, nullptr));
  double onlyLon = 0;
  EXPECT_TRUE(ov_exif_get_gps(h, nullptr, &onlyLon, nullptr));
  EXPECT_EQ(onlyLon, 151.25);
  ov_exif_meta_free(h);
}

TEST(MetaOrientation, FitsIn32Bits) {
  Metadata meta;
  meta.orientation = 6;
  ov_meta* six = handleFor(meta);
  EXPECT_EQ(ov_exif_get_orientation(six), 6);
  meta.orientation = int64_t{1} << 40;
  ov_meta* huge = handleFor(meta);
  EXPECT_EQ(ov_exif_get_orientation(huge), 0);
  meta.orientation = std::numeric_limits<int32_t>::min();
  ov_meta* lowest = handleFor(meta);
  EXPECT_EQ(ov_exif_get_orientation(lowest), std::numeric_limits<int32_t>::min());
  for (ov_meta* h : {six, huge, lowest}) ov_exif_meta_free(h);
}

TEST(MetaJson, SortedTagsAndTheRecordFields) {
  Metadata meta = taggedRecord({{"Model", "EOS 5D"}, {"Make", "Canon"}});
  meta.orientation = 6;
  meta.camera = "Canon EOS 5D";
  meta.software = "fw 1.0";
  meta.latitude = 45;
  meta.longitude = -0.000001;
  meta.latRef = 'N';
  meta.lonRef = 'W';
  ov_meta* h = handleFor(meta);
  EXPECT_STREQ(ov_exif_to_json(h),
               "{\n  \"isValid\": true,\n  \"orientation\": 6,\n"
               "  \"camera\": \"Canon EOS 5D\",\n  \"software\": \"fw 1.0\",\n"
               "  \"gps\": {\n    \"latitude\": 45.0,\n    \"longitude\": -0.000001,\n"
               "    \"altitude\": 0.0\n  },\n"
               "  \"tags\": {\n    \"Make\": \"Canon\",\n    \"Model\": \"EOS 5D\"\n  }\n}");
  ov_exif_meta_free(h);
}

TEST(MetaJson, CachedTextKeepsItsAddress) {
  ov_meta* h = handleFor(taggedRecord({{"A", "1"}}));
  const char* name = nullptr;
  const char* value = nullptr;
  ASSERT_EQ(ov_exif_tag_at(h, 0, &name, &value), 0);
  const char* first = ov_exif_to_json(h);
  ASSERT_NE(first, nullptr);
  std::string copy = first;
  EXPECT_EQ(ov_exif_to_json(h), first);
  EXPECT_EQ(copy, first);
  EXPECT_STREQ(name, "A");  // earlier pointers are untouched by the export
  ov_exif_meta_free(h);
}

TEST(MetaJson, ConcurrentFirstCallsShareOneText) {
  Metadata meta;
  for (int i = 0; i < 2000; ++i) meta.tags.set("Tag" + std::to_string(i), std::string(40, 'x'));
  for (int round = 0; round < 20; ++round) {
    ov_meta* h = handleFor(meta);
    std::atomic<bool> go{false};
    std::vector<const char*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        seen[t] = ov_exif_to_json(h);
      });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    std::set<const char*> distinct(seen.begin(), seen.end());
    ASSERT_EQ(distinct.size(), 1u);
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(std::strlen(seen[0]), std::string(ov_exif_to_json(h)).size());
    ov_exif_meta_free(h);
  }
}

TEST(MetaHandles, NullUnknownAndForeignHandlesGetAbsentResults) {
  ov_meta* freed = handleFor(taggedRecord({{"A", "1"}}));
  ov_exif_meta_free(freed);
  auto* image = new ImageLike;
  image->retain();
  registerHandle(ImageLike::kind, image);
  auto* foreign = reinterpret_cast<ov_meta*>(static_cast<HandleRecord*>(image));
  for (ov_meta* h : {static_cast<ov_meta*>(nullptr), freed, foreign}) {
    const char* name = nullptr;
    const char* value = nullptr;
    double lat = 5;
    EXPECT_FALSE(ov_exif_is_valid(h));
    EXPECT_EQ(ov_exif_tag_count(h), 0);
    EXPECT_EQ(ov_exif_tag_at(h, 0, &name, &value), 2);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(ov_exif_get_tag(h, "A"), nullptr);
    EXPECT_FALSE(ov_exif_get_gps(h, &lat, nullptr, nullptr));
    EXPECT_EQ(lat, 5);
    EXPECT_EQ(ov_exif_get_orientation(h), 0);
    EXPECT_EQ(ov_exif_to_json(h), nullptr);
    ov_exif_meta_free(h);  // ignored, foreign one included
  }
  EXPECT_TRUE(containsHandle(HandleKind::image, image));
  releaseHandle(HandleKind::image, image);
}

TEST(MetaRead, ArgumentChecks) {
  ov_meta* h = reinterpret_cast<ov_meta*>(0x1234);
  const uint8_t byte = 0xFF;
  EXPECT_EQ(ov_exif_read_buffer(&byte, 0, &h), 2);
  EXPECT_EQ(h, nullptr);
  h = reinterpret_cast<ov_meta*>(0x1234);
  EXPECT_EQ(ov_exif_read_buffer(&byte, -5, &h), 2);
  EXPECT_EQ(h, nullptr);
  h = reinterpret_cast<ov_meta*>(0x1234);
  EXPECT_EQ(ov_exif_read_buffer(nullptr, 10, &h), 2);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(ov_exif_read_buffer(&byte, 1, nullptr), 2);
  EXPECT_EQ(ov_exif_read_file("/nonexistent", nullptr), 2);
  h = reinterpret_cast<ov_meta*>(0x1234);
  EXPECT_EQ(ov_exif_read_file(nullptr, &h), 2);
  EXPECT_EQ(h, nullptr);
}

TEST(MetaRead, MissingFileIsAnInvalidHandle) {
  ov_meta* h = nullptr;
  ASSERT_EQ(ov_exif_read_file("/nonexistent/dir/photo.jpg", &h), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(ov_exif_is_valid(h));
  EXPECT_EQ(ov_exif_tag_count(h), 0);
  EXPECT_EQ(ov_exif_get_orientation(h), 0);
  EXPECT_STREQ(ov_exif_to_json(h),
               "{\n  \"isValid\": false,\n  \"orientation\": 0,\n  \"tags\": {}\n}");
  ov_exif_meta_free(h);
}

TEST(MetaRead, BufferWithoutMetadataIsAnInvalidHandle) {
  const std::vector<uint8_t> noise = {'h', 'e', 'l', 'l', 'o'};
  ov_meta* h = nullptr;
  ASSERT_EQ(ov_exif_read_buffer(noise.data(), static_cast<int64_t>(noise.size()), &h), 0);
  EXPECT_FALSE(ov_exif_is_valid(h));
  EXPECT_EQ(ov_exif_tag_count(h), 0);
  ov_exif_meta_free(h);
}
