#include "container/png.h"

#include <algorithm>
#include <stdexcept>

#include "base/file.h"
#include "base/text.h"
#include "checksum/crc32.h"
#include "deflate/zlib.h"

namespace orvel::container {
namespace {

constexpr std::string_view kSignature{"\x89PNG\r\n\x1A\n", 8};

// Position of the first NUL in [from, to), if any.
std::optional<int64_t> nulIn(ByteView data, int64_t from, int64_t to) {
  to = std::min(to, static_cast<int64_t>(data.size()));
  if (from < 0 || from >= to) return std::nullopt;
  const auto begin = data.begin() + from;
  const auto found = std::find(begin, data.begin() + to, uint8_t{0});
  if (found == data.begin() + to) return std::nullopt;
  return from + (found - begin);
}

std::string textBetween(ByteView data, int64_t from, int64_t to) {
  if (from >= to) return {};
  return base::textAt(data, from, to - from);
}

std::string inflatedText(ByteView data, int64_t from, int64_t to) {
  if (from > to || !base::inBounds(data, from, to - from)) return {};
  const std::vector<uint8_t> text = deflate::zlibInflateOrEmpty(
      data.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from)), kInflatedTextCap);
  return std::string(text.begin(), text.end());
}

}  // namespace

bool isPng(ByteView data) noexcept { return base::hasBytesAt(data, 0, kSignature); }

std::optional<PngChunk> PngChunkWalk::next() noexcept {
  if (ended_) return std::nullopt;
  base::demand(data_, position_, 8);
  if (!base::inBounds(data_, position_, 8)) {
    ended_ = true;
    return std::nullopt;
  }
  const auto* typeBytes = reinterpret_cast<const char*>(data_.data()) + position_ + 4;
  const PngChunk chunk{position_, base::readU32be(data_, position_),
                       std::string_view(typeBytes, 4)};
  const auto size = static_cast<int64_t>(data_.size());
  const bool cut = (stop_ == PngWalkStop::atShortData && chunk.dataEnd() > size) ||
                   (stop_ == PngWalkStop::atShortChunk && chunk.next() > size);
  if (cut) {
    ended_ = true;
    return std::nullopt;
  }
  position_ = chunk.next();
  return chunk;
}

std::string chunkType(ByteView data, int64_t position) {
  if (!base::inBounds(data, position, 4))
    throw std::out_of_range("png: chunk type outside the data");
  return base::textAt(data, position, 4);
}

std::vector<uint8_t> makeChunk(std::string_view type, ByteView data) {
  if (data.size() > 0xFFFFFFFFu) throw std::overflow_error("png: chunk data too long");
  std::vector<uint8_t> out;
  out.reserve(data.size() + 12);
  base::appendU32(out, static_cast<uint32_t>(data.size()), true);
  out.insert(out.end(), type.begin(), type.end());
  base::appendBytes(out, data);
  const uint32_t crc = checksum::crc32(ByteView(out).subspan(4));  // type and data
  base::appendU32(out, crc, true);
  return out;
}

TextChunk parseText(ByteView data, int64_t start, int64_t length) {
  const int64_t end = start + length;
  const auto nul = nulIn(data, start, end);
  if (!nul) return {};
  return {textBetween(data, start, *nul), textBetween(data, *nul + 1, end), true};
}

TextChunk parseZtxt(ByteView data, int64_t start, int64_t length) {
  const int64_t end = start + length;
  const auto nul = nulIn(data, start, end);
  if (!nul || *nul + 1 >= end) return {};  // the compression method byte must follow
  TextChunk chunk{textBetween(data, start, *nul), inflatedText(data, *nul + 2, end), false};
  chunk.ok = !chunk.text.empty();
  return chunk;
}

TextChunk parseITxt(ByteView data, int64_t start, int64_t length) {
  const int64_t end = start + length;
  const auto keywordEnd = nulIn(data, start, end);
  if (!keywordEnd) return {};
  const int64_t flagAt = *keywordEnd + 1;
  const bool compressed = flagAt < end && base::byteAt(data, flagAt) != 0;
  const auto languageEnd = nulIn(data, flagAt + 2, end);  // after the flag and the method
  if (!languageEnd) return {};
  const auto translatedEnd = nulIn(data, *languageEnd + 1, end);
  if (!translatedEnd) return {};
  TextChunk chunk{textBetween(data, start, *keywordEnd), {}, true};
  if (!compressed) {
    chunk.text = textBetween(data, *translatedEnd + 1, end);
    return chunk;
  }
  chunk.text = inflatedText(data, *translatedEnd + 1, end);
  chunk.ok = !chunk.text.empty();
  return chunk;
}

bool isTextChunk(const PngChunk& chunk) noexcept {
  return chunk.type == "tEXt" || chunk.type == "zTXt" || chunk.type == "iTXt";
}

std::string_view textKeyword(ByteView data, const PngChunk& chunk) {
  if (!isTextChunk(chunk)) return {};
  const auto nul = nulIn(data, chunk.dataStart(), chunk.dataEnd());
  if (!nul) return {};
  return std::string_view(reinterpret_cast<const char*>(data.data()) + chunk.dataStart(),
                          static_cast<std::size_t>(*nul - chunk.dataStart()));
}

TextChunk parseTextChunk(ByteView data, const PngChunk& chunk) {
  if (chunk.type == "tEXt") return parseText(data, chunk.dataStart(), chunk.length);
  if (chunk.type == "zTXt") return parseZtxt(data, chunk.dataStart(), chunk.length);
  if (chunk.type == "iTXt") return parseITxt(data, chunk.dataStart(), chunk.length);
  return {};
}

TextList pngTextChunks(ByteView data) {
  TextList texts;
  if (!isPng(data)) return texts;
  PngChunkWalk walk(data, PngWalkStop::atShortData);
  while (const auto chunk = walk.next()) {
    if (chunk->type == "IEND") break;
    const int64_t start = chunk->dataStart();
    const bool text = chunk->type == "tEXt" || chunk->type == "zTXt" || chunk->type == "iTXt";
    if (text) base::demand(data, start, chunk->length);
    if (chunk->type == "tEXt") {
      TextChunk text = parseText(data, start, chunk->length);
      if (text.ok) texts.emplace_back(std::move(text.keyword), std::move(text.text));
      continue;
    }
    TextChunk decoded;
    if (chunk->type == "zTXt") decoded = parseZtxt(data, start, chunk->length);
    if (chunk->type == "iTXt") decoded = parseITxt(data, start, chunk->length);
    if (decoded.ok && !decoded.keyword.empty()) {
      texts.emplace_back(std::move(decoded.keyword), std::move(decoded.text));
    }
  }
  return texts;
}

}  // namespace orvel::container

namespace orvel::container {
namespace {

// "\n" name "\n", white space, decimal count, "\n": where the digits start and the count.
std::optional<std::pair<std::size_t, std::size_t>> profileHeader(std::string_view text) {
  if (text.empty() || text.front() != '\n') return std::nullopt;
  std::size_t at = text.find('\n', 1);
  if (at == std::string_view::npos) return std::nullopt;
  ++at;
  while (at < text.size() && base::isSpace(text[at])) ++at;
  const std::size_t digits = at;
  std::size_t count = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (count > text.size()) return std::nullopt;  // more bytes than the text could hold
    count = count * 10 + static_cast<std::size_t>(text[at] - '0');
  }
  if (at == digits || at >= text.size() || text[at] != '\n') return std::nullopt;
  return std::make_pair(at + 1, count);
}

bool isProfileOf(std::string_view keyword, const RawProfileKind& kind) {
  if (!keyword.starts_with(kRawProfileKeyword)) return false;
  return base::asciiLower(keyword.substr(kRawProfileKeyword.size())) == base::asciiLower(kind.name);
}

// The profile's bytes when the keyword names one of the kinds and the bytes begin with its
// header.
std::optional<std::vector<uint8_t>> profileOf(std::string_view keyword, std::string_view text,
                                              std::span<const RawProfileKind> kinds) {
  for (const RawProfileKind& kind : kinds) {
    if (!isProfileOf(keyword, kind)) continue;
    auto bytes = rawProfileBytes(text);
    if (bytes && base::hasBytesAt(*bytes, 0, kind.header)) return bytes;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<uint8_t>> rawProfileBytes(std::string_view text) {
  const auto header = profileHeader(text);
  if (!header) return std::nullopt;
  const auto [start, count] = *header;
  std::vector<uint8_t> bytes;
  bytes.reserve(std::min(count, (text.size() - start) / 2));
  int high = -1;
  for (std::size_t at = start; at < text.size() && bytes.size() < count; ++at) {
    const int value = base::hexDigitValue(text[at]);
    if (value < 0) {
      if (base::isSpace(text[at])) continue;
      break;  // the digits end here
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  return bytes;
}

bool namesRawProfile(std::string_view keyword, std::span<const RawProfileKind> kinds) {
  return std::any_of(kinds.begin(), kinds.end(),
                     [&](const RawProfileKind& kind) { return isProfileOf(keyword, kind); });
}

std::optional<std::vector<uint8_t>> rawProfileIn(const TextList& texts,
                                                 std::span<const RawProfileKind> kinds) {
  for (const auto& [keyword, text] : texts) {
    if (auto bytes = profileOf(keyword, text, kinds)) return bytes;
  }
  return std::nullopt;
}

}  // namespace orvel::container
