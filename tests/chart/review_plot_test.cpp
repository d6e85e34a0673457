// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_plot.h"
#include "korvane/chart/fixed_text_metrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "review_plot_fixture.h"

namespace korvane::chart {
namespace {

using test::Fixture;
using test::kAll;
using test::kNaN;
using test::MakeRun;
using Kind = test::RecordingCanvas::Kind;
using test::RecordingCanvas;
using S = ReviewSeries;

TEST(ReviewPlot, DrawsAnAxisOnlyForShownValuesTitledWithTheirUnits) {
  const struct {
    ReviewSeriesMask shown;
    std::vector<std::string> titles;
  } cases[] = {
      {ReviewBit(S::kOutputVoltage), {"Voltage [V]"}},
      {ReviewBit(S::kCurrent) | ReviewBit(S::kTemperature),
       {"Current [A]", "Temperature [\u00B0F]"}},
      {ReviewBit(S::kCell1) | ReviewBit(S::kCapacity), {"Cells [V]", "Capacity [Ah]"}},
  };
  for (const auto& c : cases) {
    Fixture f({MakeRun("A", 100, 1000, [](S, int i) { return i * 0.01; })}, c.shown);
    ReviewPlotStyle style;
    style.temperatureUnit = "\u00B0F";
    f.plot.SetStyle(style);
    std::vector<std::string> titles;
    for (const auto& op : f.Paint().OfKind(Kind::TextUp))
      titles.push_back(op.text);
    EXPECT_EQ(titles, c.titles);
  }
}

TEST(ReviewPlot, ValueAxisFitsTheVisibleValuesWithLabelsStatingTheirTicks) {
  // A slow ramp with a spike near the start and gaps; the view leaves the spike out.
  auto run = MakeRun("A", 3600, 1000, [](S, int i) {
    return i == 10 ? 30.0 : i % 97 == 0 ? kNaN : 4.1 + i * 0.00005;
  });
  Fixture f({run}, ReviewBit(S::kOutputVoltage));
  ReviewPlotStyle style;
  style.decimalSeparator = ",";
  f.plot.SetStyle(style);
  const TRect area = f.plot.PlotArea();
  f.plot.ZoomToPixels(area.Left + area.Width() / 2, area.Right);
  const RecordingCanvas canvas = f.Paint();

  int top = area.Bottom, bottom = area.Top;
  for (const auto& op : canvas.OfKind(Kind::Polyline)) {
    for (const TPoint& p : op.points) {
      top = std::min(top, p.Y);
      bottom = std::max(bottom, p.Y);
    }
  }
  EXPECT_GE(top, area.Top);
  EXPECT_LT(bottom, area.Bottom);
  EXPECT_GT(bottom - top, area.Height() * 8 / 10) << "range fitted to the visible values";

  // Labels evenly spaced in pixels state evenly spaced values: none rounded to a neighbour's.
  const auto labels = f.LeftLabels(canvas);
  ASSERT_GE(labels.size(), 3u);
  const auto first = labels.begin();
  const auto last = std::prev(labels.end());
  const double pxPerValue = (last->second - first->second) / (last->first - first->first);
  for (const auto& [value, y] : labels)
    EXPECT_NEAR(y, first->second + (value - first->first) * pxPerValue, 1) << value;
}

TEST(ReviewPlot, FlatSeriesGetARangeAroundTheirValue) {
  Fixture f({MakeRun("A", 100, 1000, [](S s, int) { return s == S::kOutputVoltage ? 4.2 : 0.0; })},
            ReviewBit(S::kOutputVoltage) | ReviewBit(S::kCurrent));
  const RecordingCanvas canvas = f.Paint();
  const auto panes = f.plot.Panes();
  ASSERT_EQ(panes.size(), 2u);
  for (const auto& op : canvas.OfKind(Kind::Polyline)) {
    const TRect area = panes[op.pen.Color == ReviewSeriesColor(S::kCurrent)].area;
    for (const TPoint& p : op.points) {
      EXPECT_GT(p.Y, area.Top + area.Height() / 4);
      EXPECT_LT(p.Y, area.Bottom - area.Height() / 4);
    }
  }
  EXPECT_GE(f.LeftLabels(canvas).size(), 2u);
}

TEST(ReviewPlot, CurvesKeepAtMostFourPointsPerColumnAndBreakAtGaps) {
  auto day = MakeRun("Day", 86400, 1000, [](S s, int i) {
    if (s == S::kCell7 && i >= 40000 && i < 41000)
      return kNaN;
    return static_cast<int>(s) + std::sin(i * 0.01) + (i % 7) * 0.01;
  });
  Fixture f({day}, kAll, 1100, 500);
  const RecordingCanvas canvas = f.Paint();
  const TRect area = f.plot.PlotArea();
  std::map<TColor, std::size_t> pointsByColor;
  std::map<TColor, int> piecesByColor;
  for (const auto& op : canvas.OfKind(Kind::Polyline)) {
    pointsByColor[op.pen.Color] += op.points.size();
    ++piecesByColor[op.pen.Color];
    for (const TPoint& p : op.points)
      EXPECT_TRUE(area.Contains(p.X, p.Y)) << p.X << "," << p.Y;
  }
  EXPECT_EQ(pointsByColor.size(), static_cast<std::size_t>(kReviewSeriesCount)) << "own colours";
  for (const auto& [color, points] : pointsByColor)
    EXPECT_LE(points, 4u * static_cast<std::size_t>(area.Width()));
  std::vector<int> pieces;
  for (const auto& [color, count] : piecesByColor)
    pieces.push_back(count);
  std::sort(pieces.begin(), pieces.end());
  std::vector<int> expected(kReviewSeriesCount - 1, 1);
  expected.push_back(2);  // cell 7 around its gap
  EXPECT_EQ(pieces, expected);
}

TEST(ReviewPlot, RunsDifferInLineStyleAndGetLegendEntriesAboveThePlot) {
  const auto ramp = [](S, int i) { return i * 0.1; };
  const ReviewSeriesMask shown = ReviewBit(S::kOutputVoltage) | ReviewBit(S::kCurrent);
  for (const int width : {800, 260}) {
    Fixture f({MakeRun("A", 60, 1000, ramp), MakeRun("B", 90, 1000, ramp)}, shown, width, 400);
    const RecordingCanvas canvas = f.Paint();
    std::set<std::pair<TColor, TPenStyle>> pens;
    for (const auto& op : canvas.OfKind(Kind::Polyline))
      pens.insert({op.pen.Color, op.pen.Style});
    EXPECT_EQ(pens.size(), 4u);
    std::set<TPenStyle> styles;
    for (const auto& pen : pens)
      styles.insert(pen.second);
    EXPECT_EQ(styles, (std::set<TPenStyle>{TPenStyle::Solid, TPenStyle::Dash}));

    std::vector<TRect> boxes;
    for (const char* text :
         {"A: Output voltage", "A: Current", "B: Output voltage", "B: Current"}) {
      const auto* op = canvas.FindText(text);
      ASSERT_NE(op, nullptr) << text;
      const TPoint at = op->points[0];
      const TRect box{at.X, at.Y, at.X + f.metrics.TextWidth(op->font, text),
                      at.Y + f.metrics.TextHeight(op->font, text)};
      EXPECT_LE(box.Bottom, f.plot.PlotArea().Top) << text;
      EXPECT_LE(box.Right, width) << text;
      for (const TRect& other : boxes) {
        EXPECT_TRUE(box.Left >= other.Right || box.Top >= other.Bottom) << text << " overlaps";
      }
      boxes.push_back(box);
    }
  }
}

TEST(ReviewPlot, LegendThatWouldCrowdThePlotSaysHowManyEntriesItLeavesOut) {
  const auto ramp = [](S, int i) { return i * 0.1; };
  Fixture f({MakeRun("A", 60, 1000, ramp), MakeRun("B", 60, 1000, ramp)}, kAll, 400, 200);
  const RecordingCanvas canvas = f.Paint();
  int entries = 0;
  std::string more;
  for (const auto& op : canvas.OfKind(Kind::Text)) {
    entries += op.text.starts_with("A: ") || op.text.starts_with("B: ");
    if (op.text.ends_with(" more"))
      more = op.text;
  }
  EXPECT_EQ(more, "+" + std::to_string(24 - entries) + " more");
  EXPECT_GE(f.plot.PlotArea().Height(), 100);
}

constexpr ReviewSeriesMask kReadoutShown = ReviewBit(S::kOutputVoltage) | ReviewBit(S::kCurrent) |
                                           ReviewBit(S::kCapacity) | ReviewBit(S::kTemperature);

// A plot area 200 pixels wide: over 200 seconds, a pixel is a second.
void FitPlotWidth(Fixture& f) {
  for (int i = 0; i < 3; ++i)  // the legend's rows follow the width
    f.plot.Resize(f.plot.Width() + 200 - f.plot.PlotArea().Width(), 300, f.metrics);
  EXPECT_EQ(f.plot.PlotArea().Width(), 200);
}

ReviewRun ReadoutRun(std::string label, int frames) {
  const auto values = [](S s, int i) {
    switch (s) {
      case S::kOutputVoltage:
        return 12.3456 + i;
      case S::kCurrent:
        return -2.126;
      case S::kCapacity:
        return 0.5;
      case S::kTemperature:
        return 31.27;
      default:
        return kNaN;
    }
  };
  ReviewRun run = MakeRun(std::move(label), frames, 1000, values);
  run.startUtcMs = 5000000;
  return run;
}

TEST(ReviewPlot, ReadoutShowsTheFrameNearestThePointer) {
  Fixture f({ReadoutRun("A", 201)}, kReadoutShown);
  FitPlotWidth(f);
  const TRect area = f.plot.PlotArea();
  // A pixel's centre lies halfway between two frames: the earlier is nearest.
  const struct {
    int x;
    double frameMs;
  } cases[] = {
      {area.Left, 0},
      {area.Left + 1, 1000},
      {area.Left + 57, 57000},
      {area.Right - 1, 199000},
  };
  for (const auto& c : cases) {
    f.plot.SetHover(TPoint{c.x, area.Top + 5});
    const auto readout = f.plot.Readout();
    ASSERT_TRUE(readout) << c.x;
    EXPECT_EQ(readout->elapsedMs, c.frameMs) << c.x;
    EXPECT_EQ(readout->x, c.x);
  }
  f.plot.SetHover(TPoint{area.Right, area.Top + 5});
  EXPECT_FALSE(f.plot.Readout());
  f.plot.SetHover(std::nullopt);
  EXPECT_FALSE(f.plot.Readout());
}

TEST(ReviewPlot, ReadoutStatesTimesAndValuesWithUnits) {
  Fixture f({ReadoutRun("A", 201)}, kReadoutShown);
  FitPlotWidth(f);
  ReviewPlotStyle style;
  style.decimalSeparator = ",";
  style.localTime = [](std::int64_t utcMs) { return "at " + std::to_string(utcMs); };
  f.plot.SetStyle(style);
  f.plot.SetHover(TPoint{f.plot.PlotArea().Left + 3, f.plot.PlotArea().Top + 5});
  EXPECT_EQ(
      f.plot.Readout()->lines,
      (std::vector<std::string>{"0:00:03", "at 5003000", "Output voltage 15,346 V",
                                "Current -2,126 A", "Capacity 0,500 Ah", "Temperature 31,3 °C"}));

  // Past the first run's end the second run's frames lead; the ended run says nothing.
  Fixture two({ReadoutRun("A", 41), ReadoutRun("B", 201)}, kReadoutShown);
  FitPlotWidth(two);
  two.plot.SetShown(ReviewBit(S::kOutputVoltage));
  two.plot.SetHover(TPoint{two.plot.PlotArea().Left + 60, two.plot.PlotArea().Top + 5});
  EXPECT_EQ(two.plot.Readout()->lines,
            (std::vector<std::string>{"0:01:00", "B: Output voltage 72.346 V"}));
}

TEST(ReviewPlot, ZoomAndPanTakeClientPixels) {
  // Whole volts in full view, tenths zoomed in: the wider labels move the plot area.
  const auto ramp = [](S, int i) { return i * 0.001; };
  Fixture f({MakeRun("A", 3601, 1000, ramp), MakeRun("B", 7201, 1000, ramp)},
            ReviewBit(S::kOutputVoltage));
  const ReviewView& view = f.plot.View();
  EXPECT_EQ(view.Start(), 0);
  EXPECT_EQ(view.End(), 7200000) << "the longest run";
  const auto timeAt = [&](int x) { return view.TimeAt(x - f.plot.PlotArea().Left); };

  const int left = f.plot.PlotArea().Left;
  const int x = left + 100;
  const double t = timeAt(x);
  f.plot.ZoomAt(x, 4);
  f.Paint();
  EXPECT_NE(f.plot.PlotArea().Left, left);
  EXPECT_NEAR(timeAt(x), t, 1e-6);
  EXPECT_NEAR(view.End() - view.Start(), 1800000, 1e-6);

  const double start = view.Start();
  const double msPerPixel = (view.End() - view.Start()) / view.Width();
  f.plot.PanBy(10);
  EXPECT_NEAR(view.Start(), start - 10 * msPerPixel, 1e-6);

  const int a = f.plot.PlotArea().Left + 50;
  const int b = f.plot.PlotArea().Left + 250;
  const double ta = timeAt(a), tb = timeAt(b);
  f.plot.ZoomToPixels(a, a + 2);  // too small a drag
  EXPECT_EQ(timeAt(a), ta);
  f.plot.ZoomToPixels(b, a);
  EXPECT_NEAR(view.Start(), ta, 1e-6);
  EXPECT_NEAR(view.End(), tb, 1e-6);

  f.plot.Resize(900, 500, f.metrics);
  EXPECT_NEAR(view.Start(), ta, 1e-6);
  EXPECT_NEAR(view.End(), tb, 1e-6);
  // A run still being recorded grows: a zoomed view stays, a whole view grows with it.
  f.plot.UpdateRuns({MakeRun("A", 3601, 1000, ramp), MakeRun("B", 7301, 1000, ramp)});
  EXPECT_NEAR(f.plot.View().Start(), ta, 1e-6);
  EXPECT_NEAR(f.plot.View().End(), tb, 1e-6);
  f.plot.ResetView();
  EXPECT_EQ(f.plot.View().Start(), 0);
  f.plot.UpdateRuns({MakeRun("A", 3601, 1000, ramp), MakeRun("B", 7401, 1000, ramp)});
  EXPECT_EQ(f.plot.View().End(), 7400000);
}

TEST(ReviewPlot, RubberBandHighlightsTheSpanBetweenItsXsInsideThePlot) {
  Fixture f({MakeRun("A", 100, 1000, [](S, int i) { return i; })}, ReviewBit(S::kCell1));
  const TRect area = f.plot.PlotArea();
  const struct {
    int x0, x1, left, right;
  } cases[] = {
      {area.Left + 90, area.Left + 20, area.Left + 20, area.Left + 91},
      {0, area.Left + 5, area.Left, area.Left + 6},
      {area.Left + 5, f.plot.Width(), area.Left + 5, area.Right},
  };
  for (const auto& c : cases) {
    f.plot.SetRubberBand(std::pair{c.x0, c.x1});
    const auto fills = f.Paint().OfKind(Kind::FillRect);
    ASSERT_GE(fills.size(), 2u);
    EXPECT_EQ(fills[1].rect, (TRect{c.left, area.Top, c.right, area.Bottom})) << c.x0;
  }
  f.plot.SetRubberBand(std::nullopt);
  EXPECT_EQ(f.Paint().OfKind(Kind::FillRect).size(), 1u);
}

TEST(ReviewPlot, EmptyPlotsSayWhyAndNoSizeIsTooSmall) {
  const auto some = [](S s, int i) { return s == S::kCell7 ? kNaN : i * 1.0; };
  const struct {
    std::vector<ReviewRun> runs;
    ReviewSeriesMask shown;
    const char* hint;
  } cases[] = {
      {{}, kAll, "No run selected"},
      {{MakeRun("A", 10, 1000, some)}, 0, "No values chosen"},
      {{MakeRun("A", 10, 1000, some)}, ReviewBit(S::kCell7), "No values recorded"},
  };
  for (const auto& c : cases) {
    for (const auto& [w, h] : {std::pair{600, 300}, std::pair{0, 0}, std::pair{5, 5}}) {
      Fixture f(c.runs, c.shown, w, h);
      f.plot.SetHover(TPoint{w / 2, h / 2});
      EXPECT_FALSE(f.plot.Readout());
      const auto centred = f.Paint().OfKind(Kind::TextCentered);
      ASSERT_EQ(centred.size(), 1u);
      EXPECT_EQ(centred[0].text, c.hint);
      EXPECT_EQ(centred[0].rect, f.plot.PlotArea());
    }
  }
  for (const auto& [w, h] : {std::pair{0, 0}, std::pair{5, 5}}) {
    Fixture f({MakeRun("A", 10, 1000, some)}, kAll, w, h);
    EXPECT_FALSE(f.Paint().OfKind(Kind::Polyline).empty()) << w;
  }
}

}  // namespace
}  // namespace korvane::chart
