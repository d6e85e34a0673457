// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/hardware_data.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>
#include "korvane/chart/trend_chart.h"

#include "test_support.h"

namespace korvane::model {
namespace {

using testing::ModePayload;
using testing::Point;

class HardwareDataTest : public ::testing::Test {
 protected:
  void Make(int channel = 1, unsigned mask = 511) {
    model =
        std::make_unique<THardwareData>(view, chart, channel, mask, [this] { return clock.now; });
  }
  // Decodes one frame per mode pair, one second apart; `seq` tells the records apart.
  void Feed(int mode1, int mode2, int count = 1) {
    for (int i = 0; i < count; ++i) {
      model->Decode(ModePayload(mode1, mode2, seq++));
      clock.AdvanceMs(1000);
    }
  }
  testing::ManualClock clock;
  testing::FakeView view;
  testing::FakeChart chart;
  std::unique_ptr<THardwareData> model;
  unsigned seq = 0;
};

TEST_F(HardwareDataTest, RunTrackingOfChannelOne) {
  struct RunCase {
    const char* name;
    std::vector<int> modes;           // channel 1, one frame each
    std::vector<std::size_t> starts;  // chart start index (and start frame) after each frame
  };
  const RunCase cases[] = {
      {"1,5,1 is one run", {1, 5, 1}, {0, 0, 0}},
      {"1,2,1 is three runs", {1, 2, 1}, {0, 1, 2}},
      {"0 then 1", {0, 0, 1}, {0, 0, 2}},
      {"6,2,2,5,2", {6, 2, 2, 5, 2}, {0, 1, 1, 1, 1}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock = {};
    Make();
    std::vector<double> frame_times;
    for (std::size_t i = 0; i < c.modes.size(); ++i) {
      frame_times.push_back(clock.now.Local);
      Feed(c.modes[i], 0);
      EXPECT_EQ(model->ChartStartIndex(0), c.starts[i]) << "frame " << i;
      EXPECT_EQ(model->StartTime(0).Local, frame_times[c.starts[i]]) << "frame " << i;
    }
  }
}

TEST_F(HardwareDataTest, ChannelsAreTrackedIndependently) {
  Make();
  const double first = clock.now.Local;
  Feed(1, 0);
  Feed(1, 1);
  Feed(1, 2);
  EXPECT_EQ(model->ChartStartIndex(0), 0U);
  EXPECT_EQ(model->StartTime(0).Local, first);
  EXPECT_EQ(model->ChartStartIndex(1), 2U);
  EXPECT_TRUE(model->HasData());
}

TEST_F(HardwareDataTest, HistoryEvictsTheOldestAndShiftsChartStartsDownToZero) {
  Make();
  Feed(0, 0, 101);
  model->ResetChart();
  Feed(0, 0, 3600 - 101);
  EXPECT_EQ(model->HistorySize(), 3600U);
  EXPECT_EQ(model->ChartStartIndex(0), 100U);
  Feed(0, 0);  // the 3601st
  const std::vector<S_HARDWARE_DATA> history = model->CopyHistory();
  ASSERT_EQ(history.size(), 3600U);
  EXPECT_EQ(history.front().Channels[0].InputVoltage, 1);
  EXPECT_EQ(history.back().Channels[0].InputVoltage, 3600);
  EXPECT_EQ(model->ChartStartIndex(0), 99U);
  EXPECT_EQ(model->ChartStartIndex(1), 0U);
}

TEST_F(HardwareDataTest, NewRunOnAFullHistoryPlotsOnePointAtZero) {
  Make(1, 3);
  Feed(0, 0, 3600);
  Feed(1, 0);
  EXPECT_EQ(model->ChartStartIndex(0), 3599U);
  model->RefreshDisplay();
  EXPECT_EQ(chart.series[0], (std::vector<Point>{{0, 3600}}));
  EXPECT_EQ(chart.series[1], (std::vector<Point>{{0, 13600}}));
}

TEST_F(HardwareDataTest, ResetChartOnEmptyHistoryStartsAtZero) {
  Make();
  model->ResetChart();
  EXPECT_EQ(model->ChartStartIndex(0), 0U);
  Feed(0, 0);
  model->RefreshDisplay();
  EXPECT_EQ(chart.series[0], (std::vector<Point>{{0, 0}}));
}

TEST_F(HardwareDataTest, MaskSelectsSeriesAndRebuildsFromTheChartStart) {
  Make(2, 0);
  Feed(0, 0, 3);
  model->ResetChart();  // shown channel 2 starts at entry 2
  model->RefreshDisplay();
  EXPECT_EQ(chart.TotalPoints(), 0U);
  model->SetChartValuesMask(3);
  EXPECT_EQ(chart.series[0], (std::vector<Point>{{0, 2}}));
  EXPECT_EQ(chart.series[1], (std::vector<Point>{{0, 10002}}));
  EXPECT_EQ(chart.TotalPoints(), 2U);
  for (unsigned mask : {511U, 1023U}) {
    model->SetChartValuesMask(mask);
    EXPECT_EQ(chart.TotalPoints(), 9U) << mask;
    EXPECT_EQ(chart.series[8], (std::vector<Point>{{0, 7100}})) << mask;
  }
  // Channel 1 was never reset: all three entries reappear when it is shown.
  model->UpdateDisplay(1);
  EXPECT_EQ(chart.series[0], (std::vector<Point>{{0, 0}, {1, 1}, {2, 2}}));
  EXPECT_EQ(chart.series[8].back(), (Point{2, 7000}));
  model->SetChartValuesMask(0);
  EXPECT_EQ(chart.TotalPoints(), 0U);
  EXPECT_EQ(chart.depth, 0);
}

TEST_F(HardwareDataTest, LiveValuesOfTheShownChannel) {
  testing::ScopedLocale locale("C");
  Make(1);
  S_HARDWARE_DATA r;
  r.Channels[0] = {
      12000, 1, 4, 3, 8000, 3000, 1500, 250, 1, 0, {4100, 4101, 4102, 4103, 4104, 4105, 4106}};
  r.Channels[1].OperationMode = 8;
  r.Channels[1].Temperature = 55;
  r.Channels[1].TemperatureUnit = 1;
  clock.now = {EncodeDateTime({2026, 12, 8, 14, 0, 0, 0}), 1'000'000};
  model->Decode(testing::EncodePayload(r));
  clock.now = {EncodeDateTime({2026, 12, 8, 17, 5, 9, 600}), 1'000'000 + 11'109'600};
  model->Decode(testing::EncodePayload(r));
  model->RefreshDisplay();
  const LiveValues& v = view.Last();
  EXPECT_EQ(
      (std::vector<std::string>{v.CurrentTime, v.StartTime, v.OperatingTime, v.OperationMode,
                                v.OperationStatus, v.CycleNumber, v.InputVoltage, v.OutputVoltage,
                                v.OutputCurrent, v.OutputCapacity, v.Temperature}),
      (std::vector<std::string>{"12/08/26 17:05:09", "12/08/26 14:00:00", "3 h 05 m 10 s", "Charge",
                                "CC-CV", "3", "12.000", "8.000", "3.000", "1.500", "25.0\u00B0C"}));
  EXPECT_EQ(v.CellVoltage[0], "4.100");
  EXPECT_EQ(v.CellVoltage[6], "4.106");

  // Channel 2 (mode 8, not a run): its start time was set by its first record.
  model->UpdateDisplay(2);
  EXPECT_EQ(view.Last().OperationMode, "Store");
  EXPECT_EQ(view.Last().Temperature, "-5.5\u00B0F");
  EXPECT_EQ(view.Last().StartTime, "12/08/26 14:00:00");
}

TEST_F(HardwareDataTest, OperatingTimeComesFromTheUtcInstants) {
  struct OperatingCase {
    const char* name;
    TimeStamp start;
    TimeStamp last;
    const char* text;
  };
  const double day = EncodeDateTime({2026, 3, 29, 0, 0, 0, 0});
  const double hour = 1.0 / 24;
  const OperatingCase cases[] = {
      // Clocks go forward at 02:00: local 01:30 to 03:30 is one hour.
      {"spring forward", {day + 1.5 * hour, 0}, {day + 3.5 * hour, 3'600'000}, "1 h 00 m 00 s"},
      // Clocks go back at 03:00: local 02:30 to 02:30 again is one hour.
      {"fall back", {day + 2.5 * hour, 0}, {day + 2.5 * hour, 3'600'000}, "1 h 00 m 00 s"},
      {"clock set back", {day + 2 * hour, 10'000'000}, {day + hour, 6'400'000}, "0 h 00 m 00 s"},
  };
  for (const OperatingCase& c : cases) {
    SCOPED_TRACE(c.name);
    Make();
    clock.now = c.start;
    model->Decode(ModePayload(1, 0));
    clock.now = c.last;
    model->Decode(ModePayload(1, 0));
    model->RefreshDisplay();
    EXPECT_EQ(view.Last().OperatingTime, c.text);
  }
}

TEST_F(HardwareDataTest, ChannelOutsideOneAndTwoIsTakenAsTheNearerOne) {
  for (const auto& [channel, index] : {std::pair{0, 0}, {-5, 0}, {2, 1}, {9, 1}}) {
    Make(channel);
    EXPECT_EQ(model->ChannelIndex(), index) << channel;
    Feed(1, 1);
    model->UpdateDisplay(channel);
    EXPECT_EQ(model->ChannelIndex(), index) << channel;
  }
}

TEST_F(HardwareDataTest, ChartFailuresLeaveUpdateModeAndLockFree) {
  Make(1, 511);
  Feed(1, 0, 5);
  chart.fail_after = 3;
  model->SetChartValuesMask(3);  // swallowed
  EXPECT_EQ(chart.depth, 0);
  EXPECT_EQ(model->ChartValuesMask(), 3U);
  chart.points_added = 0;
  chart.fail_after = 0;
  const std::size_t shown = view.shown.size();
  EXPECT_THROW(model->RefreshDisplay(), std::runtime_error);
  EXPECT_EQ(chart.depth, 0);
  EXPECT_EQ(view.shown.size(), shown + 1);  // the labels were still filled
  Feed(1, 0);                               // the lock is free
  EXPECT_EQ(model->HistorySize(), 6U);
}

// The model feeding the window's chart: the adapter's series, points and update bracket.
TEST(TrendChartFeed, NineLineSeriesFilledFromTheShownChannel) {
  chart::TTrendChart chart;
  chart.AddSeries(chart::skBar);  // left over from before: the model starts afresh
  testing::FakeView view;
  THardwareData model(view, chart, 2, 0b100000001);
  ASSERT_EQ(chart.SeriesCount(), 9);
  EXPECT_EQ(chart.Series(8)->Kind(), chart::skLine);
  for (unsigned seq = 0; seq < 4; ++seq) {
    model.Decode(ModePayload(0, seq == 1 ? 1 : 0, seq));  // channel 2 starts a run at entry 1
  }
  model.RefreshDisplay();
  EXPECT_FALSE(chart.Updating());
  ASSERT_EQ(chart.Series(0)->Count(), 3);
  EXPECT_EQ(std::pair(chart.Series(0)->Values()[2].X, chart.Series(0)->Values()[2].Y),
            std::pair(2.0, 3.0));
  EXPECT_EQ(chart.Series(8)->Values().back().Y, 7100);
}

}  // namespace
}  // namespace korvane::model
