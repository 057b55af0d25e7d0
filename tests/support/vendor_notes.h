// A realistic maker note of each vendor, in either byte order, ready for jpegWithMakerNote.
#pragma once

#include <functional>
#include <vector>

#include "support/makernote_builder.h"

namespace orvel::testing {

struct VendorNoteCase {
  const char* name;
  const char* make;
  const char* model;
  bool bigEndian;
  std::function<Bytes(uint32_t)> note;
  bool movesWithBlock;  // addressed from the TIFF header
};

// Every vendor in both block byte orders.
std::vector<VendorNoteCase> vendorNoteCases();

}  // namespace orvel::testing
