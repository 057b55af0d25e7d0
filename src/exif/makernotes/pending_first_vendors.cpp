// Placeholder bodies until the Apple, Canon, Nikon, Panasonic and Fujifilm decoders land;
// each function is removed from here as its real parser is written.
#include "exif/makernotes/makernotes.h"

namespace orvel::exif {

bool isAppleMakerNote(ByteView) { return false; }
TagMap parseAppleMakerNote(ByteView) { return {}; }
TagMap parseCanonMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parseNikonMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parsePanasonicMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parseFujiMakerNote(ByteView, int64_t) { return {}; }

}  // namespace orvel::exif
