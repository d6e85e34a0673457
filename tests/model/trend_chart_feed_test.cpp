#include <gtest/gtest.h>

#include <korvane/chart/trend_chart.h>

#include "korvane/model/hardware_data.h"
#include "test_support.h"

namespace korvane::model {
namespace {

using chart::TTrendChart;

TEST(TrendChartFeed, NineLineSeriesFilledFromTheShownChannel) {
  TTrendChart chart;
  chart.AddSeries(chart::skBar);  // left over from before: the model starts afresh
  testing::FakeView view;
  testing::ManualClock clock;
  THardwareData model(view, chart, 2, 0b100000011, [&clock] { return clock.Now(); });
  ASSERT_EQ(chart.SeriesCount(), 9);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(chart.Series(i)->Kind(), chart::skLine);
  }
  for (unsigned seq = 0; seq < 4; ++seq) {
    model.Decode(testing::ModePayload(0, seq == 1 ? 1 : 0, seq));
  }
  model.RefreshDisplay();
  EXPECT_FALSE(chart.Updating());
  // Channel 2 started a run at entry 1, so entries 1 to 3 are plotted at x = 0 to 2.
  const auto& input = chart.Series(0)->Values();
  ASSERT_EQ(input.size(), 3U);
  EXPECT_EQ(input[0].X, 0);
  EXPECT_EQ(input[0].Y, 1);
  EXPECT_EQ(input[2].X, 2);
  EXPECT_EQ(input[2].Y, 3);
  EXPECT_EQ(input[2].Name, "");
  EXPECT_EQ(chart.Series(1)->Values().back().Y, 10003);
  EXPECT_EQ(chart.Series(8)->Values().back().Y, 7100);
  for (int i = 2; i < 8; ++i) {
    EXPECT_EQ(chart.Series(i)->Count(), 0) << i;
  }
  model.SetChartValuesMask(0);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(chart.Series(i)->Count(), 0) << i;
  }
}

}  // namespace
}  // namespace korvane::model
