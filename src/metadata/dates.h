// Capture dates: EXIF date texts read in the local time zone, and QuickTime/MP4 movie times.
#pragma once

#include <cstdint>
#include <string_view>

#include "metadata/record.h"

namespace orvel::metadata {

// 1899-01-01 00:00:00 in the local time zone: the "no date" value.
DateTime noDate();

// The local wall-clock time given as calendar fields, with the local offset at that instant.
// The zone is the one the C library last set up (TZ is read once; tzset() reloads it).
DateTime localDateTime(int year, int month, int day, int hour, int minute, int second);

// "yyyy:MM:dd HH:mm:ss", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy:MM:dd" or
// "yyyy-MM-dd", matching the whole text, read as local time; the first match whose year is
// 1900 or later wins. Anything else gives noDate().
DateTime parseDateTime(std::string_view text);

// 1904-01-01 00:00:00 UTC plus the given seconds (QuickTime's epoch).
DateTime parseMP4Time(uint32_t seconds);

// The same for 64-bit movie times; false (and `out` untouched) when the instant lies beyond
// what a date can hold.
bool mp4TimeFromSeconds(uint64_t seconds, DateTime& out);

}  // namespace orvel::metadata
