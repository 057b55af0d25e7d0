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

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
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
