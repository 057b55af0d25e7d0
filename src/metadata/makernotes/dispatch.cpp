#include <string>

#include "base/file.h"
#include "base/text.h"
#include "metadata/makernotes/makernotes.h"

namespace orvel::metadata::makernotes {

TagMap parseMakerNote(std::string_view make, std::string_view model, ByteView tiff,
                      int64_t noteOffset, int64_t base, bool bigEndian) {
  if (make.empty()) return {};
  // The longest vendor header (Nikon's, with its TIFF header) ends 18 bytes in.
  orvel::base::demand(tiff, noteOffset, 18);
  const std::string lower = base::asciiLower(make);
  auto has = [&](std::string_view word) { return lower.find(word) != std::string::npos; };
  if (has("canon")) return parseCanonMakerNote(tiff, noteOffset, base, bigEndian);
  if (has("nikon")) return parseNikonMakerNote(tiff, noteOffset, base, bigEndian);
  if (has("panasonic")) return parsePanasonicMakerNote(tiff, noteOffset, base, bigEndian);
  if (has("fuji")) return parseFujiMakerNote(tiff, noteOffset);
  if (has("pentax")) return parsePentaxMakerNote(model, tiff, noteOffset, base, bigEndian);
  if (has("olympus")) return parseOlympusMakerNote(tiff, noteOffset, base, bigEndian);
  if (has("casio")) return parseCasioMakerNote(tiff, noteOffset, base, bigEndian);
  if (has("minolta")) return parseMinoltaMakerNote(tiff, noteOffset, base, bigEndian);
  if (has("sigma")) return parseSigmaMakerNote(tiff, noteOffset, base, bigEndian);
  return {};
}

}  // namespace orvel::metadata::makernotes
