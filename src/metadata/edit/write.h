// Putting a serialised EXIF block back into its container, stripping metadata from images, and
// doing either to files on disk (through replaceFile).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "metadata/edit/edit.h"
#include "metadata/edit/rewrite.h"

namespace orvel::metadata::edit {

using base::ByteView;

// An APP1 segment's 16-bit length counts 2 + 6 + block bytes.
inline constexpr int64_t kLargestJpegBlock = 65527;
// Directories examined in a TIFF's chain; a longer chain is treated as carrying image data.
inline constexpr int kLongestDirectoryChain = 16;

// The source with its EXIF replaced by the record's; nothing when this input cannot be written
// (unknown container, a TIFF with image data, a block too large for JPEG, bad structure, a
// chunk or box cut short). A JPEG's image data is a range of the source, not a copy.
std::optional<Rewrite> writeExifPieces(ByteView source, const ExifEdit& edit);
// The same laid out in one buffer; empty when nothing can be written.
std::vector<uint8_t> writeExifBytes(ByteView source, const ExifEdit& edit);

// The JPEG with its EXIF segments replaced by one holding the block (in place of the first,
// else just before the scan); empty for a malformed segment structure.
std::vector<uint8_t> embedExifInJpeg(ByteView jpeg, ByteView block);

// True when a TIFF's directory chain holds strips, tiles or SubIFDs, or runs longer than 16
// directories: rewriting it as a bare block would lose image data.
bool carriesImageStrips(ByteView tiff);

// Rewrites the destination (the source when empty) as the source's current bytes with the
// record's EXIF. False when the source cannot be read or written, or the file not replaced.
bool writeExif(const std::string& source, const ExifEdit& edit, const std::string& destination);

// The image without EXIF, XMP, IPTC and comments, and a JPEG also without its Multi-Picture
// index and whatever follows the end of its image; nothing when it cannot be stripped.
std::optional<Rewrite> stripMetadataPieces(ByteView data);
// The same laid out in one buffer; empty when it cannot be stripped.
std::vector<uint8_t> stripMetadataBytes(ByteView data);

// Writes the stripped source to the destination (used as given).
bool stripMetadata(const std::string& source, const std::string& destination);

}  // namespace orvel::metadata::edit
