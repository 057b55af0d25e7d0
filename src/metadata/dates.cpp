#include "metadata/dates.h"

#include <array>
#include <ctime>

namespace orvel::metadata {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMp4EpochToUnix = 2082844800;  // 1904-01-01 to 1970-01-01, in seconds

bool isLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int64_t year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeap(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Proleptic Gregorian year of a day count since 1970-01-01.
int64_t yearOfDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // March-based
  return yearOfEra + era * 400 + (monthIndex >= 10 ? 1 : 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The local time zone's offset from UTC at an instant, in seconds; 0 when unknown.
int64_t localOffsetAt(int64_t unixSeconds) {
  const std::time_t instant = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  return localtime_r(&instant, &local) != nullptr ? local.tm_gmtoff : 0;
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Reads exactly `width` digits at text[at...]; false when any is not a digit.
bool digits(std::string_view text, std::size_t at, std::size_t width, int& out) {
  if (at + width > text.size()) return false;
  int value = 0;
  for (std::size_t i = at; i < at + width; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// One pattern: date separator, and the separator before the time (0 for a date alone).
struct Pattern {
  char dateSeparator;
  char timeSeparator;
};

constexpr std::array<Pattern, 5> kPatterns = {{
    {':', ' '}, {'-', ' '}, {'-', 'T'}, {':', 0}, {'-', 0},
}};

bool matches(std::string_view text, Pattern pattern, Fields& f) {
  const std::size_t expected = pattern.timeSeparator ? 19 : 10;
  if (text.size() != expected) return false;
  if (!digits(text, 0, 4, f.year) || text[4] != pattern.dateSeparator ||
      !digits(text, 5, 2, f.month) || text[7] != pattern.dateSeparator ||
      !digits(text, 8, 2, f.day)) {
    return false;
  }
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > daysInMonth(f.year, f.month)) {
    return false;
  }
  f.hour = f.minute = f.second = 0;
  if (!pattern.timeSeparator) return true;
  return text[10] == pattern.timeSeparator && digits(text, 11, 2, f.hour) && text[13] == ':' &&
         digits(text, 14, 2, f.minute) && text[16] == ':' && digits(text, 17, 2, f.second) &&
         f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

}  // namespace

DateTime localDateTime(int year, int month, int day, int hour, int minute, int second) {
  // The wall-clock fields read as if they were UTC, then moved by the local offset at that
  // instant. localtime_r is used rather than mktime, which re-reads the zone file each call.
  const int64_t wallSeconds =
      daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  int64_t offset = localOffsetAt(wallSeconds);
  // A second step settles instants near a change of offset (daylight saving).
  offset = localOffsetAt(wallSeconds - offset);
  DateTime result;
  result.unixSeconds = wallSeconds - offset;
  result.utcOffsetSeconds = static_cast<int32_t>(offset);
  result.year = year;
  return result;
}

DateTime noDate() { return localDateTime(1899, 1, 1, 0, 0, 0); }

DateTime parseDateTime(std::string_view text) {
  Fields f;
  for (const Pattern& pattern : kPatterns) {
    if (matches(text, pattern, f) && f.year >= 1900) {
      return localDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
    }
  }
  return noDate();
}

bool mp4TimeFromSeconds(uint64_t seconds, DateTime& out) {
  // Keep the year within 32 bits and the sum within 64.
  constexpr uint64_t kLimit = uint64_t{1} << 50;
  if (seconds > kLimit) return false;
  DateTime result;
  result.unixSeconds = static_cast<int64_t>(seconds) - kMp4EpochToUnix;
  result.utcOffsetSeconds = 0;
  result.year = static_cast<int32_t>(yearOfDays(floorDiv(result.unixSeconds, kSecondsPerDay)));
  out = result;
  return true;
}

DateTime parseMP4Time(uint32_t seconds) {
  DateTime result;
  mp4TimeFromSeconds(seconds, result);
  return result;
}

}  // namespace orvel::metadata
