// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include "korvane/chart/review_decimate.h"

#include <cmath>

namespace korvane::chart::review_plot {
namespace {

int ValueDecimals(ReviewSeries s) {
  switch (s) {
    case ReviewSeries::kTemperature:
      return 1;
    default:
      return 3;  // volts, amperes and ampere-hours
  }
}

// The run whose frame the cursor stands at: the first run with frames in view whose span holds
// the pointer's time, else the first run with frames in view. Returns its frame nearest the time
// among those in view.
std::optional<std::pair<std::size_t, std::size_t>> CursorFrame(const State& state, double timeMs) {
  std::optional<std::pair<std::size_t, std::size_t>> found;
  for (std::size_t r = 0; r < state.runs.size(); ++r) {
    const std::vector<double>& xs = state.runs[r].elapsedMs;
    const auto [i0, i1] = FramesWithin(xs, state.view.Start(), state.view.End());
    if (i0 == i1)
      continue;
    const bool holds = xs.front() <= timeMs && timeMs <= xs.back();
    if (found && !holds)
      continue;
    const auto nearest = NearestIndex(std::span<const double>(xs).subspan(i0, i1 - i0), timeMs);
    found = {r, i0 + *nearest};
    if (holds)
      break;
  }
  return found;
}

}  // namespace

std::optional<ReadoutDetail> MakeReadout(const State& state) {
  const TRect& plot = state.layout.plot;
  if (!state.hover || !plot.Contains(state.hover->X, state.hover->Y))
    return std::nullopt;
  const ReviewSeriesMask plotted = Plotted(state);
  if (plotted == 0)
    return std::nullopt;
  // The pointer stands for its pixel's centre.
  const auto cursor = CursorFrame(state, state.view.TimeAt(state.hover->X - plot.Left + 0.5));
  if (!cursor)
    return std::nullopt;

  const ReviewRun& reference = state.runs[cursor->first];
  const double at = reference.elapsedMs[cursor->second];
  ReadoutDetail detail;
  ReviewReadout& readout = detail.readout;
  readout.x = XOf(state.layout, state.view, at);
  readout.elapsedMs = at;
  readout.lines.push_back(FormatElapsed(static_cast<std::int64_t>(at)));
  if (state.style.localTime)
    readout.lines.push_back(state.style.localTime(reference.startUtcMs + std::llround(at)));
  detail.firstValueLine = readout.lines.size();

  const bool labelled = state.runs.size() > 1;
  for (std::size_t r = 0; r < state.runs.size(); ++r) {
    const ReviewRun& run = state.runs[r];
    // A run that has ended (or not begun) by then has nothing to say.
    if (run.elapsedMs.empty() || at < run.elapsedMs.front() || at > run.elapsedMs.back())
      continue;
    const std::size_t frame = *NearestIndex(run.elapsedMs, at);
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      const auto s = static_cast<ReviewSeries>(k);
      const auto sk = static_cast<std::size_t>(k);
      if ((plotted & ReviewBit(s)) == 0 || !state.summaries[r][sk].hasValue)
        continue;
      std::string line;
      if (labelled && !run.label.empty())
        line = run.label + ": ";
      line += ReviewSeriesName(s);
      line += ' ';
      const double value = run.values[sk][frame];
      line += FormatFixed(value, ValueDecimals(s), state.style.decimalSeparator);
      if (!std::isnan(value)) {
        line += ' ';
        line += SeriesUnit(s, state.style);
      }
      readout.lines.push_back(std::move(line));
      detail.valueLooks.push_back(RunLook(r, s));
    }
  }
  return detail;
}

}  // namespace korvane::chart::review_plot
