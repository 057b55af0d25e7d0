#include "container/tiff.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "base/file.h"
#include "base/read_limits.h"
#include "base/text.h"

namespace orvel::container {

using base::chargeOutput;
using base::grantEntries;
using base::hasBytesAt;
using base::hexDigit;
using base::inBounds;
using base::kUncountedValueBytes;
using base::mayProduceOutput;
using base::noteViewEnd;
using base::readUint16;
using base::readUint32;
using base::readUint64;
using base::stripTrailingSpace;

namespace {

constexpr std::array<uint8_t, 13> kTypeSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int64_t kEntrySize = 12;

void appendSeparator(std::string& out) {
  if (!out.empty()) out.push_back(' ');
}

template <class Int>
void appendInt(std::string& out, Int value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

template <class Float>
std::string shortestOf(Float value) {
  char buffer[48];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  // Integral values get ".0"; exponent forms, nan and inf already read as non-integers.
  if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
  return text;
}

std::string renderAscii(ByteView bytes) {
  const auto* begin = reinterpret_cast<const char*>(bytes.data());
  std::size_t length = bytes.size();
  if (const void* nul = std::memchr(begin, 0, length)) {
    length = static_cast<std::size_t>(static_cast<const char*>(nul) - begin);
  }
  return std::string(stripTrailingSpace(std::string_view(begin, length)));
}

std::string renderBytes(ByteView bytes) {
  bool printable = true;
  for (uint8_t b : bytes) {
    if (b != 0 && (b < 32 || b > 126)) {
      printable = false;
      break;
    }
  }
  std::string out;
  if (printable) {
    out.reserve(bytes.size());
    for (uint8_t b : bytes) {
      if (b != 0) out.push_back(static_cast<char>(b));
    }
    return out;
  }
  out.reserve(bytes.size() * 3);
  for (uint8_t b : bytes) {
    appendSeparator(out);
    out.push_back(hexDigit(b >> 4));
    out.push_back(hexDigit(b));
  }
  return out;
}

void appendUnsignedRational(std::string& out, uint32_t numerator, uint32_t denominator) {
  appendSeparator(out);
  if (denominator == 0) {
    appendInt(out, numerator);
    out += "/0";
    return;
  }
  uint32_t divisor = gcd(numerator, denominator);
  appendInt(out, numerator / divisor);
  if (denominator / divisor != 1) {
    out.push_back('/');
    appendInt(out, denominator / divisor);
  }
}

void appendSignedRational(std::string& out, int32_t numerator, int32_t denominator) {
  appendSeparator(out);
  if (denominator == 0) {
    appendInt(out, numerator);
    out += "/0";
    return;
  }
  // Magnitudes in 32 unsigned bits, so INT32_MIN does not overflow.
  uint32_t num =
      numerator < 0 ? 0u - static_cast<uint32_t>(numerator) : static_cast<uint32_t>(numerator);
  uint32_t den = denominator < 0 ? 0u - static_cast<uint32_t>(denominator)
                                 : static_cast<uint32_t>(denominator);
  uint32_t divisor = gcd(num, den);
  if ((numerator < 0) != (denominator < 0)) out.push_back('-');
  appendInt(out, num / divisor);
  if (den / divisor != 1) {
    out.push_back('/');
    appendInt(out, den / divisor);
  }
}

std::string renderNumbers(const TiffTag& tag) {
  ByteView bytes(tag.data);
  const bool be = tag.bigEndian;
  const int64_t size = typeSize(tag.type);
  const int64_t n = static_cast<int64_t>(bytes.size()) / size;
  std::string out;
  out.reserve(static_cast<std::size_t>(n) * 6);
  for (int64_t i = 0; i < n; ++i) {
    const int64_t at = i * size;
    switch (tag.type) {
      case ttShort:
        appendSeparator(out);
        appendInt(out, readUint16(bytes, at, be));
        break;
      case ttLong:
        appendSeparator(out);
        appendInt(out, readUint32(bytes, at, be));
        break;
      case ttSShort:
        appendSeparator(out);
        appendInt(out, static_cast<int16_t>(readUint16(bytes, at, be)));
        break;
      case ttSLong:
        appendSeparator(out);
        appendInt(out, static_cast<int32_t>(readUint32(bytes, at, be)));
        break;
      case ttRational:
        if (i >= tag.count) return out;
        appendUnsignedRational(out, readUint32(bytes, at, be), readUint32(bytes, at + 4, be));
        break;
      case ttSRational:
        appendSignedRational(out, static_cast<int32_t>(readUint32(bytes, at, be)),
                             static_cast<int32_t>(readUint32(bytes, at + 4, be)));
        break;
      case ttFloat: {
        uint32_t bits = readUint32(bytes, at, be);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        appendSeparator(out);
        out += shortestDecimal(value);
        break;
      }
      case ttDouble: {
        uint64_t bits = readUint64(bytes, at, be);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        appendSeparator(out);
        out += shortestDecimal(value);
        break;
      }
      default:
        break;
    }
  }
  return out;
}

std::string renderValue(const TiffTag& tag) {
  switch (tag.type) {
    case ttAscii:
      return renderAscii(tag.data);
    case ttByte:
    case ttSByte:
    case ttUndefined:
      return renderBytes(tag.data);
    case ttShort:
    case ttLong:
    case ttRational:
    case ttSShort:
    case ttSLong:
    case ttSRational:
    case ttFloat:
    case ttDouble:
      return renderNumbers(tag);
    default:
      return {};
  }
}

}  // namespace

bool hasTiffSignature(ByteView data, int64_t position) noexcept {
  return hasBytesAt(data, position, std::string_view("II\x2A\0", 4)) ||
         hasBytesAt(data, position, std::string_view("MM\0\x2A", 4));
}

uint32_t typeSize(uint8_t type) noexcept { return type < kTypeSizes.size() ? kTypeSizes[type] : 0; }

TiffTag readTag(ByteView data, int64_t entryPosition, int64_t base, bool bigEndian) {
  TiffTag tag;
  if (!inBounds(data, entryPosition, kEntrySize)) return tag;
  tag.bigEndian = bigEndian;
  tag.tag = readUint16(data, entryPosition, bigEndian);
  const uint16_t type = readUint16(data, entryPosition + 2, bigEndian);
  tag.type =
      (type >= ttByte && type <= ttDouble) ? static_cast<uint8_t>(type) : uint8_t{ttUndefined};
  tag.count = readUint32(data, entryPosition + 4, bigEndian);
  const int64_t size = int64_t{typeSize(tag.type)} * tag.count;
  if (size > 4) {
    tag.offset = base + readUint32(data, entryPosition + 8, bigEndian);
    orvel::base::demand(data, tag.offset, size);
  } else {
    tag.offset = entryPosition + 8;
    if (tag.count == 0) return tag;
  }
  if (inBounds(data, tag.offset, size)) {
    tag.data = data.subspan(static_cast<std::size_t>(tag.offset), static_cast<std::size_t>(size));
  }
  return tag;
}

Ifd readIFD(ByteView data, int64_t ifdPosition, int64_t base, bool bigEndian) {
  Ifd ifd;
  orvel::base::demand(data, ifdPosition, 2);
  if (!inBounds(data, ifdPosition, 2)) return ifd;
  const uint16_t declared = readUint16(data, ifdPosition, bigEndian);
  orvel::base::demand(data, ifdPosition + 2, int64_t{declared} * kEntrySize + 4);
  const int64_t fitting = (static_cast<int64_t>(data.size()) - ifdPosition - 2) / kEntrySize;
  if (fitting < declared) noteViewEnd(data);  // the entries are cut by the end of the bytes
  const int64_t count = grantEntries(std::clamp<int64_t>(fitting, 0, declared));
  std::vector<IfdEntries::value_type> entries;
  entries.reserve(static_cast<std::size_t>(count));
  int64_t position = ifdPosition + 2;
  for (int64_t j = 0; j < count; ++j, position += kEntrySize) {
    TiffTag tag = readTag(data, position, base, bigEndian);
    entries.emplace_back(tag.tag, tag);
  }
  ifd.tags = IfdEntries::fromFileOrder(std::move(entries));
  if (inBounds(data, position, 4)) ifd.next = readUint32(data, position, bigEndian);
  return ifd;
}

IfdEntries::const_iterator IfdEntries::find(uint16_t tag) const {
  auto found = std::lower_bound(entries_.begin(), entries_.end(), tag,
                                [](const value_type& e, uint16_t t) { return e.first < t; });
  return found != entries_.end() && found->first == tag ? found : entries_.end();
}

const TiffTag& IfdEntries::at(uint16_t tag) const {
  auto found = find(tag);
  if (found == end()) throw std::out_of_range("no such directory entry");
  return found->second;
}

void IfdEntries::insert_or_assign(uint16_t tag, TiffTag entry) {
  auto slot = std::lower_bound(entries_.begin(), entries_.end(), tag,
                               [](const value_type& e, uint16_t t) { return e.first < t; });
  if (slot != entries_.end() && slot->first == tag) {
    slot->second = entry;
  } else {
    entries_.emplace(slot, tag, entry);
  }
}

IfdEntries IfdEntries::fromFileOrder(std::vector<value_type> entries) {
  // Files list tags in ascending order, so the sort usually has nothing to do. A stable sort
  // keeps duplicates in file order; the last of each run is the one that counts.
  auto byTag = [](const value_type& a, const value_type& b) { return a.first < b.first; };
  if (!std::is_sorted(entries.begin(), entries.end(), byTag)) {
    std::stable_sort(entries.begin(), entries.end(), byTag);
  }
  IfdEntries out;
  out.entries_.reserve(entries.size());
  for (auto& entry : entries) {
    if (!out.entries_.empty() && out.entries_.back().first == entry.first) {
      out.entries_.back() = entry;
    } else {
      out.entries_.push_back(entry);
    }
  }
  return out;
}

LongValue readLongTag(const TiffTag& tag) noexcept {
  if (tag.data.size() < 4) return {};
  return {readUint32(ByteView(tag.data), 0, tag.bigEndian), true};
}

std::string toString(const TiffTag& tag) {
  if (tag.data.empty()) return {};
  // Small values render to a few hundred characters at most and are bounded by the entry
  // limit; only larger ones are worth counting against the output limit.
  if (static_cast<int64_t>(tag.data.size()) <= kUncountedValueBytes) return renderValue(tag);
  if (!mayProduceOutput()) return {};
  std::string text = renderValue(tag);
  chargeOutput(static_cast<int64_t>(text.size()));
  return text;
}

uint32_t gcd(uint32_t a, uint32_t b) noexcept {
  while (b != 0) {
    uint32_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

std::string shortestDecimal(double value) { return shortestOf(value); }

std::string shortestDecimal(float value) { return shortestOf(value); }

}  // namespace orvel::container
