// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace korvane::chart {

// Picks a "nice" tick step (a multiple of half a power of ten) and a start value so that
// Count ticks (at least three, see AxisIntervals) cover Min..Max.
void CalculateAxis(double Min, double Max, int Count, double& Step, double& Start);

// Number of tick intervals CalculateAxis fits the range into for a wanted tick count.
constexpr int AxisIntervals(int count) {
  return count - 1 > 2 ? count - 1 : 2;
}

// The tick Start + index * Step; a tick within a billionth of a step of zero is exactly zero, so
// the zero line and the bar baseline find it.
double TickValue(double Start, double Step, int index);

// Decimals for the labels of ticks Step apart in data units, shown divided by Scale: the fewest
// with which every label states its tick exactly at the step's precision, and never fewer than
// two. A step that no decimal writes exactly (a step of 100 under a scale of 60) gets two.
int LabelDecimals(double Step, float Scale);

// "0.##" with as many '#' as decimals: at least one integer digit, at most that many decimals
// rounded half away from zero, trailing zeros and a trailing separator dropped, no grouping.
std::string FormatValue(double value, std::string_view decimalSeparator, int decimals = 2);

// The decimal separator of the C library's current numeric locale.
std::string LocaleDecimalSeparator();

// Nearest integer, ties to even; values outside the pixel range are clamped, NaN gives 0.
int RoundPixel(double value);

}  // namespace korvane::chart
