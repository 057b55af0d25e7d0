// Arbitrary bytes opened for editing, a few tags set, written to a buffer and read back. For
// any input: opening succeeds, a write either refuses (4) or gives bytes whose block opens
// again with the tags just set; the serialised block itself always parses back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/edit/edit.h"
#include "metadata/edit/load.h"
#include "metadata/edit/serialize.h"
#include "orvel.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void checkBlockReadsBack(const orvel::metadata::edit::ExifEdit& edit) {
  const std::vector<uint8_t> block = orvel::metadata::edit::serialize(edit);
  const orvel::metadata::edit::ExifEdit back = orvel::metadata::edit::parseExifBytes(block);
  check(back.ifd0.size() == edit.ifd0.size() || edit.ifd0.find(0x8769) || edit.ifd0.find(0x8825));
  const orvel::metadata::edit::ExifValue* artist = back.ifd0.find(0x013B);
  check(artist != nullptr && artist->text == "fuzz artist");
  check(back.gps.find(0x0002) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (ov_exif_init(), true);
  (void)started;
  if (size == 0) return 0;
  ov_edit* edit = nullptr;
  check(ov_exif_edit_open_buffer(data, static_cast<int64_t>(size), &edit) == OV_EXIF_OK);
  ov_exif_set_artist(edit, "fuzz artist");
  ov_exif_set_gps(edit, 12.5, -7.25, 3);
  ov_exif_edit_set_tag(edit, "ExposureTime", "1/250");
  ov_exif_edit_set_tag(edit, "UserComment", "hello");
  uint8_t* out = nullptr;
  int64_t length = 0;
  const ov_status status = ov_exif_edit_write_buffer(edit, &out, &length);
  ov_exif_edit_free(edit);
  check(status == OV_EXIF_OK || status == OV_EXIF_UNSUPPORTED);
  if (status == OV_EXIF_OK) {
    check(out != nullptr && length > 0);
    orvel::metadata::edit::ExifEdit back = orvel::metadata::edit::parseExifBytes(
        orvel::base::ByteView(out, static_cast<size_t>(length)));
    const orvel::metadata::edit::ExifValue* artist = back.ifd0.find(0x013B);
    check(artist != nullptr && artist->text == "fuzz artist");
    checkBlockReadsBack(back);
  }
  ov_exif_buffer_free(out);
  // The loader and serialiser on their own, whatever the container said.
  orvel::metadata::edit::ExifEdit loaded =
      orvel::metadata::edit::parseExifBytes(orvel::base::ByteView(data, size));
  orvel::metadata::edit::setArtist(loaded, "fuzz artist");
  orvel::metadata::edit::setGps(loaded, 1, 2, 3);
  try {
    checkBlockReadsBack(loaded);
  } catch (const std::exception&) {
    // Values outside their type's range (only possible for records not loaded) are refused.
  }
  return 0;
}
