// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_axis.h"
#include "korvane/chart/axis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace korvane::chart {
namespace {

constexpr std::int64_t kSecond = 1000;
constexpr std::int64_t kMinute = 60 * kSecond;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;

constexpr std::array<std::int64_t, 18> kClockSteps = {
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
};

// Keeps tick loops bounded whatever the inputs.
constexpr double kMaxTicks = 10000;

// The decimal m * 10^e as the nearest double: the integer part is exact and a single division
// rounds correctly, where multiplying by a negative power of ten would round twice.
double Decimal(double m, int e) {
  return e >= 0 ? m * std::pow(10.0, e) : m / std::pow(10.0, -e);
}

}  // namespace

std::int64_t ReviewTimeStep(double spanMs, double widthPx, double minSpacingPx) {
  const double needed = spanMs * std::max(minSpacingPx, 1.0) / widthPx;
  if (!(needed > 0) || !std::isfinite(needed))
    return kSecond;
  for (const std::int64_t step : kClockSteps) {
    if (static_cast<double>(step) >= needed)
      return step;
  }
  const double days = std::ceil(needed / static_cast<double>(kDay));
  return days < 1e6 ? static_cast<std::int64_t>(days) * kDay : std::int64_t{1000000} * kDay;
}

std::string FormatElapsed(std::int64_t ms) {
  const bool negative = ms < 0;
  const std::int64_t total = (negative ? -ms : ms) / kSecond;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%lld:%02d:%02d", negative ? "-" : "",
                static_cast<long long>(total / 3600), static_cast<int>(total / 60 % 60),
                static_cast<int>(total % 60));
  return buf;
}

std::vector<ReviewTick> ReviewTimeTicks(double t0Ms, double t1Ms, double widthPx,
                                        double minSpacingPx) {
  std::vector<ReviewTick> ticks;
  if (!std::isfinite(t0Ms) || !std::isfinite(t1Ms) || t1Ms < t0Ms || !(widthPx > 0))
    return ticks;
  const std::int64_t step = ReviewTimeStep(t1Ms - t0Ms, widthPx, minSpacingPx);
  const double s = static_cast<double>(step);
  const double first = std::ceil(t0Ms / s);
  const double last = std::floor(t1Ms / s);
  if (last - first > kMaxTicks)
    return ticks;
  for (double k = first; k <= last; ++k) {
    const auto ms = static_cast<std::int64_t>(k) * step;
    ticks.push_back({static_cast<double>(ms), FormatElapsed(ms)});
  }
  return ticks;
}

double ReviewValueStep(double span, double lengthPx, double minSpacingPx) {
  const double needed = span * std::max(minSpacingPx, 1.0) / lengthPx;
  if (!(needed > 0) || !std::isfinite(needed))
    return 1;
  // A step within rounding error of what is needed is close enough.
  const double wanted = needed * (1 - 1e-12);
  const int e = static_cast<int>(std::floor(std::log10(needed)));
  for (int exponent = e - 1; exponent <= e + 1; ++exponent) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double step = Decimal(m, exponent);
      if (step >= wanted)
        return step;
    }
  }
  return Decimal(1, e + 2);
}

std::vector<ReviewTick> ReviewValueTicks(double v0, double v1, double lengthPx, double minSpacingPx,
                                         std::string_view decimalSeparator) {
  std::vector<ReviewTick> ticks;
  if (!std::isfinite(v0) || !std::isfinite(v1) || v1 < v0 || !(lengthPx > 0))
    return ticks;
  const double step = ReviewValueStep(v1 - v0, lengthPx, minSpacingPx);
  const int e = static_cast<int>(std::floor(std::log10(step) + 1e-9));
  const double m = std::round(step / std::pow(10.0, e));
  // Ticks at the range's ends within rounding error still count as inside.
  const double first = std::ceil(v0 / step - 1e-9);
  const double last = std::floor(v1 / step + 1e-9);
  if (!(last - first <= kMaxTicks))
    return ticks;
  const int decimals = LabelDecimals(step, 1.0f);
  for (double k = first; k <= last; ++k) {
    const double value = k == 0 ? 0.0 : Decimal(k * m, e);
    ticks.push_back({value, FormatValue(value, decimalSeparator, decimals)});
  }
  return ticks;
}

}  // namespace korvane::chart
