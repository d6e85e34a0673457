// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::chart {

struct ReviewTick {
  double value;  // milliseconds on a time axis, data units on a value axis
  std::string label;
};

// The smallest clock-friendly step (1 s, 2 s, 5 s, 10 s, 15 s, 30 s, 1, 2, 5, 10, 15, 30 min,
// 1, 2, 3, 6, 12, 24 h, then whole days) that keeps ticks at least minSpacingPx apart when
// spanMs is drawn over widthPx. In milliseconds; 1 s for an empty or unusable span.
std::int64_t ReviewTimeStep(double spanMs, double widthPx, double minSpacingPx);

// Elapsed time as "H:MM:SS", hours unpadded and unbounded ("26:00:00"); sub-second parts are
// truncated.
std::string FormatElapsed(std::int64_t ms);

// Ticks at the multiples of ReviewTimeStep within [t0Ms, t1Ms], labelled with FormatElapsed.
// Empty when the range is reversed or not finite, or the width is not positive.
std::vector<ReviewTick> ReviewTimeTicks(double t0Ms, double t1Ms, double widthPx,
                                        double minSpacingPx = 80);

// The smallest 1-2-5 step (m * 10^e, m in {1, 2, 5}) that keeps ticks at least minSpacingPx
// apart when span is drawn over lengthPx; 1 for an empty or unusable span.
double ReviewValueStep(double span, double lengthPx, double minSpacingPx);

// Ticks at the multiples of ReviewValueStep within [v0, v1], each the double nearest its decimal
// value, labelled with as few decimals as state every tick exactly.
std::vector<ReviewTick> ReviewValueTicks(double v0, double v1, double lengthPx, double minSpacingPx,
                                         std::string_view decimalSeparator);

}  // namespace korvane::chart
