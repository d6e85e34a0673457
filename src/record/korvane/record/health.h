// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
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
//
// A load frame is a charge or discharge frame at kRestMa or more. It is at a steady current when
// the next frame is a load frame of the same mode whose current differs by at most
// kSteadyMa or kSteadyShare of it, whichever is more: a charger's soft start and the moment its
// regulation settles are left out, since its voltage and current readings of such a frame need
// not come from the same instant. The current counts as charging in charge mode, discharging in
// discharge mode, and as none in any other mode.
class ResistanceEstimator {
 public:
  static constexpr int kRestMa = 50;
  static constexpr int kMinStepMa = 100;
  static constexpr std::int64_t kMaxStepMs = 10'000;
  static constexpr int kSteadyMa = 30;
  static constexpr double kSteadyShare = 0.03;

  // True when this frame completed a step, so the medians changed.
  bool Add(std::int64_t utc_ms, const model::S_CHANNEL_DATA& data);
  // Steps found from now on belong to a new run; the rest frame seen last still counts.
  void BeginRun();
  // Medians of the steps since BeginRun, in milliohms; empty when there was none.
  std::optional<double> PackMohm() const;
  std::vector<double> CellMohm() const;  // per cell in use, in cell order

 private:
  struct Reading {
    std::int64_t utc_ms = 0;
    std::uint8_t mode = 0;
    int ma = 0;  // signed: charging positive
    std::uint16_t pack_mv = 0;
    std::array<std::uint16_t, model::kCellCount> cells_mv{};
  };
  // Milliohms; NaN where a frame of the step had no voltage (no pack, a cell not in use).
  struct Step {
    double pack;
    std::array<double, model::kCellCount> cells;
  };

  bool Steady(const Reading& next) const;
  bool TakeStep();

  std::optional<Reading> rest_;
  // The first load frame after rest_ not yet shown steady or unsteady by the frame after it.
  std::optional<Reading> load_;
  std::vector<Step> steps_;
};

// Sets the run's health figures (ir_mohm, cell_ir_mohm, charged_mah, discharged_mah) from the
// stored frames `frames`: ids in order, from a little before its first frame (up to kMaxStepMs
// before its start) to its last frame. For runs recorded before the figures were kept.
void RecomputeHealth(RunSummary& run, const std::vector<StoredFrame>& frames);

}  // namespace korvane::record
