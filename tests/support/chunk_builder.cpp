#include "support/chunk_builder.h"

#include <array>

namespace orvel::testing {
namespace {

// Table-driven CRC-32, independent of the library's bit-by-bit one.
uint32_t tableCrc(const Bytes& bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void appendText(Bytes& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<uint8_t>(c));
}

}  // namespace

Bytes pngChunk(std::string_view type, const Bytes& data) {
  Bytes typed;
  appendText(typed, type);
  typed.insert(typed.end(), data.begin(), data.end());
  Bytes out;
  appendBE32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), typed.begin(), typed.end());
  appendBE32(out, tableCrc(typed));
  return out;
}

Bytes pngFile(std::initializer_list<Bytes> chunks) {
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const Bytes& chunk : chunks) out.insert(out.end(), chunk.begin(), chunk.end());
  return out;
}

Bytes pngIhdr(uint32_t width, uint32_t height) {
  Bytes data;
  appendBE32(data, width);
  appendBE32(data, height);
  for (uint8_t b : {8, 2, 0, 0, 0}) data.push_back(b);  // 8-bit RGB
  return pngChunk("IHDR", data);
}

Bytes pngIdat() {
  Bytes row = {0, 0xFF, 0, 0};  // filter byte and one red pixel
  return pngChunk("IDAT", zlibStored(row));
}

Bytes pngIend() { return pngChunk("IEND", {}); }

Bytes textData(std::string_view keyword, std::string_view text) {
  Bytes out;
  appendText(out, keyword);
  out.push_back(0);
  appendText(out, text);
  return out;
}

Bytes ztxtData(std::string_view keyword, const Bytes& zlibStream) {
  Bytes out;
  appendText(out, keyword);
  out.push_back(0);
  out.push_back(0);  // compression method
  out.insert(out.end(), zlibStream.begin(), zlibStream.end());
  return out;
}

Bytes itxtData(std::string_view keyword, bool compressed, std::string_view language,
               std::string_view translated, const Bytes& text) {
  Bytes out;
  appendText(out, keyword);
  out.push_back(0);
  out.push_back(compressed ? 1 : 0);
  out.push_back(0);
  appendText(out, language);
  out.push_back(0);
  appendText(out, translated);
  out.push_back(0);
  out.insert(out.end(), text.begin(), text.end());
  return out;
}

Bytes zlibStored(const Bytes& data) {
  Bytes out = {0x78, 0x01};
  size_t position = 0;
  do {
    const size_t length = std::min<size_t>(data.size() - position, 65535);
    const bool last = position + length == data.size();
    out.push_back(last ? 1 : 0);
    appendLE16(out, static_cast<uint16_t>(length));
    appendLE16(out, static_cast<uint16_t>(~length));
    out.insert(out.end(), data.begin() + static_cast<long>(position),
               data.begin() + static_cast<long>(position + length));
    position += length;
  } while (position < data.size());
  uint32_t a = 1;
  uint32_t b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  appendBE32(out, b << 16 | a);
  return out;
}

Bytes riffChunk(std::string_view fourcc, const Bytes& data, uint8_t pad) {
  Bytes out;
  appendText(out, fourcc);
  appendLE32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2 == 1) out.push_back(pad);
  return out;
}

Bytes webpFile(std::initializer_list<Bytes> chunks) {
  Bytes body;
  for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
  Bytes out;
  appendText(out, "RIFF");
  appendLE32(out, static_cast<uint32_t>(body.size() + 4));
  appendText(out, "WEBP");
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes vp8xChunk(uint8_t flags, uint32_t width, uint32_t height) {
  Bytes data = {flags, 0, 0, 0};
  for (uint32_t value : {width - 1, height - 1}) {
    data.push_back(static_cast<uint8_t>(value));
    data.push_back(static_cast<uint8_t>(value >> 8));
    data.push_back(static_cast<uint8_t>(value >> 16));
  }
  return riffChunk("VP8X", data);
}

Bytes vp8lChunk() {
  // A 1x1 lossless bitstream header followed by a few bytes: enough for a chunk walk.
  return riffChunk("VP8L", Bytes{0x2F, 0x00, 0x00, 0x00, 0x00, 0x07, 0x10, 0x11, 0x11});
}

}  // namespace orvel::testing
