#include "boxo/isobmff.h"

namespace boxo {
namespace {

bool fits(Bytes data, int64_t position, int64_t size) noexcept {
  const auto length = static_cast<int64_t>(data.size());
  return position >= 0 && position <= length && size <= length - position;
}

}  // namespace

bool isIsobmff(Bytes data) noexcept {
  return data.size() >= 12 && data[4] == 'f' && data[5] == 't' && data[6] == 'y' && data[7] == 'p';
}

uint32_t beU32(Bytes data, int64_t position) noexcept {
  if (!fits(data, position, 4)) return 0;
  const auto at = static_cast<size_t>(position);
  return uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 |
         uint32_t{data[at + 3]};
}

std::optional<BoxHeader> readBoxHeader(Bytes data, int64_t position) {
  if (!fits(data, position, 8)) return std::nullopt;
  const auto at = static_cast<size_t>(position);
  BoxHeader header;
  header.start = position;
  header.size = beU32(data, position);
  const Bytes type = data.subspan(at + 4, 4);
  header.type.assign(type.begin(), type.end());
  if (header.size == 1 && fits(data, position, 16)) {
    header.size = uint64_t{beU32(data, position + 8)} << 32 | beU32(data, position + 12);
  }
  return header;
}

int64_t headerLength(Bytes data, int64_t position) noexcept {
  return beU32(data, position) == 1 ? 16 : 8;
}

}  // namespace boxo
