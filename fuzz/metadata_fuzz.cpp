// Arbitrary bytes through the whole reading pipeline, the JSON export and the query functions.
// Beyond the sanitizers, checks what must hold for any input: the JSON text has no raw
// control byte besides its own line feeds, and the handle lists exactly the record's tags,
// each found again by its name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/pipeline/json.h"
#include "metadata/pipeline/read.h"
#include "orvel.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void checkJsonText(const std::string& json) {
  check(json.size() >= 2 && json.front() == '{' && json.back() == '}');
  for (char c : json) check(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
}

void checkHandle(const uint8_t* data, size_t size, const orvel::metadata::Metadata& meta) {
  ov_meta* handle = nullptr;
  check(ov_exif_read_buffer(data, static_cast<int64_t>(size), &handle) == OV_EXIF_OK);
  const int64_t count = ov_exif_tag_count(handle);
  check(count == static_cast<int64_t>(meta.tags.size()));
  std::string previous;
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    check(ov_exif_tag_at(handle, i, &name, &value) == OV_EXIF_OK);
    check(i == 0 || previous < name);  // strictly ascending: sorted, no repeats
    previous = name;
    check(ov_exif_get_tag(handle, name) == value);  // the index finds the same entry
  }
  const char* json = ov_exif_to_json(handle);
  check(json != nullptr && json == ov_exif_to_json(handle));
  checkJsonText(json);
  check(ov_exif_is_valid(handle) == meta.isValid);
  ov_exif_meta_free(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  orvel::metadata::Metadata meta =
      orvel::metadata::pipeline::readMetadataFromBytes(orvel::base::ByteView(data, size));
  checkJsonText(orvel::metadata::pipeline::metaToJson(meta));
  checkHandle(data, size, meta);
  return 0;
}
