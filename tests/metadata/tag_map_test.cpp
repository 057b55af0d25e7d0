// The insertion-ordered tag map: replacement in place, lookups, growth and merging.
#include "metadata/tag_map.h"

#include <gtest/gtest.h>

#include <string>

using orvel::metadata::TagMap;

TEST(TagMap, KeepsFirstPositionAndLastValue) {
  TagMap map;
  EXPECT_EQ(map.find("Make"), nullptr);
  map.set("Make", "Canon");
  map.set("Model", "EOS");
  map.set("Make", "Nikon");
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.begin()->first, "Make");
  EXPECT_EQ(map.begin()->second, "Nikon");
  EXPECT_EQ(*map.find("Model"), "EOS");
  EXPECT_FALSE(map.contains("model"));
  EXPECT_FALSE(map.contains(""));
  map.set("", "empty name");
  EXPECT_EQ(*map.find(""), "empty name");
}

TEST(TagMap, ManyEntriesSurviveGrowthInOrder) {
  TagMap map;
  for (int i = 0; i < 5000; ++i) map.set("Vendor:Field" + std::to_string(i), std::to_string(i));
  for (int i = 0; i < 5000; i += 2) map.set("Vendor:Field" + std::to_string(i), "even");
  ASSERT_EQ(map.size(), 5000u);
  int position = 0;
  for (const auto& [name, value] : map) {
    EXPECT_EQ(name, "Vendor:Field" + std::to_string(position));
    EXPECT_EQ(value, position % 2 == 0 ? "even" : std::to_string(position));
    ++position;
  }
  EXPECT_EQ(map.find("Vendor:Field5000"), nullptr);
}

TEST(TagMap, MergeAndCopiesAreIndependent) {
  TagMap first;
  first.set("A", "1");
  first.set("B", "2");
  TagMap second;
  second.set("B", "20");
  second.set("C", "30");
  first.merge(second);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(*first.find("B"), "20");
  EXPECT_EQ(std::prev(first.end())->first, "C");
  TagMap copy = first;
  copy.set("D", "40");
  EXPECT_FALSE(first.contains("D"));
  EXPECT_EQ(*copy.find("A"), "1");
  TagMap moved = std::move(copy);
  EXPECT_EQ(moved.size(), 4u);
  EXPECT_EQ(*moved.find("D"), "40");
}
