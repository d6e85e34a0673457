// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/trend_chart.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace korvane::chart {
namespace {

// A chart whose repaint requests are counted.
struct CountingChart : ::testing::Test {
  CountingChart() {
    chart.SetInvalidate([this] { ++repaints; });
  }
  TTrendChart chart;
  int repaints = 0;
};

TEST_F(CountingChart, SettersRepaintOnlyOnChange) {
  // Each setter: the first assignment changes the value (one repaint), the second is the same.
  const std::function<void()> setters[] = {
      [&] { chart.SetShowLegend(false); },      [&] { chart.SetShowTitle(false); },
      [&] { chart.SetShowXGrid(false); },       [&] { chart.SetShowYGrid(false); },
      [&] { chart.SetTitle("Volts"); },         [&] { chart.SetTitleFont({"Arial", 12}); },
      [&] { chart.SetAxisXTitle("t"); },        [&] { chart.SetAxisYTitle("U"); },
      [&] { chart.SetAxisXOnePerValue(true); }, [&] { chart.SetAxisXScale(60); },
      [&] { chart.SetAxisYScale(1000); },       [&] { chart.SetMonochrome(true); },
      [&] { chart.SetSoftColors(true); },       [&] { chart.SetColor(0x00F0F0F0); },
  };
  for (const auto& set : setters) {
    const int before = repaints;
    set();
    EXPECT_EQ(repaints, before + 1);
    set();
    EXPECT_EQ(repaints, before + 1);
  }
}

TEST_F(CountingChart, ZeroScaleStoresOne) {
  chart.SetAxisYScale(1000);
  chart.SetAxisYScale(0);
  EXPECT_EQ(chart.AxisYScale(), 1.0f);
  chart.SetAxisXScale(0);
  EXPECT_EQ(chart.AxisXScale(), 1.0f);
  const int before = repaints;
  chart.SetAxisXScale(0);  // stores 1, which it already holds
  chart.SetAxisYScale(1);
  EXPECT_EQ(repaints, before);
}

TEST_F(CountingChart, EverySeriesMutationRepaintsWhenLive) {
  TTrendSeries* s = chart.AddSeries(skLine);
  EXPECT_EQ(repaints, 0);  // adding a series alone does not repaint
  EXPECT_EQ(s->AddXY(1, 2), 0);
  EXPECT_EQ(s->AddXY(3, 4, "b"), 1);
  EXPECT_EQ(s->Values()[1].Name, "b");
  s->SetCaption("U");
  s->SetCaption("U");
  s->SetKind(skBar);
  s->SetKind(skBar);
  s->Remove(0);
  s->Clear();
  EXPECT_EQ(repaints, 6);
  EXPECT_EQ(s->Count(), 0);
}

TEST_F(CountingChart, RemoveOutOfRangeChangesNothing) {
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(1, 2);
  const int before = repaints;
  s->Remove(-1);
  s->Remove(s->Count());
  EXPECT_EQ(repaints, before);
  EXPECT_EQ(s->Count(), 1);
}

TEST_F(CountingChart, BeginUpdateIsAFlagNotACounter) {
  TTrendSeries* s = chart.AddSeries(skLine);
  chart.BeginUpdate();
  chart.BeginUpdate();
  s->AddXY(1, 2);
  s->AddXY(2, 3);
  EXPECT_EQ(repaints, 0);
  EXPECT_TRUE(chart.YAxis().empty());  // no layout while batching
  chart.EndUpdate();
  EXPECT_FALSE(chart.Updating());
  EXPECT_EQ(repaints, 1);
  EXPECT_FALSE(chart.YAxis().empty());
  s->AddXY(3, 4);  // live again after one EndUpdate
  EXPECT_EQ(repaints, 2);
  chart.BeginUpdate();
  chart.EndUpdate();  // lays out and repaints even with nothing changed
  EXPECT_EQ(repaints, 3);
}

TEST_F(CountingChart, GridTogglesRepaintWithThePreviousLayout) {
  TTrendSeries* s = chart.AddSeries(skLine);
  chart.BeginUpdate();
  s->AddXY(1, 2);
  chart.SetShowXGrid(false);
  chart.SetShowYGrid(false);
  EXPECT_EQ(repaints, 2);
  EXPECT_TRUE(chart.YAxis().empty());
}

TEST_F(CountingChart, GetSeriesRejectsBadIndexes) {
  TTrendSeries* a = chart.AddSeries(skLine);
  TTrendSeries* b = chart.AddSeries(skBar);
  EXPECT_EQ(chart.GetSeries(0), a);
  EXPECT_EQ(chart.GetSeries(1), b);
  EXPECT_THROW(chart.GetSeries(-1), std::out_of_range);
  EXPECT_THROW(chart.GetSeries(2), std::out_of_range);
}

TEST_F(CountingChart, RemoveSeriesIgnoresNullAndStrangers) {
  TTrendSeries* a = chart.AddSeries(skLine);
  TTrendSeries* b = chart.AddSeries(skLine);
  TTrendChart other;
  TTrendSeries* stranger = other.AddSeries(skLine);
  chart.RemoveSeries(nullptr);
  chart.RemoveSeries(stranger);
  EXPECT_EQ(repaints, 0);
  EXPECT_EQ(other.SeriesCount(), 1);
  chart.RemoveSeries(a);
  EXPECT_EQ(repaints, 1);
  ASSERT_EQ(chart.SeriesCount(), 1);
  EXPECT_EQ(chart.GetSeries(0), b);
}

TEST_F(CountingChart, ClearDropsSeriesAndTicks) {
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(1, 2);
  s->AddXY(5, 7);
  ASSERT_FALSE(chart.XAxis().empty());
  chart.Clear();
  EXPECT_EQ(chart.SeriesCount(), 0);
  EXPECT_TRUE(chart.XAxis().empty());
  EXPECT_TRUE(chart.YAxis().empty());
  EXPECT_TRUE(chart.Empty());
}

}  // namespace
}  // namespace korvane::chart
