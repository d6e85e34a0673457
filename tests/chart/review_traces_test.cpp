// SPDX-License-Identifier: GPL-3.0-or-later
// The review plot's traces: what the life chart of packs draws with it.

#include "korvane/chart/fixed_text_metrics.h"
#include "korvane/chart/review_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recording_canvas.h"

namespace korvane::chart {
namespace {

using test::RecordingCanvas;

constexpr double kDay = 24 * 3600e3;
constexpr double kT0 = 1.7e12;
constexpr TColor kCharge = RgbToColor(0, 0x9E, 0x73);
constexpr TColor kIr = RgbToColor(0xE6, 0x9F, 0);

ReviewTrace Trace(std::string name, TColor color, ReviewSide side, std::vector<double> days,
                  std::vector<double> ys, std::vector<std::int64_t> keys) {
  ReviewTrace t;
  t.name = std::move(name);
  t.unit = side == ReviewSide::kLeft ? "mAh" : "mOhm";
  t.color = color;
  t.side = side;
  t.decimals = side == ReviewSide::kLeft ? 0 : 1;
  for (const double d : days)
    t.xs.push_back(kT0 + d * kDay);
  t.ys = std::move(ys);
  t.keys = std::move(keys);
  return t;
}

// Charges of runs 11..14 and the IR of runs 11 and 13, the rated capacity above them all.
struct Traces : ::testing::Test {
  ReviewPlot plot;
  FixedTextMetrics metrics;

  Traces() {
    ReviewPlotStyle style;
    style.timeAxis = ReviewTimeAxis::kCalendar;
    style.localTime = [](std::int64_t ms) { return "at " + std::to_string(ms); };
    plot.SetStyle(style);
    ReviewTraceSet set;
    // Out of order on purpose: the plot sorts a trace's points by time, keys along.
    set.traces.push_back(Trace("A charge", kCharge, ReviewSide::kLeft, {0, 20, 10, 30},
                               {1800, 1700, 1750, 1650}, {11, 13, 12, 14}));
    set.traces.push_back(Trace("A IR", kIr, ReviewSide::kRight, {0, 20}, {10.0, 20.0}, {11, 13}));
    set.levels.push_back({"A rated", 2200, 0, TPenStyle::Dash, ReviewSide::kLeft});
    plot.SetTraces(std::move(set));
    plot.Resize(600, 300, metrics);
  }

  // The centres of the markers drawn in a colour in the plot area (not the legend's), left to
  // right.
  std::vector<TPoint> Markers(TColor color) {
    RecordingCanvas canvas;
    plot.Paint(canvas, metrics);
    std::vector<TPoint> centres;
    for (const auto& op : canvas.OfKind(RecordingCanvas::Kind::Polyline)) {
      if (op.pen.Color != color || op.points.size() < 3)
        continue;
      const auto [minX, maxX] = std::minmax_element(op.points.begin(), op.points.end(),
                                                    [](TPoint a, TPoint b) { return a.X < b.X; });
      const auto [minY, maxY] = std::minmax_element(op.points.begin(), op.points.end(),
                                                    [](TPoint a, TPoint b) { return a.Y < b.Y; });
      const TPoint centre{(minX->X + maxX->X) / 2, (minY->Y + maxY->Y) / 2};
      if (plot.PlotArea().Contains(centre.X, centre.Y))
        centres.push_back(centre);
    }
    return centres;
  }
};

TEST_F(Traces, TheLeftAxisHoldsTheLevelAndTheRightAxisTheRightTraces) {
  const std::vector<ReviewPane> panes = plot.Panes();
  ASSERT_EQ(panes.size(), 1u);
  EXPECT_LE(panes[0].lo, 1650);
  EXPECT_GE(panes[0].hi, 2200);
  ASSERT_TRUE(panes[0].right);
  EXPECT_LE(panes[0].right->first, 10.0);
  EXPECT_GE(panes[0].right->second, 20.0);
  EXPECT_LT(panes[0].right->second, 100.0);  // not stretched by the capacities
}

TEST_F(Traces, ADrawnMarkerHitsItsRunAndNothingBeyondTheRadius) {
  const std::vector<TPoint> charges = Markers(kCharge);
  ASSERT_EQ(charges.size(), 4u);
  const std::int64_t keys[] = {11, 12, 13, 14};
  for (std::size_t i = 0; i < charges.size(); ++i) {
    const auto hit = plot.PointAt({charges[i].X + 2, charges[i].Y - 2});
    ASSERT_TRUE(hit) << i;
    EXPECT_EQ(hit->key, keys[i]);
    EXPECT_EQ(hit->trace, 0u);
  }
  // The IR markers stand at their own axis' heights, not at the capacities'.
  const std::vector<TPoint> ir = Markers(kIr);
  ASSERT_EQ(ir.size(), 2u);
  const auto hit = plot.PointAt(ir[1]);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->trace, 1u);
  EXPECT_EQ(hit->key, 13);
  EXPECT_FALSE(plot.PointAt({charges[0].X, charges[0].Y + 7}));
}

TEST_F(Traces, TheReadoutNamesTheNearestRunAndEveryValueAtItsTime) {
  const std::vector<TPoint> charges = Markers(kCharge);
  ASSERT_EQ(charges.size(), 4u);
  plot.SetHover(TPoint{charges[2].X + 3, plot.PlotArea().Top + 5});
  const auto readout = plot.Readout();
  ASSERT_TRUE(readout);
  EXPECT_EQ(readout->x, charges[2].X);
  const auto at = static_cast<std::int64_t>(kT0 + 20 * kDay);
  EXPECT_EQ(readout->lines, (std::vector<std::string>{"at " + std::to_string(at), "Run 13",
                                                      "A charge 1700 mAh", "A IR 20.0 mOhm"}));
}

}  // namespace
}  // namespace korvane::chart
