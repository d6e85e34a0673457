#include <korvane/chart/axis.h>

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

std::string FormatValue(double value, std::string_view decimalSeparator) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value > 0 ? "INF" : "-INF";
  const Decimal15 dec = ToDecimal15(value);
  // Digits of round(|value| * 100), most significant first.
  std::string hundredths;
  const int keep = dec.exponent + 3;  // digits of the 15 that lie at or above 10^-2
  if (keep <= 0) {
    hundredths.assign(1, (keep == 0 && dec.digits[0] >= '5') ? '1' : '0');
  } else if (keep >= 15) {
    hundredths.assign(dec.digits, 15);
    hundredths.append(static_cast<size_t>(keep - 15), '0');
  } else {
    hundredths.assign(dec.digits, static_cast<size_t>(keep));
    if (dec.digits[keep] >= '5') {
      int i = keep - 1;
      for (; i >= 0 && hundredths[i] == '9'; --i)
        hundredths[i] = '0';
      if (i >= 0) {
        ++hundredths[i];
      } else {
        hundredths.insert(hundredths.begin(), '1');
      }
    }
  }
  if (hundredths.size() < 3)
    hundredths.insert(0, 3 - hundredths.size(), '0');
  std::string integral = hundredths.substr(0, hundredths.size() - 2);
  std::string decimals = hundredths.substr(hundredths.size() - 2);
  while (!decimals.empty() && decimals.back() == '0')
    decimals.pop_back();
  std::string text;
  const bool zero = integral == "0" && decimals.empty();
  if (value < 0 && !zero)
    text = "-";
  text += integral;
  if (!decimals.empty()) {
    text += decimalSeparator;
    text += decimals;
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
