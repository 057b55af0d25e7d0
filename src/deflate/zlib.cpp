#include "deflate/zlib.h"

#include <limits>

#include "base/bytes.h"
#include "checksum/adler32.h"
#include "deflate/deflate.h"

namespace orvel::deflate {
namespace {

constexpr int64_t kUnlimitedBudget = std::numeric_limits<int64_t>::max();

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
  if (base::readU32be(input, static_cast<int64_t>(trailer)) != checksum::adler32(result.output)) {
    throw ZepraException(zekCorrupt, "zlib: Adler-32 mismatch");
  }
  return std::move(result.output);
}

std::vector<uint8_t> zlibInflateOrEmpty(std::span<const uint8_t> input, int64_t outputCap) {
  try {
    return zlibInflate(input, outputCap);
  } catch (const ZepraException&) {
    return {};
  }
}

std::vector<uint8_t> zlibDeflate(std::span<const uint8_t> input) {
  std::vector<uint8_t> raw = compress(input);
  std::vector<uint8_t> out;
  out.reserve(raw.size() + 6);
  out.push_back(0x78);  // method 8, 32 KiB window
  out.push_back(0x01);  // no dictionary, lowest level; 0x7801 is a multiple of 31
  out.insert(out.end(), raw.begin(), raw.end());
  base::appendU32(out, checksum::adler32(input), true);
  return out;
}

}  // namespace orvel::deflate
