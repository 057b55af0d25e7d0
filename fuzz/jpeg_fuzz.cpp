// Arbitrary bytes through the JPEG decoder and through the literal decoder kept in the tests:
// both refuse with the same failure or return the same pixels, with either kernel set.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/jpeg/jpeg.h"
#include "codec/jpeg/jpeg_reference.h"
#include "image/error.h"

namespace {

std::string outcome(const orvel::image::Image& image) {
  return "ok " + std::to_string(image.width) + "x" + std::to_string(image.height) + " " +
         std::string(image.pixels.data(), image.pixels.data() + image.pixels.size());
}

template <class Decode>
std::string attempt(Decode decode) {
  try {
    return outcome(decode());
  } catch (const orvel::image::OrvelException& e) {
    return "fail " + std::to_string(e.kind()) + " " + e.what();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::string expected;
  try {
    expected = attempt([&] { return orvel::testing::jpegref::decode(bytes, 1 << 20); });
  } catch (const orvel::testing::jpegref::TooLarge&) {
    return 0;  // the literal decoder's whole-frame planes would be too slow here
  }
  for (bool portable : {false, true}) {
    orvel::codec::jpeg::choosePortableJpeg(portable);
    if (attempt([&] { return orvel::codec::jpeg::decodeJpeg(bytes); }) != expected)
      __builtin_trap();
  }
  return 0;
}
