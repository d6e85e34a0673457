// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::record {

// Estimates a channel's internal resistance from the voltage step between its last frame at
// rest (current below kRestMa) and the first frame at a steady current after it: R = dV / dI
// for the pack (output voltage) and for each cell in use (cell voltages). A step counts only
// when the rest frame is at most kMaxStepMs before that frame and the current changed by at
// least kMinStepMa. Feed it every frame of its channel, in or out of a run, so that the rest
// before a run's first load frame is seen. Not thread-safe.
class ResistanceEstimator {
 public:
  static constexpr int kRestMa = 50;
  static constexpr int kMinStepMa = 100;
  static constexpr std::int64_t kMaxStepMs = 10'000;

  void Add(std::int64_t utc_ms, const model::S_CHANNEL_DATA& data);
  // Steps found from now on belong to a new run; the rest frame seen last still counts.
  void BeginRun();
  // Medians of the steps since BeginRun, in milliohms; empty when there was none.
  std::optional<double> PackMohm() const;
  std::vector<double> CellMohm() const;  // per cell in use, in cell order
};

// Sets the run's health figures (ir_mohm, cell_ir_mohm, charged_mah, discharged_mah) from the
// stored frames `frames`: ids in order, from a little before its first frame (up to kMaxStepMs
// before its start) to its last frame. For runs recorded before the figures were kept.
void RecomputeHealth(RunSummary& run, const std::vector<StoredFrame>& frames);

}  // namespace korvane::record
