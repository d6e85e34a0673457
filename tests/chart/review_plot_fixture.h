// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs and a plot to draw them with, for the Runs plot's tests.

#include "korvane/chart/fixed_text_metrics.h"
#include "korvane/chart/review_plot.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "recording_canvas.h"

namespace korvane::chart::test {

using S = ReviewSeries;

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr ReviewSeriesMask kAll = (ReviewSeriesMask{1} << kReviewSeriesCount) - 1;

// frames frames stepMs apart, each series s at frame i holding value(s, i).
inline ReviewRun MakeRun(std::string label, int frames, double stepMs,
                         const std::function<double(S, int)>& value) {
  ReviewRun run;
  run.label = std::move(label);
  for (int i = 0; i < frames; ++i) {
    run.elapsedMs.push_back(i * stepMs);
    for (int k = 0; k < kReviewSeriesCount; ++k)
      run.values[static_cast<std::size_t>(k)].push_back(value(static_cast<S>(k), i));
  }
  return run;
}

struct Fixture {
  ReviewPlot plot;
  FixedTextMetrics metrics;

  Fixture(std::vector<ReviewRun> runs, ReviewSeriesMask shown, int w = 600, int h = 300) {
    plot.SetRuns(std::move(runs));
    plot.SetShown(shown);
    plot.Resize(w, h, metrics);
  }
  RecordingCanvas Paint() {
    RecordingCanvas canvas;
    plot.Paint(canvas, metrics);
    return canvas;
  }
  // Texts drawn left of the plot area: the value axes' labels, by value.
  std::multimap<double, int> LeftLabels(const RecordingCanvas& canvas) {
    std::multimap<double, int> labels;
    for (const auto& op : canvas.OfKind(RecordingCanvas::Kind::Text)) {
      if (op.points[0].X + metrics.TextWidth(op.font, op.text) < plot.PlotArea().Left) {
        std::string text = op.text;
        std::replace(text.begin(), text.end(), ',', '.');
        labels.emplace(std::strtod(text.c_str(), nullptr), op.points[0].Y);
      }
    }
    return labels;
  }
};

}  // namespace korvane::chart::test
