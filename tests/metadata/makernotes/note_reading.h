// Reading synthetic maker notes back in the maker-note tests: a JPEG through the reading
// pipeline (which hands the note to the decoders from its directory walk), and small checks.
#pragma once

#include <string>

#include "metadata/makernotes/makernotes.h"
#include "metadata/pipeline/read.h"
#include "support/makernote_builder.h"

namespace orvel::testing {

// A whole JPEG read by the reading pipeline.
inline metadata::Metadata readJpeg(const Bytes& jpeg) {
  return metadata::pipeline::readMetadataFromBytes(jpeg);
}

// The value of a tag, or "<absent>" so that a missing tag fails an equality check readably.
inline std::string tagOr(const metadata::TagMap& tags, std::string_view name) {
  const std::string* value = tags.find(name);
  return value ? *value : "<absent>";
}

// The number of tags whose names start with a prefix such as "Canon:".
inline std::size_t countWithPrefix(const metadata::TagMap& tags, std::string_view prefix) {
  std::size_t count = 0;
  for (const auto& [name, value] : tags) count += name.starts_with(prefix) ? 1 : 0;
  return count;
}

}  // namespace orvel::testing
