#include <korvane/chart/palette.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "review_plot_fixture.h"

namespace korvane::chart {
namespace {

using test::Fixture;
using test::kAll;
using test::MakeRun;
using Kind = test::RecordingCanvas::Kind;
using S = ReviewSeries;
using U = ReviewUnit;

// An hour of a charge, each value a ramp: the pack near 25 V, the cells 5 mV apart near 3.6 V.
ReviewRun Charge() {
  return MakeRun("A", 3601, 1000, [](S s, int i) {
    const int k = static_cast<int>(s) - static_cast<int>(S::kCell1);
    switch (s) {
      case S::kOutputVoltage:
        return 24 + i * 0.001;
      case S::kInputVoltage:
        return 15.0;
      case S::kCurrent:
        return 5 - i * 0.001;
      case S::kCapacity:
        return i * 0.001;
      case S::kTemperature:
        return 25 + i * 0.002;
      default:
        return 3.6 + k * 0.005 + i * 0.00001;
    }
  });
}

TEST(ReviewPanes, StackAPanePerShownUnitOverTheSameTimes) {
  const struct {
    ReviewSeriesMask shown;
    std::vector<U> units;
  } cases[] = {
      {ReviewBit(S::kOutputVoltage) | ReviewBit(S::kInputVoltage), {U::kVoltage}},
      {ReviewBit(S::kTemperature) | ReviewBit(S::kCell3), {U::kCellVoltage, U::kTemperature}},
      {kAll, {U::kVoltage, U::kCellVoltage, U::kCurrent, U::kCapacity, U::kTemperature}},
  };
  for (const auto& c : cases) {
    Fixture f({Charge()}, c.shown, 700, 420);
    const TRect area = f.plot.PlotArea();
    const auto panes = f.plot.Panes();
    std::vector<U> units;
    for (const ReviewPane& pane : panes) {
      units.push_back(pane.unit);
      EXPECT_EQ(pane.area.Left, area.Left);
      EXPECT_EQ(pane.area.Right, area.Right);
      EXPECT_GT(pane.area.Height(), area.Height() / 8);
    }
    ASSERT_EQ(units, c.units);
    EXPECT_EQ(panes.front().area.Top, area.Top);
    EXPECT_EQ(panes.back().area.Bottom, area.Bottom);
    for (std::size_t i = 1; i < panes.size(); ++i)
      EXPECT_GT(panes[i].area.Top, panes[i - 1].area.Bottom) << "a gap between panes";
    // Each pane's title stays beside it, cut to its unit where the name does not fit.
    const auto titles = f.Paint().OfKind(Kind::TextUp);
    ASSERT_EQ(titles.size(), panes.size());
    for (std::size_t i = 0; i < panes.size(); ++i) {
      const int length = f.metrics.TextWidth(titles[i].font, titles[i].text);
      EXPECT_LE(titles[i].points[0].Y, panes[i].area.Bottom) << titles[i].text;
      EXPECT_GE(titles[i].points[0].Y - length, panes[i].area.Top) << titles[i].text;
    }
  }
}

TEST(ReviewPanes, EachPaneFitsItsOwnVisibleValuesAndZoomRefitsThemAll) {
  const ReviewRun run = Charge();
  Fixture f({run}, kAll, 700, 420);
  const auto check = [&](const char* when) {
    const auto& xs = run.elapsedMs;
    const auto i0 = std::lower_bound(xs.begin(), xs.end(), f.plot.View().Start()) - xs.begin();
    const auto i1 = std::upper_bound(xs.begin(), xs.end(), f.plot.View().End()) - xs.begin();
    for (const ReviewPane& pane : f.plot.Panes()) {
      double lo = 1e9, hi = -1e9;
      for (int k = 0; k < kReviewSeriesCount; ++k) {
        if (UnitOf(static_cast<S>(k)) != pane.unit)
          continue;
        const auto& ys = run.values[static_cast<std::size_t>(k)];
        lo = std::min(lo, *std::min_element(ys.begin() + i0, ys.begin() + i1));
        hi = std::max(hi, *std::max_element(ys.begin() + i0, ys.begin() + i1));
      }
      const double slack = std::max(hi - lo, 0.1 * hi) * 0.1;
      EXPECT_LE(pane.lo, lo) << when << static_cast<int>(pane.unit);
      EXPECT_GE(pane.hi, hi) << when << static_cast<int>(pane.unit);
      EXPECT_GE(pane.lo, lo - slack) << when << static_cast<int>(pane.unit);
      EXPECT_LE(pane.hi, hi + slack) << when << static_cast<int>(pane.unit);
    }
  };
  check("whole run, pane ");
  const TRect area = f.plot.PlotArea();
  f.plot.ZoomToPixels(area.Left + area.Width() / 2, area.Right - area.Width() / 4);
  f.Paint();
  check("zoomed, pane ");
  // Every pane's curve spans the zoomed times.
  for (const auto& op : f.Paint().OfKind(Kind::Polyline)) {
    EXPECT_LE(op.points.front().X, area.Left + 1);
    EXPECT_GE(op.points.back().X, area.Right - 2);
  }
}

TEST(ReviewPanes, ReadoutFromAnyPaneListsEveryPanesValuesUnderOneCursor) {
  Fixture f({Charge()}, kAll, 700, 420);
  const TRect bottom = f.plot.Panes().back().area;
  f.plot.SetHover(TPoint{bottom.Left + 50, bottom.Top + 3});
  const auto readout = f.plot.Readout();
  ASSERT_TRUE(readout);
  EXPECT_EQ(readout->lines.size(), 1u + kReviewSeriesCount);
  const TRect area = f.plot.PlotArea();
  EXPECT_NE(f.Paint().FindLine({readout->x, area.Top}, {readout->x, area.Bottom - 1}), nullptr);
}

TEST(ReviewPanes, ValuesTheLiveChartDrawsKeepItsColours) {
  // The live chart's series: input voltage, output voltage, cells 1 to 7.
  for (int live = 0; live < 9; ++live) {
    const S s = live == 0   ? S::kInputVoltage
                : live == 1 ? S::kOutputVoltage
                            : static_cast<S>(static_cast<int>(S::kCell1) + live - 2);
    EXPECT_EQ(ReviewSeriesColor(s), NormalColor(live)) << ReviewSeriesName(s);
  }
}

}  // namespace
}  // namespace korvane::chart
