// Small JSON text helpers for the commands that reshape the library's pretty JSON.
#include <cstdio>

#include "cli.h"

namespace orvel_cli {

std::string compactJson(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  bool inString = false;
  bool escaped = false;
  for (char c : json) {
    if (inString) {
      out += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') continue;
    if (c == '"') inString = true;
    out += c;
  }
  return out;
}

namespace {

// The length of the well-formed UTF-8 sequence at `at` (no overlong forms, surrogates or code
// points above U+10FFFF), 0 when none starts there.
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : low;
    high = lead == 0xED ? 0x9F : high;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : low;
    high = lead == 0xF4 ? 0x8F : high;
  }
  if (length == 0 || text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else if (byte < 0x80) {
      out += c;
    } else if (const std::size_t length = utf8Length(text, i); length > 0) {
      out.append(text.substr(i, length));
      i += length - 1;
    } else {
      // Bytes of a file name that are not UTF-8 are written as the Latin-1 characters they
      // would be, as the library writes its JSON.
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  out += '"';
  return out;
}

std::string indentLines(std::string_view text, std::string_view indent) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  bool lineStart = true;
  for (char c : text) {
    if (lineStart) out += indent;
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

}  // namespace orvel_cli
