// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_date_axis.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

namespace korvane::chart {
namespace {

constexpr double kHourMs = 3600.0 * 1000;
constexpr double kDayMs = 24 * kHourMs;
constexpr double kMonthMs = 30.44 * kDayMs;
constexpr double kYearMs = 365.25 * kDayMs;
// Keeps tick loops bounded whatever the inputs; also the most a loop visits.
constexpr double kMaxTicks = 10000;
// About 30,000 years either side of 1970: localtime_r and mktime hold it everywhere.
constexpr double kMaxAbsMs = 1e15;

struct Civil {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(Civil c) {
  const std::int64_t y = c.year - (c.month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (c.month + (c.month > 2 ? -3 : 9)) + 2) / 5 + c.day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

std::optional<std::tm> Local(double utcMs) {
  const auto seconds = static_cast<std::time_t>(std::floor(utcMs / 1000));
  std::tm tm{};
  if (localtime_r(&seconds, &tm) == nullptr)
    return std::nullopt;
  return tm;
}

// The UTC instant of a local time; of a time that a change of daylight saving time skips or
// repeats, whichever mktime picks.
double FromLocal(Civil c, int hour) {
  std::tm tm{};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = hour;
  tm.tm_isdst = -1;
  return static_cast<double>(std::mktime(&tm)) * 1000;
}

Civil CivilOf(const std::tm& tm) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::int64_t FloorTo(std::int64_t value, std::int64_t step) {
  const std::int64_t q = value / step;
  return (value % step != 0 && value < 0) ? (q - 1) * step : q * step;
}

double NominalMs(ReviewDateStep step) {
  switch (step.unit) {
    case ReviewDateUnit::kHour:
      return step.count * kHourMs;
    case ReviewDateUnit::kDay:
      return step.count * kDayMs;
    case ReviewDateUnit::kWeek:
      return step.count * 7 * kDayMs;
    case ReviewDateUnit::kMonth:
      return step.count * kMonthMs;
    case ReviewDateUnit::kYear:
      break;
  }
  return step.count * kYearMs;
}

}  // namespace

ReviewDateStep ReviewDateStepFor(double spanMs, double widthPx, double minSpacingPx) {
  using U = ReviewDateUnit;
  static constexpr std::array<ReviewDateStep, 12> kSteps = {{{U::kHour, 1},
                                                             {U::kHour, 2},
                                                             {U::kHour, 3},
                                                             {U::kHour, 6},
                                                             {U::kHour, 12},
                                                             {U::kDay, 1},
                                                             {U::kDay, 2},
                                                             {U::kWeek, 1},
                                                             {U::kMonth, 1},
                                                             {U::kMonth, 2},
                                                             {U::kMonth, 3},
                                                             {U::kMonth, 6}}};
  const double needed = spanMs * std::max(minSpacingPx, 1.0) / widthPx;
  if (!(needed > 0) || !std::isfinite(needed))
    return {U::kHour, 1};
  for (const ReviewDateStep step : kSteps) {
    if (NominalMs(step) >= needed)
      return step;
  }
  for (int years = 1; years < 1'000'000; years *= 10) {
    for (const int m : {1, 2, 5}) {
      if (NominalMs({U::kYear, years * m}) >= needed)
        return {U::kYear, years * m};
    }
  }
  return {U::kYear, 1'000'000};
}

std::string DefaultDateLabel(std::int64_t utcMs, ReviewDateUnit unit) {
  const std::optional<std::tm> tm = Local(static_cast<double>(utcMs));
  if (!tm)
    return {};
  char buf[48];
  switch (unit) {
    case ReviewDateUnit::kHour:
      std::snprintf(buf, sizeof buf, "%02d:%02d", tm->tm_hour, tm->tm_min);
      break;
    case ReviewDateUnit::kMonth:
      std::snprintf(buf, sizeof buf, "%04d-%02d", tm->tm_year + 1900, tm->tm_mon + 1);
      break;
    case ReviewDateUnit::kYear:
      std::snprintf(buf, sizeof buf, "%04d", tm->tm_year + 1900);
      break;
    default:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm->tm_year + 1900, tm->tm_mon + 1,
                    tm->tm_mday);
      break;
  }
  return buf;
}

std::vector<ReviewTick> ReviewDateTicks(double t0Ms, double t1Ms, double widthPx,
                                        double minSpacingPx, const ReviewDateLabel& label) {
  std::vector<ReviewTick> ticks;
  if (!std::isfinite(t0Ms) || !std::isfinite(t1Ms) || t1Ms < t0Ms || !(widthPx > 0) ||
      std::fabs(t0Ms) > kMaxAbsMs || std::fabs(t1Ms) > kMaxAbsMs)
    return ticks;
  const ReviewDateStep step = ReviewDateStepFor(t1Ms - t0Ms, widthPx, minSpacingPx);
  if ((t1Ms - t0Ms) / NominalMs(step) > kMaxTicks)
    return ticks;
  tzset();  // a changed TZ counts from the next drawing on
  const std::optional<std::tm> first = Local(t0Ms);
  const std::optional<std::tm> last = Local(t1Ms);
  if (!first || !last)
    return ticks;
  const auto add = [&](double ms, ReviewDateUnit unit) {
    if (ms < t0Ms || ms > t1Ms)
      return;
    const auto at = static_cast<std::int64_t>(ms);
    ticks.push_back({ms, label ? label(at, unit) : DefaultDateLabel(at, unit)});
  };

  const std::int64_t day0 = DaysFromCivil(CivilOf(*first));
  const std::int64_t day1 = DaysFromCivil(CivilOf(*last));
  switch (step.unit) {
    case ReviewDateUnit::kHour: {
      // Whole hours in absolute time keep a repeated hour twice and a skipped one not at all.
      double ms = FromLocal(CivilOf(*first), first->tm_hour);
      for (int i = 0; ms <= t1Ms && i <= kMaxTicks * 12; ++i, ms += kHourMs) {
        const std::optional<std::tm> tm = Local(ms);
        if (tm && tm->tm_min == 0 && tm->tm_sec == 0 && tm->tm_hour % step.count == 0)
          add(ms, tm->tm_hour == 0 ? ReviewDateUnit::kDay : ReviewDateUnit::kHour);
      }
      break;
    }
    case ReviewDateUnit::kDay:
    case ReviewDateUnit::kWeek: {
      std::int64_t days = step.unit == ReviewDateUnit::kDay ? step.count : 7;
      // Day 0 was a Thursday: Mondays are the days 4 after a multiple of 7.
      const std::int64_t offset = step.unit == ReviewDateUnit::kWeek ? 4 : 0;
      for (std::int64_t d = FloorTo(day0 - offset, days) + offset; d <= day1; d += days)
        add(FromLocal(CivilFromDays(d), 0), ReviewDateUnit::kDay);
      break;
    }
    case ReviewDateUnit::kMonth: {
      const std::int64_t m0 = (first->tm_year + 1900) * std::int64_t{12} + first->tm_mon;
      const std::int64_t m1 = (last->tm_year + 1900) * std::int64_t{12} + last->tm_mon;
      for (std::int64_t m = FloorTo(m0, step.count); m <= m1; m += step.count) {
        const Civil c{static_cast<int>(FloorTo(m, 12) / 12),
                      static_cast<int>(m - FloorTo(m, 12)) + 1, 1};
        add(FromLocal(c, 0), m % 12 == 0 ? ReviewDateUnit::kYear : ReviewDateUnit::kMonth);
      }
      break;
    }
    case ReviewDateUnit::kYear: {
      const int y1 = last->tm_year + 1900;
      for (std::int64_t y = FloorTo(first->tm_year + 1900, step.count); y <= y1; y += step.count)
        add(FromLocal({static_cast<int>(y), 1, 1}, 0), ReviewDateUnit::kYear);
      break;
    }
  }
  return ticks;
}

}  // namespace korvane::chart
