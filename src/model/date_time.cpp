// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/date_time.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace korvane::model {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days since 1 January 1970 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

const std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

double EncodeDateTime(const DateTimeParts& p) {
  const std::int64_t days =
      DaysFromCivil(p.Year, static_cast<unsigned>(p.Month), static_cast<unsigned>(p.Day)) -
      kEpochDays;
  const std::int64_t ms = ((p.Hour * 60LL + p.Minute) * 60 + p.Second) * 1000 + p.Millisecond;
  return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

DateTimeParts DecodeDateTime(double value) {
  const auto total =
      static_cast<std::int64_t>(std::llround(value * static_cast<double>(kMsPerDay)));
  const std::int64_t days = FloorDiv(total, kMsPerDay);
  std::int64_t ms = total - days * kMsPerDay;
  DateTimeParts p;
  CivilFromDays(days + kEpochDays, p.Year, p.Month, p.Day);
  p.Millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  p.Second = static_cast<int>(ms % 60);
  ms /= 60;
  p.Minute = static_cast<int>(ms % 60);
  p.Hour = static_cast<int>(ms / 60);
  return p;
}

TimeStamp StampFromUnixMs(std::int64_t utc_ms) {
  const std::int64_t seconds = FloorDiv(utc_ms, 1000);
  const auto seconds_t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&seconds_t, &local);
  DateTimeParts p;
  p.Year = local.tm_year + 1900;
  p.Month = local.tm_mon + 1;
  p.Day = local.tm_mday;
  p.Hour = local.tm_hour;
  p.Minute = local.tm_min;
  p.Second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second keeps the minute
  p.Millisecond = static_cast<int>(utc_ms - seconds * 1000);
  return TimeStamp{EncodeDateTime(p), utc_ms};
}

TimeStamp CurrentTimeStamp() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return StampFromUnixMs(static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000);
}

std::string DateTimeText(double value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::tm tm{};
  tm.tm_year = p.Year - 1900;
  tm.tm_mon = p.Month - 1;
  tm.tm_mday = p.Day;
  tm.tm_hour = p.Hour;
  tm.tm_min = p.Minute;
  tm.tm_sec = p.Second;
  const std::int64_t days =
      DaysFromCivil(p.Year, static_cast<unsigned>(p.Month), static_cast<unsigned>(p.Day));
  tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1 January 1970 was a Thursday
  tm.tm_yday = static_cast<int>(days - DaysFromCivil(p.Year, 1, 1));
  tm.tm_isdst = -1;
  const bool midnight = p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0;
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &tm);
  return std::string(text, n);
}

std::string OperatingTimeText(std::int64_t elapsed_ms) {
  const std::int64_t total = elapsed_ms < 0 ? 0 : elapsed_ms;
  std::int64_t h = total / 3'600'000;
  std::int64_t m = total / 60'000 % 60;
  std::int64_t s = total / 1000 % 60;
  if (total % 1000 >= 500 && ++s == 60) {
    s = 0;
    if (++m == 60) {
      m = 0;
      ++h;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%lld h %.2lld m %.2lld s", static_cast<long long>(h),
                static_cast<long long>(m), static_cast<long long>(s));
  return text;
}

}  // namespace korvane::model
