// Placeholder bodies until the Pentax, Olympus, Casio, Minolta and Sigma decoders land; each
// function is removed from here as its real parser is written.
#include "exif/makernotes/makernotes.h"

namespace orvel::exif {

TagMap parsePentaxMakerNote(std::string_view, ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parseOlympusMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parseCasioMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parseMinoltaMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }
TagMap parseSigmaMakerNote(ByteView, int64_t, int64_t, bool) { return {}; }

}  // namespace orvel::exif
