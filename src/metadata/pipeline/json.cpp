// Pretty-printed JSON of a metadata record, written by hand: the layout is fixed byte for byte,
// so no general-purpose writer with its own ideas about numbers or escapes is involved.
#include "metadata/pipeline/json.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "base/text.h"

namespace orvel::metadata::pipeline {

namespace {

// The decimal point may sit this far around the first digit before scientific notation.
constexpr int kFixedMinPoint = -6;
constexpr int kFixedMaxPoint = 17;

// Escapes of the bytes below 0x20; an empty entry never occurs.
constexpr std::array<std::string_view, 0x20> kControlEscapes = {
    "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
    "\\b",     "\\t",     "\\n",     "\\u000b", "\\f",     "\\r",     "\\u000E", "\\u000F",
    "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
    "\\u0018", "\\u0019", "\\u001A", "\\u001B", "\\u001C", "\\u001D", "\\u001E", "\\u001F",
};

std::string_view escapeOf(unsigned char byte) {
  if (byte < 0x20) return kControlEscapes[byte];
  if (byte == '"') return "\\\"";
  if (byte == '\\') return "\\\\";
  return {};
}

// Shortest round-trip digits of a finite, non-negative value and the position of the decimal
// point relative to the first digit.
struct Decimal {
  std::array<char, 24> digits{};
  int count = 0;
  int point = 0;
};

Decimal shortestDecimal(double magnitude) {
  std::array<char, 40> text{};
  auto result = std::to_chars(text.data(), text.data() + text.size(), magnitude,
                              std::chars_format::scientific);
  // "d[.ddd]e(+|-)xx": the digits around the dot, then the exponent.
  std::string_view written(text.data(), static_cast<std::size_t>(result.ptr - text.data()));
  const std::size_t e = written.find('e');
  Decimal decimal;
  for (char c : written.substr(0, e)) {
    if (c != '.') decimal.digits[static_cast<std::size_t>(decimal.count++)] = c;
  }
  const int exponent = std::atoi(written.data() + e + 1);
  decimal.point = exponent + 1;
  return decimal;
}

void appendFixed(std::string& out, const Decimal& d) {
  std::string_view digits(d.digits.data(), static_cast<std::size_t>(d.count));
  if (d.point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.point), '0');
    out += digits;
  } else if (d.point < d.count) {
    out += digits.substr(0, static_cast<std::size_t>(d.point));
    out += '.';
    out += digits.substr(static_cast<std::size_t>(d.point));
  } else {
    out += digits;
    out.append(static_cast<std::size_t>(d.point - d.count), '0');
    out += ".0";
  }
}

void appendScientific(std::string& out, const Decimal& d) {
  out += d.digits[0];
  if (d.count > 1) {
    out += '.';
    out.append(d.digits.data() + 1, static_cast<std::size_t>(d.count - 1));
  }
  const int exponent = d.point - 1;
  out += exponent < 0 ? "e-" : "e+";
  out += std::to_string(std::abs(exponent));
}

void appendMember(std::string& out, std::string_view indent, std::string_view name) {
  out += indent;
  appendJsonString(out, name);
  out += ": ";
}

void appendGps(std::string& out, const JsonSource& source) {
  out += ",\n  \"gps\": {\n    \"latitude\": ";
  appendJsonNumber(out, source.latitude);
  out += ",\n    \"longitude\": ";
  appendJsonNumber(out, source.longitude);
  out += ",\n    \"altitude\": ";
  appendJsonNumber(out, source.altitude);
  out += "\n  }";
}

void appendTags(std::string& out, std::span<const TagMap::Entry* const> tags) {
  out += ",\n  \"tags\": ";
  if (tags.empty()) {
    out += "{}";
    return;
  }
  out += "{\n";
  bool first = true;
  for (const TagMap::Entry* entry : tags) {
    if (!first) out += ",\n";
    first = false;
    appendMember(out, "    ", entry->first);
    appendJsonString(out, entry->second);
  }
  out += "\n  }";
}

std::size_t estimatedSize(const JsonSource& source) {
  std::size_t size = 256 + source.camera.size() + source.software.size();
  for (const TagMap::Entry* entry : source.tags) {
    size += entry->first.size() + entry->second.size() + 12;
  }
  return size;
}

}  // namespace

void appendJsonNumber(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "\"nan\"";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "\"-inf\"" : "\"inf\"";
    return;
  }
  if (std::signbit(value)) out += '-';
  const Decimal decimal = shortestDecimal(std::fabs(value));
  if (decimal.point >= kFixedMinPoint && decimal.point <= kFixedMaxPoint) {
    appendFixed(out, decimal);
  } else {
    appendScientific(out, decimal);
  }
}

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::string_view escape = escapeOf(byte);
    if (escape.empty() && byte < 0x80) {
      ++i;
      continue;
    }
    if (escape.empty()) {
      const int sequence = base::utf8SequenceLength(text, i);
      if (sequence > 0) {
        i += static_cast<std::size_t>(sequence);
        continue;
      }
    }
    out.append(text.data() + runStart, i - runStart);
    if (escape.empty()) {
      // A byte outside any well-formed sequence is read as Latin-1: U+0080 to U+00FF.
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      out += escape;
    }
    runStart = ++i;
  }
  out.append(text.data() + runStart, text.size() - runStart);
  out += '"';
}

std::string metaToJson(const JsonSource& source) {
  std::string out;
  out.reserve(estimatedSize(source));
  out += "{\n  \"isValid\": ";
  out += source.isValid ? "true" : "false";
  out += ",\n  \"orientation\": ";
  out += std::to_string(source.orientation);
  if (!source.camera.empty()) {
    out += ",\n";
    appendMember(out, "  ", "camera");
    appendJsonString(out, source.camera);
  }
  if (!source.software.empty()) {
    out += ",\n";
    appendMember(out, "  ", "software");
    appendJsonString(out, source.software);
  }
  if (source.hasGps) appendGps(out, source);
  appendTags(out, source.tags);
  out += "\n}";
  return out;
}

std::string metaToJson(const Metadata& meta) {
  JsonSource source;
  source.isValid = meta.isValid;
  source.orientation = meta.orientation;
  source.camera = meta.camera;
  source.software = meta.software;
  source.hasGps = meta.hasGps();
  if (source.hasGps) {
    source.latitude = meta.latitude;
    source.longitude = meta.longitude;
    source.altitude = meta.altitude;
  }
  std::vector<const TagMap::Entry*> inMapOrder;
  inMapOrder.reserve(meta.tags.size());
  for (const TagMap::Entry& entry : meta.tags) inMapOrder.push_back(&entry);
  source.tags = inMapOrder;
  return metaToJson(source);
}

}  // namespace orvel::metadata::pipeline
