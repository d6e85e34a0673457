// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/health.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace korvane::record {
namespace {

constexpr std::uint8_t kModeCharge = 1;
constexpr std::uint8_t kModeDischarge = 2;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

bool IsDrive(std::uint8_t mode) {
  return mode == kModeCharge || mode == kModeDischarge;
}

int SignedMa(const model::S_CHANNEL_DATA& data) {
  const int ma = data.OutputCurrent;
  switch (data.OperationMode) {
    case kModeCharge:
      return ma;
    case kModeDischarge:
      return -ma;
    default:
      return 0;
  }
}

double Ohms(std::uint16_t before_mv, std::uint16_t after_mv, int step_ma) {
  if (before_mv == 0 || after_mv == 0) {
    return kNone;
  }
  return std::abs(static_cast<double>(after_mv) - static_cast<double>(before_mv)) * 1000.0 /
         step_ma;
}

// Median of the values that are not NaN; `values` is reordered. NaN when there is none.
double Median(std::vector<double>& values) {
  std::erase_if(values, [](double v) { return std::isnan(v); });
  if (values.empty()) {
    return kNone;
  }
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2 != 0) {
    return *middle;
  }
  return (*middle + *std::max_element(values.begin(), middle)) / 2;
}

}  // namespace

bool ResistanceEstimator::Add(std::int64_t utc_ms, const model::S_CHANNEL_DATA& data) {
  Reading now{utc_ms, data.OperationMode, SignedMa(data), data.OutputVoltage, data.CellVoltage};
  const bool rest = data.OutputCurrent < kRestMa;
  const bool load = !rest && IsDrive(data.OperationMode);
  bool stepped = false;
  if (load_ && load && Steady(now)) {
    stepped = TakeStep();
    rest_.reset();
    load_.reset();
    return stepped;
  }
  load_.reset();
  if (rest) {
    rest_ = now;
  } else if (!load) {
    // Current outside a charge or discharge: no step spans it.
    rest_.reset();
  } else if (rest_) {
    // A load frame later than this cannot be steady in time either.
    const std::int64_t since_rest_ms = utc_ms - rest_->utc_ms;
    if (since_rest_ms < 0 || since_rest_ms > kMaxStepMs) {
      rest_.reset();
    } else {
      load_ = now;
    }
  }
  return stepped;
}

void ResistanceEstimator::BeginRun() {
  steps_.clear();
  load_.reset();
}

bool ResistanceEstimator::Steady(const Reading& next) const {
  if (next.mode != load_->mode) {
    return false;
  }
  const int drift = std::abs(next.ma - load_->ma);
  return drift <= kSteadyMa || drift <= kSteadyShare * std::abs(load_->ma);
}

bool ResistanceEstimator::TakeStep() {
  const int step_ma = std::abs(load_->ma - rest_->ma);
  if (step_ma < kMinStepMa) {
    return false;
  }
  Step step{Ohms(rest_->pack_mv, load_->pack_mv, step_ma), {}};
  bool any = !std::isnan(step.pack);
  for (std::size_t i = 0; i < step.cells.size(); ++i) {
    step.cells[i] = Ohms(rest_->cells_mv[i], load_->cells_mv[i], step_ma);
    any = any || !std::isnan(step.cells[i]);
  }
  if (any) {
    steps_.push_back(step);
  }
  return any;
}

std::optional<double> ResistanceEstimator::PackMohm() const {
  std::vector<double> values;
  values.reserve(steps_.size());
  for (const Step& step : steps_) {
    values.push_back(step.pack);
  }
  const double median = Median(values);
  return std::isnan(median) ? std::nullopt : std::optional<double>(median);
}

std::vector<double> ResistanceEstimator::CellMohm() const {
  std::vector<double> cells;
  std::vector<double> values;
  values.reserve(steps_.size());
  for (std::size_t i = 0; i < model::kCellCount; ++i) {
    values.clear();
    for (const Step& step : steps_) {
      values.push_back(step.cells[i]);
    }
    if (const double median = Median(values); !std::isnan(median)) {
      cells.push_back(median);
    }
  }
  return cells;
}

void RecomputeHealth(RunSummary& run, const std::vector<StoredFrame>& frames) {
  run.ir_mohm.reset();
  run.cell_ir_mohm.clear();
  run.charged_mah = 0;
  run.discharged_mah = 0;
  if (run.channel < 1 || run.channel > model::kChannelCount) {
    return;
  }
  const auto k = static_cast<std::size_t>(run.channel - 1);
  ResistanceEstimator estimator;
  bool begun = false;
  for (const StoredFrame& frame : frames) {
    if (frame.id > run.last_frame) {
      continue;
    }
    if (!begun && frame.id >= run.first_frame) {
      estimator.BeginRun();
      begun = true;
    }
    const model::S_CHANNEL_DATA& data = frame.record.Channels[k];
    estimator.Add(frame.record.UtcMs, data);
    if (!begun) {
      continue;
    }
    if (data.OperationMode == kModeCharge) {
      run.charged_mah = data.OutputCapacity;
    } else if (data.OperationMode == kModeDischarge) {
      run.discharged_mah = data.OutputCapacity;
    }
  }
  if (begun) {
    run.ir_mohm = estimator.PackMohm();
    run.cell_ir_mohm = estimator.CellMohm();
  }
}

}  // namespace korvane::record
