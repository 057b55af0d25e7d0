// Name → text map that remembers insertion order: storing an existing name replaces its value
// in place. Used for the metadata record's tags and for what vendor and packet decoders return,
// so exports list tags in the order the file presented them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvel::metadata {

class TagMap {
 public:
  using Entry = std::pair<std::string, std::string>;

  void set(std::string name, std::string value) {
    if ((entries_.size() + 1) * 2 > slots_.size()) grow();
    const std::size_t slot = slotOf(name);
    if (slots_[slot] != 0) {
      entries_[slots_[slot] - 1].second = std::move(value);
      return;
    }
    entries_.emplace_back(std::move(name), std::move(value));
    slots_[slot] = static_cast<uint32_t>(entries_.size());
  }

  // Null when absent.
  const std::string* find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    const uint32_t number = slots_[slotOf(name)];
    return number == 0 ? nullptr : &entries_[number - 1].second;
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
  // The index is an open-addressing table of entry numbers (0 = free, else position + 1),
  // at most half full, so a tag costs no allocation beyond its two strings.
  std::size_t slotOf(std::string_view name) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>{}(name) & mask;; slot = (slot + 1) & mask) {
      const uint32_t number = slots_[slot];
      if (number == 0 || entries_[number - 1].first == name) return slot;
    }
  }

  void grow() {
    std::vector<uint32_t> fresh(slots_.empty() ? 32 : slots_.size() * 2, 0);
    const std::size_t mask = fresh.size() - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      std::size_t slot = std::hash<std::string_view>{}(entries_[i].first) & mask;
      while (fresh[slot] != 0) slot = (slot + 1) & mask;
      fresh[slot] = static_cast<uint32_t>(i + 1);
    }
    slots_.swap(fresh);
    entries_.reserve(slots_.size() / 2);
  }

  std::vector<Entry> entries_;
  std::vector<uint32_t> slots_;
};

}  // namespace orvel::metadata
