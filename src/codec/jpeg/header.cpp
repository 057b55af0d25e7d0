#include "codec/jpeg/header.h"

#include <algorithm>
#include <numeric>

#include "codec/jpeg/errors.h"
#include "container/jpeg.h"

namespace orvel::codec::jpeg {
namespace {

using base::ByteView;
using base::readU16be;

constexpr uint8_t kSof0 = 0xC0;
constexpr uint8_t kSof2 = 0xC2;
constexpr uint8_t kSof9 = 0xC9;
constexpr uint8_t kSof10 = 0xCA;
constexpr uint8_t kDht = 0xC4;
constexpr uint8_t kDqt = 0xDB;
constexpr uint8_t kDri = 0xDD;

void readFrame(ByteView p, Frame& frame) {
  if (p.size() < 8) failTruncated("jpeg: SOF0 truncated");
  if (p[0] != 8) failUnsupported("jpeg: non-8-bit precision");
  const std::size_t count = p[5];
  if (count != 1 && count != 3) failUnsupported("jpeg: unsupported component count");
  if (p.size() < 6 + 3 * count) failTruncated("jpeg: SOF0 components truncated");
  Frame read;
  read.present = true;
  read.height = readU16be(p, 1);
  read.width = readU16be(p, 3);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* c = &p[6 + 3 * i];
    FrameComponent component;
    component.id = c[0];
    component.h = c[1] >> 4;
    component.v = c[1] & 15;
    if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4) {
      failInvalid("jpeg: bad sampling factor");
    }
    component.quant = c[2];
    if (component.quant >= 4) failInvalid("jpeg: bad quant table ref");
    read.hmax = std::max(read.hmax, component.h);
    read.vmax = std::max(read.vmax, component.v);
    read.components.push_back(component);
  }
  if (read.width == 0 || read.height == 0) failInvalid("jpeg: bad dimensions");
  frame = std::move(read);
}

void readHuffmanTables(ByteView p, JpegHeader& header) {
  std::size_t at = 0;
  while (at < p.size()) {
    if (p.size() - at < 17) failTruncated("jpeg: DHT truncated");
    const int id = p[at] & 15;
    if (id >= 4) failInvalid("jpeg: bad Huffman table id");
    HuffmanSpec spec;
    spec.defined = true;
    std::copy_n(&p[at + 1], 16, spec.counts.begin());
    const std::size_t total =
        std::accumulate(spec.counts.begin(), spec.counts.end(), std::size_t{0});
    if (p.size() - at - 17 < total) failTruncated("jpeg: Huffman symbols truncated");
    spec.symbols.assign(&p[at + 17], &p[at + 17] + total);
    (p[at] >> 4 == 0 ? header.dc : header.ac)[id] = std::move(spec);
    at += 17 + total;
  }
}

void readQuantTables(ByteView p, JpegHeader& header) {
  std::size_t at = 0;
  while (at < p.size()) {
    const int id = p[at] & 15;
    if (id >= 4) failInvalid("jpeg: bad quant table id");
    const bool wide = (p[at] >> 4) != 0;
    if (p.size() - at - 1 < (wide ? 128u : 64u)) failTruncated("jpeg: quant values truncated");
    for (std::size_t k = 0; k < 64; ++k) {
      header.quant[id][k] =
          wide ? readU16be(p, static_cast<int64_t>(at + 1 + 2 * k)) : p[at + 1 + k];
    }
    at += 1 + (wide ? 128 : 64);
  }
}

void readScanHeader(ByteView p, JpegHeader& header) {
  Frame& frame = header.frame;
  if (!frame.present) failInvalid("jpeg: SOS before SOF0");
  if (p.size() < 6) failTruncated("jpeg: SOS truncated");
  const std::size_t count = p[0];
  if (count != frame.components.size()) failInvalid("jpeg: SOS component mismatch");
  if (p.size() < 1 + 2 * count) failTruncated("jpeg: SOS selectors truncated");
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t id = p[1 + 2 * i];
    const auto component = std::find_if(frame.components.begin(), frame.components.end(),
                                        [id](const FrameComponent& c) { return c.id == id; });
    if (component == frame.components.end()) failInvalid("jpeg: SOS unknown component");
    const int dc = p[2 + 2 * i] >> 4;
    const int ac = p[2 + 2 * i] & 15;
    if (dc >= 4 || ac >= 4) failInvalid("jpeg: bad Huffman table ref");
    if (!header.dc[dc].defined || !header.ac[ac].defined) {
      failInvalid("jpeg: scan references an undefined Huffman table");
    }
    component->dcTable = dc;
    component->acTable = ac;
  }
  if (frame.width == 0 || frame.height == 0) failInvalid("jpeg: no frame (SOF0)");
}

// Why the walk stopped before a scan header, as the decoder reports it.
[[noreturn]] void failWalkEnd(container::JpegWalkEnd end) {
  switch (end) {
    case container::JpegWalkEnd::badMarker:
      failInvalid("jpeg: expected marker");
    case container::JpegWalkEnd::lengthTruncated:
      failTruncated("jpeg: marker length truncated");
    case container::JpegWalkEnd::badLength:
      failTruncated("jpeg: segment truncated");
    default:
      failInvalid("jpeg: no scan (SOS)");
  }
}

}  // namespace

JpegHeader readJpegHeader(ByteView bytes) {
  if (bytes.size() < 2) failTruncated("jpeg: header truncated");
  if (!container::isJpeg(bytes)) failUnsupported("jpeg: bad SOI");
  JpegHeader header;
  container::JpegSegmentWalk walk(bytes, 2, container::JpegWalkRules::decoder);
  while (const auto segment = walk.next()) {
    if (!segment->fits(bytes)) failTruncated("jpeg: segment truncated");
    const ByteView payload = bytes.subspan(static_cast<std::size_t>(segment->payload()),
                                           static_cast<std::size_t>(segment->length - 2));
    switch (segment->marker) {
      case kSof0:
        readFrame(payload, header.frame);
        break;
      case kSof2:
        failUnsupported("jpeg: progressive unsupported");
      case kSof9:
      case kSof10:
        failUnsupported("jpeg: arithmetic/12-bit unsupported");
      case kDht:
        readHuffmanTables(payload, header);
        break;
      case kDqt:
        readQuantTables(payload, header);
        break;
      case kDri:
        if (payload.size() < 2) failTruncated("jpeg: DRI truncated");
        header.restartInterval = readU16be(payload, 0);
        break;
      case container::kStartOfScan:
        readScanHeader(payload, header);
        header.scanData = segment->end();
        return header;
      default:
        break;  // APPn, COM, DNL and every other segment
    }
  }
  failWalkEnd(walk.ended());
}

}  // namespace orvel::codec::jpeg
