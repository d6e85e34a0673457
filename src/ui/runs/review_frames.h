// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/review_plot.h"

#include <span>
#include <string>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::ui {

// A recorded run as the plot takes it: the run's channel of each frame, times from the run's
// start, volts, amperes, ampere-hours and degrees (in the unit the charger sent). A cell reading
// 0 V is not in use and gives NaN.
chart::ReviewRun MakeReviewRun(const record::RunSummary& run,
                               std::span<const record::StoredFrame> frames, std::string label);

// Adds frames that followed those already in `out` (a run still being recorded).
void AppendReviewFrames(chart::ReviewRun& out, int channel,
                        std::span<const record::StoredFrame> frames);

// The plot's style for runs in `temperature_unit` (1 Fahrenheit, else Celsius): the current C
// locale's decimal separator and local date-time texts.
chart::ReviewPlotStyle RunsPlotStyle(int temperature_unit);

}  // namespace korvane::ui
