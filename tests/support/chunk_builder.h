// Builders of synthetic PNG and WebP files made of chosen chunks, and of stored-block zlib
// streams for compressed PNG text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "support/builders.h"

namespace orvel::testing {

// A PNG chunk with its CRC, and a file made of the signature and the given chunks.
Bytes pngChunk(std::string_view type, const Bytes& data);
Bytes pngFile(std::initializer_list<Bytes> chunks);
Bytes pngIhdr(uint32_t width = 1, uint32_t height = 1);
Bytes pngIdat();
Bytes pngIend();
// Chunk data of the three text chunk kinds.
Bytes textData(std::string_view keyword, std::string_view text);
Bytes ztxtData(std::string_view keyword, const Bytes& zlibStream);
Bytes itxtData(std::string_view keyword, bool compressed, std::string_view language,
               std::string_view translated, const Bytes& text);

// A zlib stream holding the bytes in stored (uncompressed) blocks.
Bytes zlibStored(const Bytes& data);

// A RIFF chunk (odd sizes padded with `pad`), and a WebP file with a correct RIFF size.
Bytes riffChunk(std::string_view fourcc, const Bytes& data, uint8_t pad = 0);
Bytes webpFile(std::initializer_list<Bytes> chunks);
Bytes vp8xChunk(uint8_t flags, uint32_t width = 1, uint32_t height = 1);
Bytes vp8lChunk();

}  // namespace orvel::testing
