// Opening the EXIF block of a file or buffer into an editable record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "container/tiff.h"
#include "metadata/edit/edit.h"

namespace orvel::metadata::edit {

using base::ByteView;

inline constexpr int64_t kEditReadPrefix = int64_t{1} << 24;  // 16 MiB

// The tags of IFD0 and of the Exif and GPS directories of the EXIF block inside a JPEG, TIFF,
// PNG, WebP or ISOBMFF byte sequence. Input without a block gives an empty record. Offset-valued
// tags whose targets are not carried (Interop, SubIFDs, strips, tiles, the thumbnail) are left
// out, and so are entries whose value bytes lie outside the data.
ExifEdit parseExifBytes(ByteView data);

// parseExifBytes over the file's first 16 MiB; for an ISOBMFF file whose Exif item lies
// further on, over that item read from the file.
ExifEdit parseExif(const std::string& path);

// One directory entry as a typed value.
ExifValue decodeTag(const container::TiffTag& entry);

}  // namespace orvel::metadata::edit
