// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "review_plot_fixture.h"

namespace korvane::chart {
namespace {

using test::Fixture;
using Kind = test::RecordingCanvas::Kind;
using S = ReviewSeries;
using U = ReviewUnit;

// An hour of ramps: the pack near 25 V, the cells 5 mV apart near 3.6 V, each other value its own.
ReviewRun Charge() {
  return test::MakeRun("A", 3601, 1000, [](S s, int i) {
    const int k = static_cast<int>(s);
    return k < 2   ? 24 - 9 * k + i * 0.001 * (1 - k)
           : k < 9 ? 3.6 + k * 0.005 + i * 1e-5
                   : k * i * 0.001;
  });
}

TEST(ReviewPanes, StackAPanePerShownUnitOverTheSameTimesEachFittedToItsValues) {
  const struct {
    ReviewSeriesMask shown;
    std::vector<U> units;
  } cases[] = {
      {ReviewBit(S::kOutputVoltage) | ReviewBit(S::kInputVoltage), {U::kVoltage}},
      {ReviewBit(S::kTemperature) | ReviewBit(S::kCell3), {U::kCellVoltage, U::kTemperature}},
      {test::kAll, {U::kVoltage, U::kCellVoltage, U::kCurrent, U::kCapacity, U::kTemperature}},
  };
  const ReviewRun run = Charge();
  for (const auto& c : cases) {
    Fixture f({run}, c.shown, 700, 420);
    // A zoom refits every pane to the values now in view.
    const TRect full = f.plot.PlotArea();
    f.plot.ZoomToPixels(full.Left + full.Width() / 2, full.Right - full.Width() / 4);
    const auto titles = f.Paint().OfKind(Kind::TextUp);
    const TRect area = f.plot.PlotArea();
    const auto panes = f.plot.Panes();
    ASSERT_EQ(titles.size(), c.units.size());
    const auto& xs = run.elapsedMs;
    const auto i0 = std::lower_bound(xs.begin(), xs.end(), f.plot.View().Start()) - xs.begin();
    const auto i1 = std::upper_bound(xs.begin(), xs.end(), f.plot.View().End()) - xs.begin();
    for (std::size_t p = 0; p < panes.size(); ++p) {
      const ReviewPane& pane = panes[p];
      EXPECT_EQ(pane.unit, c.units[p]);
      EXPECT_EQ(pane.area.Top, p == 0 ? area.Top : panes[p - 1].area.Bottom + 8);
      EXPECT_EQ(pane.area.Left, area.Left);
      EXPECT_EQ(pane.area.Right, area.Right);
      // The title stays beside its pane.
      EXPECT_LE(titles[p].points[0].Y, pane.area.Bottom) << titles[p].text;
      EXPECT_GE(titles[p].points[0].Y - f.metrics.TextWidth(titles[p].font, titles[p].text),
                pane.area.Top)
          << titles[p].text;
      double lo = 1e9, hi = -1e9;
      for (int k = 0; k < kReviewSeriesCount; ++k) {
        const auto& ys = run.values[static_cast<std::size_t>(k)];
        if ((c.shown & ReviewBit(static_cast<S>(k))) != 0 &&
            UnitOf(static_cast<S>(k)) == pane.unit) {
          lo = std::min(lo, *std::min_element(ys.begin() + i0, ys.begin() + i1));
          hi = std::max(hi, *std::max_element(ys.begin() + i0, ys.begin() + i1));
        }
      }
      const double slack = (hi - lo) * 0.1;
      EXPECT_TRUE(pane.lo <= lo && lo - slack <= pane.lo) << pane.lo << " " << lo;
      EXPECT_TRUE(hi <= pane.hi && pane.hi <= hi + slack) << pane.hi << " " << hi;
    }
    EXPECT_EQ(panes.back().area.Bottom, area.Bottom);
  }
}

TEST(ReviewPanes, ReadoutFromAnyPaneListsEveryPanesValuesUnderOneCursor) {
  Fixture f({Charge()}, test::kAll, 700, 420);
  const TRect bottom = f.plot.Panes().back().area;
  f.plot.SetHover(TPoint{bottom.Left + 50, bottom.Top + 3});
  const auto readout = f.plot.Readout();
  ASSERT_TRUE(readout);
  EXPECT_EQ(readout->lines.size(), 1u + kReviewSeriesCount);
  const TRect area = f.plot.PlotArea();
  EXPECT_NE(f.Paint().FindLine({readout->x, area.Top}, {readout->x, area.Bottom - 1}), nullptr);
}

TEST(ReviewPanes, ValuesTheLiveChartDrawsKeepItsColours) {
  // The live chart's series 0 to 8: input voltage, output voltage, cells 1 to 7.
  EXPECT_EQ(ReviewSeriesColor(S::kInputVoltage), NormalColor(0));
  EXPECT_EQ(ReviewSeriesColor(S::kOutputVoltage), NormalColor(1));
  for (int cell = 0; cell < 7; ++cell)
    EXPECT_EQ(ReviewSeriesColor(static_cast<S>(static_cast<int>(S::kCell1) + cell)),
              NormalColor(2 + cell));
}

}  // namespace
}  // namespace korvane::chart
