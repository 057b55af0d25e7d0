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

void checkTrailer(std::span<const uint8_t> input, int64_t consumed,
                  std::span<const uint8_t> output) {
  const auto trailer = static_cast<size_t>(consumed);
  if (input.size() - trailer < 4) throw ZepraException(zekTruncated, "zlib: trailer truncated");
  if (base::readU32be(input, consumed) != checksum::adler32(output)) {
    throw ZepraException(zekCorrupt, "zlib: Adler-32 mismatch");
  }
}

}  // namespace

std::vector<uint8_t> zlibInflate(std::span<const uint8_t> input, int64_t outputCap) {
  checkHeader(input);
  InflateResult result = inflateWithConsumed(input, 2, outputCap, kUnlimitedBudget);
  checkTrailer(input, result.consumed, result.output);
  return std::move(result.output);
}

int64_t zlibInflateInto(std::span<const uint8_t> input, std::span<uint8_t> out) {
  checkHeader(input);
  const InflateIntoResult result = inflateIntoWithConsumed(input, 2, out, kUnlimitedBudget);
  checkTrailer(input, result.consumed, out.first(static_cast<size_t>(result.produced)));
  return result.produced;
}

std::vector<uint8_t> zlibInflateOrEmpty(std::span<const uint8_t> input, int64_t outputCap) {
  try {
    return zlibInflate(input, outputCap);
  } catch (const ZepraException&) {
    return {};
  }
}

size_t zlibDeflateBound(size_t size) { return compressBound(size) + 6; }

size_t zlibDeflateInto(std::span<const uint8_t> input, uint8_t* out) {
  out[0] = 0x78;  // method 8, 32 KiB window
  out[1] = 0x01;  // no dictionary, lowest level; 0x7801 is a multiple of 31
  const size_t blockSize = compressInto(input, out + 2);
  base::putU32({out + 2 + blockSize, 4}, 0, checksum::adler32(input), true);
  return blockSize + 6;
}

std::vector<uint8_t> zlibDeflate(std::span<const uint8_t> input) {
  std::vector<uint8_t> out(zlibDeflateBound(input.size()));
  out.resize(zlibDeflateInto(input, out.data()));
  return out;
}

}  // namespace orvel::deflate
