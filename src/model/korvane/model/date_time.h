// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace korvane::model {

// A moment as the model records it: the local wall-clock date-time (days since 30 December
// 1899, time of day as fraction, millisecond resolution) and the same instant in UTC.
struct TimeStamp {
  double Local = 0.0;
  std::int64_t UtcMs = 0;  // milliseconds since the Unix epoch
};

struct DateTimeParts {
  int Year = 1899;
  int Month = 12;  // 1..12
  int Day = 30;    // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

double EncodeDateTime(const DateTimeParts& parts);

// Rounds to the nearest millisecond first, so 23:59:59.9996 becomes midnight of the next day.
DateTimeParts DecodeDateTime(double value);

// The instant `utc_ms` with its local date-time in the process's time zone (TZ).
TimeStamp StampFromUnixMs(std::int64_t utc_ms);

// The current instant from the system's real-time clock.
TimeStamp CurrentTimeStamp();

// The current C locale's short date (%x), a blank and its long time (%X); only the date when
// the value lies exactly on midnight.
std::string DateTimeText(double value);

// A duration as "<h> h <mm> m <ss> s" with the total hours, the milliseconds rounded into the
// seconds at 500. A negative duration shows as zero.
std::string OperatingTimeText(std::int64_t elapsed_ms);

}  // namespace korvane::model
