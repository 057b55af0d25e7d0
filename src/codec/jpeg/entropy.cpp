#include "codec/jpeg/entropy.h"

#include "codec/jpeg/errors.h"
#include "container/jpeg.h"

namespace orvel::codec::jpeg {

EntropySegment readEntropySegment(base::ByteView bytes, int64_t start) {
  EntropySegment segment;
  const auto size = static_cast<int64_t>(bytes.size());
  const int64_t length = start < size ? size - start : 0;
  segment.bytes.resize(static_cast<std::size_t>(length + EntropySegment::kPadding));
  const uint8_t* in = bytes.data() + (length > 0 ? start : size);
  const uint8_t* const end = in + length;
  uint8_t* out = segment.bytes.data();
  while (in < end) {
    const auto* marker = static_cast<const uint8_t*>(std::memchr(in, 0xFF, end - in));
    const uint8_t* runEnd = marker == nullptr ? end : marker;
    std::memcpy(out, in, runEnd - in);
    out += runEnd - in;
    if (marker == nullptr || marker + 1 == end) break;  // a final lone 0xFF ends the data too
    const uint8_t code = marker[1];
    in = marker + 2;
    if (code == 0x00) {
      *out++ = 0xFF;
    } else if (code >= container::kRestart0 && code <= container::kRestart7) {
      segment.restarts.push_back(out - segment.bytes.data());
    } else if (code == container::kEndOfImage) {
      break;
    } else {
      failInvalid("jpeg: bad marker in entropy");
    }
  }
  segment.size = out - segment.bytes.data();
  return segment;
}

}  // namespace orvel::codec::jpeg
