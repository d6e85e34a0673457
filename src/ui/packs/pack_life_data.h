// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/review_plot.h"

#include <vector>

#include "korvane/record/packs.h"
#include "korvane/record/run.h"

namespace korvane::ui {

// The life chart of packs as the review plot's traces, against the runs' start dates: per pack,
// in the order given, its finished charges and discharges (capacity in mAh, left axis), its
// runs' resistance estimates (mOhm, right axis) and its rated capacity as a level. Each point's
// key is its run's id. Packs differ by marker and line style, the series by colour. Runs of no
// pack or of a pack not given are left out.
chart::ReviewTraceSet PackLifeTraces(const std::vector<record::PackFigures>& packs,
                                     const std::vector<record::RunSummary>& runs);

}  // namespace korvane::ui
