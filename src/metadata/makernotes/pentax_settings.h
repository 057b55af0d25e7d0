// The two binary blocks of a Pentax note: camera settings (tag 0x0205) and AE information
// (tag 0x0206), decoded byte by byte into "Pentax:" tags.
#pragma once

#include "base/bytes.h"
#include "metadata/tag_map.h"

namespace orvel::metadata::makernotes {

using base::ByteView;

// Nothing for fewer than 11 bytes. extended adds the K10D-generation fields from byte 13 on.
void addPentaxCameraSettings(TagMap& out, ByteView raw, bool extended);

// Nothing for fewer than 5 bytes; the fields from byte 5 on need 13 bytes.
void addPentaxAEInfo(TagMap& out, ByteView raw);

}  // namespace orvel::metadata::makernotes
