#include "zepra/formats/zlib.h"

#include <limits>

#include "cheko/adler32.h"
#include "zepra/deflate.h"

namespace zepra {
namespace {

constexpr int64_t kUnlimitedBudget = std::numeric_limits<int64_t>::max();

uint32_t readBigEndian32(std::span<const uint8_t> bytes, size_t position) {
  return uint32_t{bytes[position]} << 24 | uint32_t{bytes[position + 1]} << 16 |
         uint32_t{bytes[position + 2]} << 8 | uint32_t{bytes[position + 3]};
}

void checkHeader(std::span<const uint8_t> input) {
  if (input.size() < 2) throw ZepraException(zekTruncated, "zlib: header truncated");
  const uint8_t cmf = input[0];
  const uint8_t flg = input[1];
  if ((cmf & 0x0F) != 8) throw ZepraException(zekUnsupported, "zlib: not a DEFLATE stream");
  if ((cmf >> 4) > 7) throw ZepraException(zekCorrupt, "zlib: CINFO exceeds 7 (window > 32 KiB)");
  if ((cmf * 256 + flg) % 31 != 0) throw ZepraException(zekCorrupt, "zlib: bad header check");
  if (flg & 0x20)
    throw ZepraException(zekUnsupported, "zlib: preset dictionary (FDICT) unsupported");
}

}  // namespace

std::vector<uint8_t> zlibInflate(std::span<const uint8_t> input, int64_t outputCap) {
  checkHeader(input);
  InflateResult result = inflateWithConsumed(input, 2, outputCap, kUnlimitedBudget);
  const auto trailer = static_cast<size_t>(result.consumed);
  if (input.size() - trailer < 4) throw ZepraException(zekTruncated, "zlib: trailer truncated");
  if (readBigEndian32(input, trailer) != cheko::adler32(result.output)) {
    throw ZepraException(zekCorrupt, "zlib: Adler-32 mismatch");
  }
  return std::move(result.output);
}

std::vector<uint8_t> zlibDeflate(std::span<const uint8_t> input) {
  std::vector<uint8_t> raw = compress(input);
  std::vector<uint8_t> out;
  out.reserve(raw.size() + 6);
  out.push_back(0x78);  // method 8, 32 KiB window
  out.push_back(0x01);  // no dictionary, lowest level; 0x7801 is a multiple of 31
  out.insert(out.end(), raw.begin(), raw.end());
  const uint32_t check = cheko::adler32(input);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(check >> shift));
  return out;
}

}  // namespace zepra
