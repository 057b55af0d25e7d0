// Listing every tag of a JPEG held in memory, as text, through us and through the peers. Each
// lister sums name and text lengths so that no rendering can be skipped, and counts the fields
// it found so that a fast reader that found nothing shows up.
#pragma once

#include <cstring>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop
#include <libexif/exif-data.h>

#include "orvel.h"

namespace orvel::bench {

struct Listing {
  std::size_t characters = 0;
  std::size_t fields = 0;
};

inline Listing listOrvel(const std::vector<uint8_t>& bytes) {
  Listing out;
  ov_meta* handle = nullptr;
  if (ov_exif_read_buffer(bytes.data(), static_cast<int64_t>(bytes.size()), &handle) != 0) return out;
  const int64_t count = ov_exif_tag_count(handle);
  for (int64_t i = 0; i < count; ++i) {
    const char* name = nullptr;
    const char* value = nullptr;
    ov_exif_tag_at(handle, i, &name, &value);
    out.characters += std::strlen(name) + std::strlen(value);
    ++out.fields;
  }
  ov_exif_meta_free(handle);
  return out;
}

inline Listing listLibexif(const std::vector<uint8_t>& bytes) {
  Listing out;
  ExifData* data = exif_data_new_from_data(bytes.data(), static_cast<unsigned>(bytes.size()));
  char text[1024];
  for (int ifd = 0; ifd < EXIF_IFD_COUNT; ++ifd) {
    ExifContent* content = data->ifd[ifd];
    for (unsigned i = 0; i < content->count; ++i) {
      out.characters += std::strlen(exif_entry_get_value(content->entries[i], text, sizeof text));
      ++out.fields;
    }
  }
  if (ExifMnoteData* note = exif_data_get_mnote_data(data)) {
    const unsigned count = exif_mnote_data_count(note);
    for (unsigned i = 0; i < count; ++i) {
      const char* name = exif_mnote_data_get_name(note, i);
      const char* value = exif_mnote_data_get_value(note, i, text, sizeof text);
      out.characters += (name ? std::strlen(name) : 0) + (value ? std::strlen(value) : 0);
      ++out.fields;
    }
  }
  exif_data_unref(data);
  return out;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
inline Listing listExiv2(const std::vector<uint8_t>& bytes) {
  Listing out;
  Exiv2::Image::AutoPtr image =
      Exiv2::ImageFactory::open(bytes.data(), static_cast<long>(bytes.size()));
  image->readMetadata();
  const Exiv2::ExifData& exif = image->exifData();
  for (const Exiv2::Exifdatum& datum : exif) {
    out.characters += datum.key().size() + datum.print(&exif).size();
    ++out.fields;
  }
  return out;
}
#pragma GCC diagnostic pop

using Lister = Listing (*)(const std::vector<uint8_t>&);

}  // namespace orvel::bench
