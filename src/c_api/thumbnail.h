// The thumbnail embedded in a file's EXIF block, decoded at its stored size.
#pragma once

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::capi {

// Finds the EXIF block's TIFF header and the JPEG thumbnail that its IFD1 names, and decodes
// it as a JPEG. Without an EXIF block or a thumbnail raises image::OrvelException of kind
// iekUnsupported; the decoder's failures keep their own kinds.
image::Image loadThumbnail(base::ByteView bytes);

}  // namespace orvel::capi
