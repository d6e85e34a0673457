// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/review_axis.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane::chart {

// What a calendar tick marks, and so what its label states: a time of day, a day, a month or a
// year.
enum class ReviewDateUnit : int { kHour, kDay, kWeek, kMonth, kYear };

// A step between calendar ticks: count units, all in local time (a week starts on Monday).
struct ReviewDateStep {
  ReviewDateUnit unit = ReviewDateUnit::kDay;
  int count = 1;
  friend bool operator==(const ReviewDateStep&, const ReviewDateStep&) = default;
};

// A tick's label from its UTC instant and the unit it marks: kHour, kDay, kMonth or kYear.
using ReviewDateLabel = std::function<std::string(std::int64_t utcMs, ReviewDateUnit unit)>;

// The smallest calendar step (1, 2, 3, 6, 12 h; 1, 2 days; 1 week; 1, 2, 3, 6 months; 1, 2, 5,
// 10, 20, 50, ... years) whose nominal length keeps ticks at least minSpacingPx apart when spanMs
// is drawn over widthPx. One hour for an empty or unusable span.
ReviewDateStep ReviewDateStepFor(double spanMs, double widthPx, double minSpacingPx);

// "14:00", "2025-03-30", "2025-03" and "2025" in the process' local time zone (TZ).
std::string DefaultDateLabel(std::int64_t utcMs, ReviewDateUnit unit);

// Ticks at the local-time boundaries of ReviewDateStepFor's step within [t0Ms, t1Ms] (UTC ms),
// in the process' local time zone: whole hours, midnights, Mondays, firsts of months, New Year's
// days. So the ticks of days across a change of daylight saving time lie 23 or 25 hours apart.
// A tick marks the largest unit it begins: an hour tick at midnight is a day, a week's is a day,
// a month tick in January is a year. Labels from `label`, else DefaultDateLabel.
// Empty when the range is reversed or not finite, or the width is not positive.
std::vector<ReviewTick> ReviewDateTicks(double t0Ms, double t1Ms, double widthPx,
                                        double minSpacingPx, const ReviewDateLabel& label = {});

}  // namespace korvane::chart
