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

// "0.##": at least one integer digit, at most two decimals rounded half away from zero, trailing
// zeros and a trailing separator dropped, no grouping.
std::string FormatValue(double value, std::string_view decimalSeparator);

// The decimal separator of the C library's current numeric locale.
std::string LocaleDecimalSeparator();

// Nearest integer, ties to even; values outside the pixel range are clamped, NaN gives 0.
int RoundPixel(double value);

}  // namespace korvane::chart
