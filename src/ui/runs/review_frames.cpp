// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/review_frames.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "korvane/model/vocabulary.h"
#include "runs/run_texts.h"

namespace korvane::ui {
namespace {

using chart::ReviewSeries;

std::vector<double>& Values(chart::ReviewRun& run, ReviewSeries series) {
  return run.values[static_cast<std::size_t>(series)];
}

}  // namespace

chart::ReviewRun MakeReviewRun(const record::RunSummary& run,
                               std::span<const record::StoredFrame> frames, std::string label) {
  chart::ReviewRun out;
  out.label = std::move(label);
  out.startUtcMs = run.start_ms;
  AppendReviewFrames(out, run.channel, frames);
  return out;
}

void AppendReviewFrames(chart::ReviewRun& out, int channel,
                        std::span<const record::StoredFrame> frames) {
  const std::size_t index = static_cast<std::size_t>(std::clamp(channel, 1, 2) - 1);
  const std::size_t total = out.elapsedMs.size() + frames.size();
  out.elapsedMs.reserve(total);
  for (std::vector<double>& values : out.values) {
    values.reserve(total);
  }
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  for (const record::StoredFrame& frame : frames) {
    const model::S_CHANNEL_DATA& ch = frame.record.Channels[index];
    out.elapsedMs.push_back(static_cast<double>(frame.record.UtcMs - out.startUtcMs));
    Values(out, ReviewSeries::kOutputVoltage).push_back(ch.OutputVoltage / 1000.0);
    Values(out, ReviewSeries::kInputVoltage).push_back(ch.InputVoltage / 1000.0);
    for (int cell = 0; cell < model::kCellCount; ++cell) {
      const std::uint16_t mv = ch.CellVoltage[static_cast<std::size_t>(cell)];
      out.values[static_cast<std::size_t>(ReviewSeries::kCell1) + static_cast<std::size_t>(cell)]
          .push_back(mv == 0 ? kNone : mv / 1000.0);
    }
    Values(out, ReviewSeries::kCurrent).push_back(ch.OutputCurrent / 1000.0);
    Values(out, ReviewSeries::kCapacity).push_back(ch.OutputCapacity / 1000.0);
    const double degrees = ch.Temperature / 10.0;
    Values(out, ReviewSeries::kTemperature).push_back(ch.TemperatureSign == 0 ? -degrees : degrees);
  }
}

chart::ReviewPlotStyle RunsPlotStyle(int temperature_unit) {
  chart::ReviewPlotStyle style;
  style.decimalSeparator = model::DecimalSeparator();
  style.temperatureUnit = temperature_unit == 1 ? "\u00B0F" : "\u00B0C";
  style.localTime = [](std::int64_t utc_ms) { return LocalDateTimeText(utc_ms); };
  return style;
}

}  // namespace korvane::ui
