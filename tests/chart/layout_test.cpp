// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/trend_chart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_canvas.h"

// Geometry under FixedTextMetrics: normal font 6 px per character (bold 7), lines 13 px high;
// title font 11 px per character, lines 22 px high.
namespace korvane::chart {
namespace {

using test::MakeBare;

std::vector<std::string> Captions(const std::vector<TAxisInfo>& axis) {
  std::vector<std::string> result;
  for (const TAxisInfo& t : axis)
    result.push_back(t.Caption);
  return result;
}

std::vector<int> Positions(const std::vector<TAxisInfo>& axis, bool x) {
  std::vector<int> result;
  for (const TAxisInfo& t : axis)
    result.push_back(x ? t.Px : t.Py);
  return result;
}

TEST(Layout, TitleLegendAndNumericAxes) {
  TTrendChart chart;
  chart.SetClientSize(400, 300);
  TTrendSeries* s = chart.AddSeries(skLine);
  chart.BeginUpdate();
  s->AddXY(0, 3.1);
  s->AddXY(10, 4.25);
  s->AddXY(5, 4.0);
  chart.EndUpdate();

  EXPECT_EQ(chart.RcTitle(), (TRect{65, 20, 282, 42}));
  EXPECT_EQ(chart.RcLegend(), (TRect{302, 52, 380, 92}));
  EXPECT_EQ(chart.RcChart(), (TRect{65, 52, 282, 240}));
  EXPECT_EQ(s->LegendTop(), 10);

  EXPECT_EQ(Captions(chart.YAxis()), (std::vector<std::string>{"3", "3.5", "4", "4.5"}));
  EXPECT_EQ(Positions(chart.YAxis(), false), (std::vector<int>{240, 177, 115, 52}));
  EXPECT_EQ(chart.YAxis()[0].Px, 65);
  EXPECT_EQ(Captions(chart.XAxis()), (std::vector<std::string>{"0", "2.5", "5", "7.5", "10"}));
  EXPECT_EQ(Positions(chart.XAxis(), true), (std::vector<int>{65, 119, 173, 228, 282}));
  EXPECT_EQ(chart.ZeroY(), 240);

  const auto& v = s->Values();
  EXPECT_EQ((TPoint{v[0].Px, v[0].Py}), (TPoint{65, 227}));
  EXPECT_EQ((TPoint{v[1].Px, v[1].Py}), (TPoint{282, 83}));
  EXPECT_EQ((TPoint{v[2].Px, v[2].Py}), (TPoint{173, 115}));
}

TEST(Layout, YTickCountFollowsPlotHeight) {
  const struct {
    int plotHeight;
    std::vector<std::string> captions;
  } cases[] = {
      {300, {"3", "3.25", "3.5", "3.75", "4", "4.25", "4.5"}},
      {99, {"3", "3.75", "4.5"}},  // two wanted ticks: the range still fits the plot
      {40, {"3", "3.75", "4.5"}},
  };
  for (const auto& c : cases) {
    TTrendChart chart;
    MakeBare(chart, 400, c.plotHeight + 80);
    TTrendSeries* s = chart.AddSeries(skLine);
    s->AddXY(0, 3.1);
    s->AddXY(1, 4.25);
    EXPECT_EQ(chart.RcChart().Height(), c.plotHeight);
    EXPECT_EQ(Captions(chart.YAxis()), c.captions) << c.plotHeight;
    EXPECT_EQ(chart.YAxis().back().Py, chart.RcChart().Top) << c.plotHeight;
    for (const TXYInfo& v : s->Values()) {
      EXPECT_GE(v.Py, chart.RcChart().Top) << c.plotHeight;
      EXPECT_LE(v.Py, chart.RcChart().Bottom) << c.plotHeight;
    }
  }
}

TEST(Layout, TickLabelsHonourScaleAndUndefinedValue) {
  TTrendChart chart;
  MakeBare(chart, 400, 380);
  chart.SetAxisYScale(1000);
  chart.SetAxisXScale(60);
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(0, 3000);
  s->AddXY(600, 4200);
  EXPECT_EQ(Captions(chart.YAxis()),
            (std::vector<std::string>{"3", "3.2", "3.4", "3.6", "3.8", "4", "4.2"}));
  EXPECT_EQ(chart.XAxis()[1].Caption, "1.67");  // 100 s shown as minutes
  EXPECT_EQ(chart.XAxis()[3].Caption, "5");

  s->Clear();
  s->AddXY(0, UndefinedValueChart);
  chart.SetAxisYScale(1);
  for (const TAxisInfo& t : chart.YAxis())
    EXPECT_EQ(t.Caption, "~");
}

TEST(Layout, TickLabelsStateEveryTickExactly) {
  const struct {
    double min, max;
    float scale;
    std::vector<std::string> captions;
  } cases[] = {
      {4200, 4200, 1000, {"4.199", "4.2", "4.201"}},  // flat trace: a 1 mV step
      {4166, 4235, 1000, {"4.165", "4.2", "4.235"}},
      {4170, 4230, 1000, {"4.17", "4.2", "4.23"}},  // two decimals suffice
      {0.0005, 0.0065, 1, {"0", "0.0035", "0.007"}},
      {0.00005, 0.00065, 0.1f, {"0", "0.0035", "0.007"}},  // the scale read as the decimal 0.1
  };
  for (const auto& c : cases) {
    TTrendChart chart;
    MakeBare(chart, 400, 200);  // three Y ticks
    chart.SetAxisYScale(c.scale);
    TTrendSeries* s = chart.AddSeries(skLine);
    s->AddXY(0, c.min);
    s->AddXY(1, c.max);
    EXPECT_EQ(Captions(chart.YAxis()), c.captions) << c.min << ".." << c.max;
  }
}

TEST(Layout, TickNearZeroIsZero) {
  TTrendChart chart;
  MakeBare(chart, 400, 500);  // nine Y ticks of 0.09 from -0.63: the seventh misses 0 by 1e-16
  TTrendSeries* bars = chart.AddSeries(skBar);
  bars->AddXY(1, -0.599);
  bars->AddXY(2, 0.081);
  const TAxisInfo& zero = chart.YAxis().at(7);
  EXPECT_EQ(zero.Value, 0.0);
  EXPECT_EQ(chart.ZeroY(), zero.Py);
}

TEST(Layout, XRangeAwayFromZeroStartsAtTheLeftEdge) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(1000, 1);
  s->AddXY(1100, 2);
  EXPECT_EQ(s->Values()[0].Px, chart.RcChart().Left);
}

TEST(Layout, BarsInCategorySlotsFromTheZeroLine) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* bars = chart.AddSeries(skBar);
  bars->AddXY(1, 0.3);
  bars->AddXY(2, -0.25);

  EXPECT_TRUE(chart.AxisXOnePerValue());
  EXPECT_EQ(chart.RcChart(), (TRect{77, 20, 380, 220}));
  EXPECT_EQ(chart.ZeroY(), 120);
  EXPECT_EQ(chart.BarCount(), 1);
  EXPECT_EQ(chart.BarWidth(), 152);
  EXPECT_EQ(Positions(chart.XAxis(), true), (std::vector<int>{153, 305}));
  EXPECT_EQ(bars->Values()[0].Rc, (TRect{123, 20, 184, 120}));
  EXPECT_EQ(bars->Values()[1].Rc, (TRect{275, 120, 336, 203}));

  // Two bar series share the slot in thirds; the second sits one sub-slot to the right.
  TTrendSeries* more = chart.AddSeries(skBar);
  more->AddXY(1, 0.1);
  ASSERT_EQ(chart.BarCount(), 2);
  const TRect a = bars->Values()[0].Rc;
  const TRect b = more->Values()[0].Rc;
  EXPECT_EQ(a.Width(), 41);  // round(0.8 * round(152 / 3))
  EXPECT_EQ(b.Left - a.Left, 51);

  // One-per-value mode stays on after the bars are gone.
  chart.RemoveSeries(bars);
  chart.RemoveSeries(more);
  EXPECT_TRUE(chart.AxisXOnePerValue());
}

TEST(Layout, BarsWithoutZeroTickGrowFromThePlotBottom) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* bars = chart.AddSeries(skBar);
  bars->AddXY(1, 3);
  bars->AddXY(2, 5);
  EXPECT_EQ(chart.ZeroY(), chart.RcChart().Bottom);
  EXPECT_EQ(bars->Values()[0].Rc.Bottom, chart.RcChart().Bottom);
}

TEST(Layout, OnePerValueWithDuplicates) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  chart.SetAxisXOnePerValue(true);
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(2, 1);
  s->AddXY(1, 2);
  s->AddXY(1, 3);
  const TRect& rc = chart.RcChart();
  ASSERT_EQ(chart.XAxis().size(), 2u);
  EXPECT_EQ(chart.XAxis()[0].Value, 1);
  EXPECT_EQ(chart.XAxis()[0].Px, rc.Left);
  EXPECT_EQ(chart.XAxis()[1].Px, rc.Right);
  EXPECT_EQ(s->Values()[0].Px, rc.Right);
  EXPECT_EQ(s->Values()[1].Px, rc.Left);
  EXPECT_EQ(s->Values()[2].Px, rc.Left);

  // A single distinct value sits at the left edge.
  s->Remove(0);
  ASSERT_EQ(chart.XAxis().size(), 1u);
  EXPECT_EQ(chart.XAxis()[0].Px, rc.Left);
  EXPECT_EQ(s->Values()[0].Px, rc.Left);
}

TEST(Layout, NoTicksWithoutPoints) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  chart.AddSeries(skLine);
  EXPECT_TRUE(chart.Empty());
  EXPECT_TRUE(chart.XAxis().empty());
  EXPECT_TRUE(chart.YAxis().empty());
  EXPECT_EQ(chart.ZeroY(), chart.RcChart().Bottom);
  EXPECT_EQ(chart.RcChart().Left, 20 + 13 + 10 + 0 + 4);
}

TEST(Layout, LegendRowsFollowCaptionLines) {
  TTrendChart chart;
  chart.SetShowTitle(false);
  chart.SetClientSize(400, 300);
  TTrendSeries* a = chart.AddSeries(skLine);
  TTrendSeries* b = chart.AddSeries(skLine);
  a->SetCaption("  Cell 1\r\n  voltage (V)\nnow ");
  b->SetCaption("");
  EXPECT_EQ(a->LegendTop(), 10);
  EXPECT_EQ(b->LegendTop(), 10 + 39 + 2);  // three lines of 13 px
  // Widest trimmed line "voltage (V)" is 11 characters.
  EXPECT_EQ(chart.RcLegend(), (TRect{380 - 66 - 42, 20, 380, 20 + 51 + 20 + 10}));
  EXPECT_EQ(chart.RcChart().Right, chart.RcLegend().Left - 20);
}

TEST(Layout, LongTitleWrapsAndPushesThePlotDown) {
  TTrendChart chart;
  chart.SetShowLegend(false);
  chart.SetClientSize(200, 300);
  chart.SetTitle("Charge of the battery pack");  // 26 characters of 11 px in 133 px
  EXPECT_EQ(chart.RcTitle().Width(), 200 - 20 - 47);
  EXPECT_EQ(chart.RcTitle().Bottom, 20 + 3 * 22);
  EXPECT_EQ(chart.RcChart().Top, 20 + 3 * 22 + 10);
}

TEST(Layout, SmoothSeriesBuildsAnInterpolatingSpline) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* s = chart.AddSeries(skSmooth);
  chart.BeginUpdate();
  for (int i = 0; i < 40; ++i)
    s->AddXY(i, (i * 7) % 5);
  chart.EndUpdate();
  const TBSpline& spline = s->Spline();
  EXPECT_TRUE(spline.Interpolated());
  EXPECT_EQ(spline.Fragments(), 600);  // 40 x 20 capped
  const auto& curve = spline.Curve();
  ASSERT_EQ(curve.size(), 601u);
  // 39 segments over 600 pieces: every 39th piece ends exactly on a vertex.
  for (int i = 0; i < 40; i += 13) {
    const TPoint expected{s->Values()[i].Px, s->Values()[i].Py};
    const TPoint& got = curve[static_cast<size_t>(i * 600 / 39)];
    EXPECT_NEAR(got.X, expected.X, 1) << i;
    EXPECT_NEAR(got.Y, expected.Y, 1) << i;
  }
  s->SetKind(skLine);
  EXPECT_EQ(s->Spline().VertexCount(), 0);
}

TEST(Layout, ClientToChartInvertsTheMapping) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(0, 0);
  s->AddXY(100, 50);
  int px = 0;
  int py = 0;
  chart.ChartToClient(40, 20, px, py);
  const auto value = chart.ClientToChart(px, py);
  ASSERT_TRUE(value.has_value());
  EXPECT_NEAR(value->first, 40, 1 / chart.XScale());
  EXPECT_NEAR(value->second, 20, 1 / chart.YScale());
  EXPECT_FALSE(chart.ClientToChart(chart.RcChart().Left - 1, py).has_value());
  EXPECT_FALSE(chart.ClientToChart(px, chart.RcChart().Bottom).has_value());
}

}  // namespace
}  // namespace korvane::chart
