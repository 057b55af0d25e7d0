// One decoded directory turned into named, rendered tags of the metadata record.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "container/tiff.h"
#include "metadata/record.h"

namespace orvel::metadata::exif {

using base::ByteView;

// How a directory's tags meet those already in the record. IFD0 and the directories it points
// at (Exif, GPS, Interop) describe the image: their names replace earlier values and they set
// the camera, software, orientation and GPS fields. Later directories of the chain (IFD1, the
// thumbnail's) and SubIFDs only add names not yet present and leave those fields alone.
enum class Precedence : uint8_t { sets, addsOnly };

// Adds the entries of an IFD0/Exif/IFD1/SubIFD directory: names, rendered values, the Interop
// directory, the maker note, and the camera, software and orientation fields. data is the
// whole byte sequence holding the TIFF block, base the absolute position of its header.
void addIfdTags(Metadata& meta, const container::Ifd& ifd, ByteView data, int64_t base,
                Precedence precedence = Precedence::sets);

// Adds the entries of the GPS directory and sets the (unsigned) position fields; the signs
// are applied once every directory is read.
void addGpsTags(Metadata& meta, const container::Ifd& gps,
                Precedence precedence = Precedence::sets);

// "Unknown:0x0201", "GPS:Unknown:0x0020": names of tags the tables do not know.
std::string unknownTagName(std::string_view prefix, uint16_t tag);

}  // namespace orvel::metadata::exif
