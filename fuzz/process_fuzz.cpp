// Resize, rotate, orient, crop and composite small images of every layout with sizes,
// positions and parameters taken from the input, each compared with the literal
// transcriptions kept in the tests: any difference, or a failure other than the operations'
// own refusals, stops the run.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "image/error.h"
#include "process/composite.h"
#include "process/geometry.h"
#include "process/reference.h"
#include "process/resize.h"

namespace {

using orvel::image::Image;
namespace image = orvel::image;
namespace process = orvel::process;
namespace reference = orvel::testing;

// The input's bytes one by one, then zeros.
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t next() { return at < size ? data[at++] : 0; }
  int64_t length(int64_t most) { return 1 + next() % most; }
  int64_t signedOffset() { return static_cast<int64_t>(next()) - 128; }
};

Image imageFrom(Reader& in, uint8_t layout, int64_t width, int64_t height) {
  Image out = image::newImage(width, height, layout);
  for (size_t i = 0; i < out.pixels.size(); ++i)
    out.pixels[i] = static_cast<uint8_t>(in.next() ^ (i * 29));
  return out;
}

void require(bool same) {
  if (!same) __builtin_trap();
}

void resizeCase(Reader& in, const Image& source) {
  const int filter = in.next() % 4;                                         // 3 is refused
  const int64_t width = in.next() % 2 ? in.length(300) : in.length(8) - 1;  // sometimes 0
  const int64_t height = in.length(200);
  try {
    const Image got = process::resize(source, width, height, process::filterFromCint(filter));
    require(got.pixels == reference::referenceResize(source, width, height, filter).pixels);
  } catch (const image::OrvelException&) {
    require(filter == 3 || width < 1);
  }
}

void geometryCase(Reader& in, const Image& source) {
  const int op = in.next() % 5;
  require(process::rotate(source, static_cast<process::RotateOp>(op)).pixels ==
          reference::referenceRotate(source, op).pixels);
  const int orientation = 1 + in.next() % 8;
  require(process::applyExifOrientation(source, orientation).pixels ==
          reference::referenceOrientation(source, orientation).pixels);
  const int64_t x = in.signedOffset() % 40, y = in.signedOffset() % 40;
  const int64_t w = in.signedOffset() % 40, h = in.signedOffset() % 40;
  try {
    const Image cut = process::crop(source, x, y, w, h);
    for (int64_t row = 0; row < h; ++row) {
      for (int64_t i = 0; i < w * source.channels; ++i) {
        require(cut.pixels[row * cut.stride() + i] ==
                source.pixels[(y + row) * source.stride() + x * source.channels + i]);
      }
    }
  } catch (const image::OrvelException&) {
    require(x < 0 || y < 0 || w < 1 || h < 1 || x + w > source.width || y + h > source.height);
  }
}

void compositeCase(Reader& in, const Image& source) {
  Image destination = imageFrom(in, image::csRgba, in.length(60), in.length(60));
  const bool self = in.next() % 8 == 0;
  const int64_t x = in.signedOffset() % 70, y = in.signedOffset() % 70;
  const uint8_t opacity = in.next();
  Image expected = destination;
  try {
    reference::referenceComposite(expected, self ? destination : source, x, y, opacity);
    process::compositeOver(destination, self ? destination : source, x, y, opacity);
    require(destination.pixels == expected.pixels);
  } catch (const image::OrvelException&) {
    require(!self && source.colorspace > image::csRgba);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const auto layout = static_cast<uint8_t>(in.next() % 6);
  const int64_t width = in.length(64), height = in.length(64);
  const Image source = imageFrom(in, layout, width, height);
  switch (in.next() % 3) {
    case 0:
      resizeCase(in, source);
      break;
    case 1:
      geometryCase(in, source);
      break;
    default:
      compositeCase(in, source);
      break;
  }
  return 0;
}
