// The marker segments of a JPEG file up to and including its first scan header: tables, frame,
// restart interval, and where the entropy-coded data begins.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/bytes.h"

namespace orvel::codec::jpeg {

// A Huffman table as defined by DHT: the code counts of lengths 1 to 16 and the symbols.
struct HuffmanSpec {
  bool defined = false;
  std::array<uint8_t, 16> counts{};
  std::vector<uint8_t> symbols;
};

struct FrameComponent {
  uint8_t id = 0;
  int h = 1;  // sampling factors, 1 to 4
  int v = 1;
  int quant = 0;    // quantisation table, 0 to 3
  int dcTable = 0;  // Huffman tables, from the scan header
  int acTable = 0;
};

struct Frame {
  bool present = false;
  int64_t width = 0;
  int64_t height = 0;
  std::vector<FrameComponent> components;  // 1 or 3
  int hmax = 1;
  int vmax = 1;
};

struct JpegHeader {
  std::array<std::array<uint16_t, 64>, 4> quant{};  // zigzag order, as stored
  std::array<HuffmanSpec, 4> dc;
  std::array<HuffmanSpec, 4> ac;
  Frame frame;
  int restartInterval = 0;  // MCUs; 0 for none
  int64_t scanData = 0;     // first byte after the scan header
};

// Reads the segments up to the first scan header, checking each as a baseline decoder must.
// Raises image::OrvelException with the decoder's messages.
JpegHeader readJpegHeader(base::ByteView bytes);

}  // namespace orvel::codec::jpeg
