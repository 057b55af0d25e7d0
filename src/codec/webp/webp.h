// WebP: still, lossless images (a VP8L bitstream) in the simple layout or the extended one
// (VP8X, with an optional ALPH plane). Lossy and animated files are refused; metadata chunks
// are skipped.
#pragma once

#include "base/bytes.h"
#include "image/image.h"

namespace orvel::codec::webp {

// csRgba when the bitstream's alpha hint is set or an ALPH plane applies, else csRgb. Raises
// image::OrvelException.
image::Image decodeWebp(base::ByteView bytes);

// One VP8L chunk's payload, header included.
image::Image decodeVp8lStream(base::ByteView payload);

}  // namespace orvel::codec::webp
