// Name → text map that remembers insertion order: storing an existing name replaces its value
// in place. Used for the metadata record's tags and for what vendor and packet decoders return,
// so exports list tags in the order the file presented them.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvel::exif {

class TagMap {
 public:
  using Entry = std::pair<std::string, std::string>;

  void set(std::string name, std::string value) {
    auto found = index_.find(name);
    if (found != index_.end()) {
      entries_[found->second].second = std::move(value);
      return;
    }
    index_.emplace(name, entries_.size());
    entries_.emplace_back(std::move(name), std::move(value));
  }

  // Null when absent.
  const std::string* find(std::string_view name) const {
    auto found = index_.find(std::string(name));
    return found == index_.end() ? nullptr : &entries_[found->second].second;
  }

  bool contains(std::string_view name) const { return find(name) != nullptr; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Stores every entry of another map, in its order.
  void merge(const TagMap& other) {
    for (const auto& [name, value] : other) set(name, value);
  }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace orvel::exif
