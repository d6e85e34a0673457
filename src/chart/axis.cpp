// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/axis.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>

namespace korvane::chart {
namespace {

// Decimal digits and exponent of |value| with 15 significant digits: value = d.ddd... * 10^exp.
struct Decimal15 {
  char digits[15];
  int exponent;
};

Decimal15 ToDecimal15(double value) {
  char buf[40];
  auto res =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  Decimal15 d{};
  const char* p = buf;
  int n = 0;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9' && n < 15)
      d.digits[n++] = *p;
  }
  for (; n < 15; ++n)
    d.digits[n] = '0';
  d.exponent = 0;
  if (p < res.ptr) {
    ++p;
    if (*p == '+')
      ++p;
    std::from_chars(p, res.ptr, d.exponent);
  }
  return d;
}

// The decimal a float was written as: the shortest one that reads back as it (0.1f is 0.1).
double ShortestDecimal(float value) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  double result = value;
  std::from_chars(buf, res.ptr, result);
  return result;
}

}  // namespace

int RoundPixel(double value) {
  constexpr double kLimit = 1e9;  // far outside any surface, far from int overflow on offsets
  if (!(value > -kLimit))
    return std::isnan(value) ? 0 : static_cast<int>(-kLimit);
  if (value > kLimit)
    return static_cast<int>(kLimit);
  return static_cast<int>(std::nearbyint(value));
}

void CalculateAxis(double Min, double Max, int Count, double& Step, double& Start) {
  const int d = AxisIntervals(Count);
  const double r = std::fabs(Max - Min) / d;
  if (!std::isfinite(r)) {
    // A range that does not fit a double (or NaN input): a unit grid from a finite start.
    Step = 1;
    Start = std::isfinite(Min) ? Min : 0;
    return;
  }
  const double P = r == 0 ? 1.0 : std::pow(10.0, ToDecimal15(r).exponent);
  if (!(P > 0)) {
    // A range so small (subnormal) that its power of ten underflows: treat it as no range.
    Step = 1;
    Start = Min - Count / 2;
    return;
  }
  Step = 0;
  while (Step < r)
    Step += P / 2;
  if (Step == 0) {
    Step = 1;
    Start = Min - Count / 2;
    return;
  }
  // Each round widens the step by P/2; well before this bound the range is covered.
  for (int round = 0; round < 1000; ++round) {
    Start = std::trunc(Min / Step) * Step;
    if (Start > Min)
      Start -= Step;
    if (Start + d * Step >= Max)
      return;
    Step += P / 2;
  }
}

double TickValue(double Start, double Step, int index) {
  const double value = Start + index * Step;
  // Start and step come from repeated additions, so the tick meant to be zero may miss it by a few
  // units in the last place.
  return std::fabs(value) < 1e-9 * std::fabs(Step) ? 0.0 : value;
}

int LabelDecimals(double Step, float Scale) {
  constexpr int kMinDecimals = 2;   // what "0.##" shows
  constexpr int kMaxDecimals = 15;  // a double holds no more
  constexpr int kShortDigits = 9;   // more significant digits than this: a repeating decimal
  const double shown = std::fabs(Step / ShortestDecimal(Scale));
  if (!(shown > 0) || !std::isfinite(shown))
    return kMinDecimals;
  const Decimal15 dec = ToDecimal15(shown);
  int significant = 15;
  while (significant > 1 && dec.digits[significant - 1] == '0')
    --significant;
  if (significant > kShortDigits)
    return kMinDecimals;  // no count of decimals states such a step exactly
  // Neighbouring ticks differ by the step, so the step's own decimals are the fewest that state
  // every tick.
  return std::clamp(significant - 1 - dec.exponent, kMinDecimals, kMaxDecimals);
}

std::string FormatValue(double value, std::string_view decimalSeparator, int decimals) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value > 0 ? "INF" : "-INF";
  const Decimal15 dec = ToDecimal15(value);
  decimals = std::max(decimals, 0);
  const size_t places = static_cast<size_t>(decimals);
  // Digits of round(|value| * 10^decimals), most significant first; keep counts the digits of the
  // 15 that lie at or above 10^-decimals.
  std::string scaled;
  const int keep = dec.exponent + 1 + decimals;
  if (keep <= 0) {
    scaled.assign(1, (keep == 0 && dec.digits[0] >= '5') ? '1' : '0');
  } else if (keep >= 15) {
    scaled.assign(dec.digits, 15);
    scaled.append(static_cast<size_t>(keep - 15), '0');
  } else {
    scaled.assign(dec.digits, static_cast<size_t>(keep));
    if (dec.digits[keep] >= '5') {
      int i = keep - 1;
      for (; i >= 0 && scaled[i] == '9'; --i)
        scaled[i] = '0';
      if (i >= 0) {
        ++scaled[i];
      } else {
        scaled.insert(scaled.begin(), '1');
      }
    }
  }
  if (scaled.size() < places + 1)
    scaled.insert(0, places + 1 - scaled.size(), '0');
  std::string integral = scaled.substr(0, scaled.size() - places);
  std::string fraction = scaled.substr(scaled.size() - places);
  while (!fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  std::string text;
  const bool zero = integral == "0" && fraction.empty();
  if (value < 0 && !zero)
    text = "-";
  text += integral;
  if (!fraction.empty()) {
    text += decimalSeparator;
    text += fraction;
  }
  return text;
}

std::string LocaleDecimalSeparator() {
  const std::lconv* conv = std::localeconv();
  if (conv == nullptr || conv->decimal_point == nullptr || conv->decimal_point[0] == '\0') {
    return ".";
  }
  return conv->decimal_point;
}

}  // namespace korvane::chart
