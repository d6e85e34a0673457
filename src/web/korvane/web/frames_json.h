// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "korvane/record/run.h"
#include "korvane/record/store.h"
#include "korvane/web/query.h"

namespace korvane::web {

// The run's frames between from and to (elapsed ms within the run; default its whole span)
// decimated to query.width pixel columns by the Runs plot's decimation: for every series, each
// column's first, lowest, highest and last point, so no peak is lost; the points kept are the
// union over all series, so every array shares "t". `frames` are the store's frames of the run's
// span (both channels; the run's channel is taken). Keys: id, start_utc_ms, from, to, width, t
// (elapsed ms), output_v, input_v, current_a, capacity_mah, temperature, cells_v (one array per
// cell the run used; null where a cell read 0).
std::string FramesJson(const record::RunSummary& run,
                       const std::vector<record::StoredFrame>& frames, const FramesQuery& query);

}  // namespace korvane::web
