// The make, model and software come from "udta"/"meta" item lists, classic or keyed.
#include "metadata/movie/movie.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "container/isobmff.h"

namespace orvel::metadata::movie {
namespace {

constexpr int kMaxDepth = 32;
constexpr int64_t kScanLimit = int64_t{1} << 20;  // the fallback scan looks at the first MiB

constexpr std::string_view kMakeItem = "\xA9mak";
constexpr std::string_view kModelItem = "\xA9mod";
constexpr std::string_view kSoftwareItem = "\xA9swr";
constexpr std::string_view kDayItem =
    "\xA9"
    "day";

struct MovieState {
  VideoMeta video;
  std::vector<std::string> keys;  // QuickTime metadata keys; items name them from 1
  // What classic user-data text atoms hold; it fills only what the item lists and the scan
  // leave empty.
  VideoMeta userText;
};

// Inside a movie a size field of 0 ends a walk, as does a box running past its parent.
constexpr container::BoxWalkRules kMovieBoxes{false, false};

using base::readU32be;
using base::textAt;

int64_t sizeOf(ByteView data) { return static_cast<int64_t>(data.size()); }

void keepCreation(MovieState& state, std::string creation) {
  if (state.video.creation.empty()) state.video.creation = std::move(creation);
}

void readMovieHeader(ByteView data, const container::Box& box, MovieState& state) {
  if (box.end() - box.payload() < 20 || !state.video.creation.empty()) return;
  if (data[static_cast<size_t>(box.payload())] == 0) {
    state.video.creation = "MP4-Time-V0:" + std::to_string(readU32be(data, box.payload() + 4));
  } else {
    const auto seconds = static_cast<int64_t>(base::readUint64(data, box.payload() + 4, true));
    state.video.creation = "MP4-Time-V1:" + std::to_string(seconds);
  }
}

void readTrackHeader(ByteView data, const container::Box& box, MovieState& state) {
  const int64_t payloadLength = box.end() - box.payload();
  if (payloadLength < 84) return;
  const bool version1 = data[static_cast<size_t>(box.payload())] != 0;
  if (version1 && payloadLength < 96) return;
  const int64_t at = box.payload() + (version1 ? 88 : 76);
  // 16.16 fixed point; only the integer part counts.
  const int64_t width = readU32be(data, at) >> 16;
  const int64_t height = readU32be(data, at + 4) >> 16;
  state.video.width = std::max(state.video.width, width);
  state.video.height = std::max(state.video.height, height);
}

void readKeys(ByteView data, const container::Box& box, MovieState& state) {
  if (box.end() - box.payload() < 8) return;
  const uint32_t count = readU32be(data, box.payload() + 4);
  int64_t position = box.payload() + 8;
  for (uint32_t i = 0; i < count && box.end() - position >= 8; ++i) {
    const uint32_t keySize = readU32be(data, position);
    if (keySize < 8 || keySize > box.end() - position) return;
    state.keys.push_back(textAt(data, position + 8, keySize - 8));  // after size and namespace
    position += keySize;
  }
}

// Key number n of an item type: four ASCII digits, or n stored as a 32-bit big-endian number
// (the way phones write their keyed metadata).
std::optional<size_t> keyNumber(const std::string& type, size_t keyCount) {
  uint64_t n = 0;
  if (std::all_of(type.begin(), type.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    for (char c : type) n = n * 10 + static_cast<uint64_t>(c - '0');
  } else {
    for (char c : type) n = n << 8 | static_cast<uint8_t>(c);
  }
  if (n < 1 || n > keyCount) return std::nullopt;
  return static_cast<size_t>(n);
}

void applyKeyedItem(const std::string& key, const std::string& value, MovieState& state) {
  if (key == "com.apple.quicktime.make") state.video.make = value;
  if (key == "com.apple.quicktime.model") state.video.model = value;
  if (key == "com.apple.quicktime.software") state.video.software = value;
  if (key == "com.apple.quicktime.creationdate") keepCreation(state, "String:" + value);
}

void readItemList(ByteView data, const container::Box& list, MovieState& state) {
  container::BoxWalk walk(data, list.payload(), list.end(), kMovieBoxes);
  while (const auto item = walk.next()) {
    const std::string value = readStringData(data, item->payload(), item->end());
    if (item->type == kMakeItem) {
      state.video.make = value;
    } else if (item->type == kModelItem) {
      state.video.model = value;
    } else if (item->type == kSoftwareItem) {
      state.video.software = value;
    } else if (item->type == kDayItem) {
      keepCreation(state, "String:" + value);
    } else if (const auto n = keyNumber(item->type.str(), state.keys.size())) {
      applyKeyedItem(state.keys[*n - 1], value, state);
    }
  }
}

// Where the children of a "meta" box begin. MP4 writes version and flags first; QuickTime
// movies from phones start with the "hdlr" child at once, and skipping 4 bytes there would
// lose the whole keyed list.
int64_t metaChildren(ByteView data, const container::Box& box) {
  const bool quickTimeStyle =
      box.end() - box.payload() >= 8 && textAt(data, box.payload() + 4, 4) == "hdlr";
  return quickTimeStyle ? box.payload() : box.payload() + 4;
}

// A classic QuickTime user-data text atom ("\xA9mak" and the like, without a "data" child):
// a 16-bit text length, a 16-bit language code, then the text.
std::optional<std::string> classicText(ByteView data, const container::Box& box) {
  const int64_t room = box.end() - box.payload();
  if (room < 4 || (room >= 8 && textAt(data, box.payload() + 4, 4) == "data")) return std::nullopt;
  const int64_t length = base::readU16be(data, box.payload());
  if (length > room - 4) return std::nullopt;
  return textAt(data, box.payload() + 4, length);
}

void keepFirst(std::string& field, std::string value) {
  if (field.empty()) field = std::move(value);
}

void readUserDataText(ByteView data, const container::Box& box, MovieState& state) {
  const container::FourCC& type = box.type;
  if (!(type == kMakeItem || type == kModelItem || type == kSoftwareItem || type == kDayItem)) {
    return;
  }
  std::optional<std::string> text = classicText(data, box);
  if (!text || text->empty()) return;
  VideoMeta& found = state.userText;
  if (type == kMakeItem) keepFirst(found.make, std::move(*text));
  if (type == kModelItem) keepFirst(found.model, std::move(*text));
  if (type == kSoftwareItem) keepFirst(found.software, std::move(*text));
  if (type == kDayItem) keepFirst(found.creation, "String:" + *text);
}

void fillFromUserText(const VideoMeta& found, VideoMeta& video) {
  keepFirst(video.make, found.make);
  keepFirst(video.model, found.model);
  keepFirst(video.software, found.software);
  keepFirst(video.creation, found.creation);
}

void recurse(ByteView data, int64_t start, int64_t end, int depth, MovieState& state,
             bool inUserData = false) {
  if (depth > kMaxDepth) return;
  container::BoxWalk walk(data, start, end, kMovieBoxes);
  while (const auto box = walk.next()) {
    const container::FourCC& type = box->type;
    if (inUserData) readUserDataText(data, *box, state);
    if (type == "moov" || type == "udta" || type == "trak" || type == "mdia") {
      recurse(data, box->payload(), box->end(), depth + 1, state, type == "udta");
    } else if (type == "meta" && box->end() - box->payload() >= 4) {
      recurse(data, metaChildren(data, *box), box->end(), depth + 1, state);
    } else if (type == "mvhd") {
      readMovieHeader(data, *box, state);
    } else if (type == "tkhd") {
      readTrackHeader(data, *box, state);
    } else if (type == "keys") {
      readKeys(data, *box, state);
    } else if (type == "ilst") {
      readItemList(data, *box, state);
    }
  }
}

void applyScannedText(const std::string& parent, const std::string& text, VideoMeta& video) {
  if (parent == kMakeItem) {
    if (video.make.empty()) video.make = text;
  } else if (parent == kModelItem) {
    if (video.model.empty()) video.model = text;
  } else if (parent == kSoftwareItem) {
    if (video.software.empty()) video.software = text;
  } else if (parent == kDayItem) {
    if (video.creation.empty()) video.creation = "String:" + text;
  } else if (text == "Apple" && video.make.empty()) {
    video.make = "Apple";
  } else if (text.starts_with("iPhone") && video.model.empty()) {
    video.model = text;
  }
}

// Text "data" boxes anywhere in the first MiB, for items the walk could not reach.
void scanDataBoxes(ByteView data, VideoMeta& video) {
  const int64_t length = sizeOf(data);
  const int64_t limit = std::min(length - 30, kScanLimit);
  for (int64_t i = base::findByte(data, 4, 'd'); i >= 0 && i < limit;
       i = base::findByte(data, i + 1, 'd')) {
    if (textAt(data, i, 4) != "data") continue;
    if (i + 16 >= limit || (readU32be(data, i + 4) & 0xFFFFFF) != 1) continue;
    const uint32_t boxSize = readU32be(data, i - 4);
    if (boxSize < 17 || boxSize > 143 || i + (boxSize - 16) + 12 >= length) continue;
    const std::string text = textAt(data, i + 12, boxSize - 16);
    const std::string parent = i >= 8 ? textAt(data, i - 8, 4) : std::string();
    applyScannedText(parent, text, video);
  }
}

}  // namespace

std::string readStringData(ByteView data, int64_t start, int64_t end) {
  container::BoxWalk walk(data, start, end, kMovieBoxes);
  while (const auto box = walk.next()) {
    if (!(box->type == "data") || box->end() - box->start < 16) continue;
    if ((readU32be(data, box->start + 8) & 0xFFFFFF) != 1) continue;  // 1: UTF-8
    return textAt(data, box->start + 16, box->end() - box->start - 16);
  }
  return {};
}

VideoMeta parseIsobmff(ByteView moovPayload) {
  MovieState state;
  recurse(moovPayload, 0, sizeOf(moovPayload), 0, state);
  VideoMeta& video = state.video;
  if ((video.make.empty() || video.model.empty() || video.software.empty()) &&
      sizeOf(moovPayload) > 30) {
    scanDataBoxes(moovPayload, video);
  }
  fillFromUserText(state.userText, video);
  return video;
}

}  // namespace orvel::metadata::movie
