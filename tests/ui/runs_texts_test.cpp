// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runs/review_frames.h"
#include "runs/run_texts.h"
#include "runs_support.h"

namespace korvane::ui::testing {
namespace {

using chart::ReviewSeries;
using record::RunSummary;

RunSummary MakeRun(int channel, int kind, std::int64_t duration_ms, std::uint16_t mah, double wh,
                   int peak, int unit, const char* end) {
  RunSummary run;
  run.channel = channel;
  run.kind = kind;
  run.start_ms = kStartMs;
  run.end_ms = kStartMs + duration_ms;
  run.capacity_mah = mah;
  run.energy_wh = wh;
  run.peak_temperature = peak;
  run.temperature_unit = unit;
  run.end_text = end;
  return run;
}

RunSummary WithPack(RunSummary run, const char* pack, double ir_mohm) {
  run.pack_id = 7;
  run.pack_name = pack;
  run.ir_mohm = ir_mohm;
  return run;
}

TEST(RunsTexts, EveryColumnInTheCAndAGermanLocale) {
  struct Case {
    const char* locale;
    RunSummary run;
    std::vector<std::string> texts;  // in column order
  };
  const Case cases[] = {
      {"C",
       WithPack(MakeRun(2, 3, 65'400, 1234, 5.678, -25, 0, "Finished: CC-CV"), "Blue 4S #3", 12.34),
       {"11/14/23 22:13:20", "2", "Blue 4S #3", "Cycle", "0 h 01 m 05 s", "1.234", "5.678", "12.3",
        "-2.5\u00B0C", "Finished: CC-CV"}},
      {"C",
       MakeRun(1, 1, 4'325'600, 0, 0.0, 305, 1, "In progress"),
       {"11/14/23 22:13:20", "1", "", "Charge", "1 h 12 m 06 s", "0.000", "0.000", "",
        "30.5\u00B0F", "In progress"}},
      {"C",
       MakeRun(1, 2, -5, 65535, 1234.5, 0, 0, "Interrupted"),
       {"11/14/23 22:13:20", "1", "", "Discharge", "0 h 00 m 00 s", "65.535", "1234.500", "",
        "0.0\u00B0C", "Interrupted"}},
      {"C",
       MakeRun(1, 0, 0, 9, -0.004, -4, 0, ""),
       {"11/14/23 22:13:20", "1", "", "", "0 h 00 m 00 s", "0.009", "-0.004", "", "-0.4\u00B0C",
        ""}},
      {"de_DE.UTF-8",
       WithPack(MakeRun(2, 3, 65'400, 1234, 5.678, -25, 0, "Error: NO BATT"), "Grün", 8.26),
       {"14.11.2023 22:13:20", "2", "Grün", "Cycle", "0 h 01 m 05 s", "1,234", "5,678", "8,3",
        "-2,5\u00B0C", "Error: NO BATT"}},
  };
  for (const Case& c : cases) {
    ScopedLocaleUtc locale(c.locale);
    ASSERT_TRUE(locale.ok) << c.locale << " missing: run `make deps`";
    for (int column = 0; column < kRunColumnCount; ++column) {
      EXPECT_EQ(RunCellText(c.run, static_cast<RunColumn>(column)),
                c.texts[static_cast<std::size_t>(column)])
          << c.locale << " column " << RunColumnTitle(static_cast<RunColumn>(column));
    }
  }
  // Whole numbers (the packs' counts and capacities) have no fraction to pad.
  EXPECT_EQ(FixedText(2199.6, 0), "2200");
  EXPECT_EQ(FixedText(-0.4, 0), "0");
}

// Peak temperatures sort by their value in degrees Celsius whatever the run's unit.
TEST(RunsTexts, PeakTemperaturesOfBothUnitsSortInCelsius) {
  const auto key = [](int tenths, int unit) {
    return RunCellSortKey(MakeRun(1, 1, 0, 0, 0, tenths, unit, ""), RunColumn::kPeakTemperature);
  };
  EXPECT_LT(key(-25, 0), key(320, 1));  // -2.5 °C, 32.0 °F
  EXPECT_LT(key(320, 1), key(798, 1));
  EXPECT_LT(key(798, 1), key(267, 0));  // 79.8 °F is 26.6 °C
}

// Channel 2's values of each frame in plot units, times from the run's start, unused cells NaN,
// the sign flag 0 making the temperature negative; channel 1 is ignored.
TEST(RunsReviewFrames, ConvertsTheRunsChannelAndAppendsLaterFrames) {
  const auto frame = [](std::int64_t at, std::uint16_t mv, std::uint16_t tenths, int sign) {
    record::StoredFrame stored;
    stored.record.UtcMs = kStartMs + at;
    stored.record.Channels[0].OutputVoltage = 999;
    model::S_CHANNEL_DATA& ch = stored.record.Channels[1];
    ch.OutputVoltage = mv;
    ch.InputVoltage = 15'000;
    ch.OutputCurrent = 2'500;
    ch.OutputCapacity = 1'234;
    ch.Temperature = tenths;
    ch.TemperatureSign = static_cast<std::uint8_t>(sign);
    ch.CellVoltage = {4'100, 4'105, 0, 0, 0, 0, 3'001};
    return stored;
  };
  RunSummary run = MakeRun(2, 1, 0, 0, 0, 0, 0, "");
  const std::vector<record::StoredFrame> first = {frame(0, 12'345, 215, 1),
                                                  frame(1'500, 12'400, 5, 0)};
  chart::ReviewRun plotted = MakeReviewRun(run, first, "label");
  AppendReviewFrames(plotted, 2, std::vector<record::StoredFrame>{frame(3'000, 0, 0, 7)});

  EXPECT_EQ(plotted.label, "label");
  EXPECT_EQ(plotted.startUtcMs, kStartMs);
  EXPECT_EQ(plotted.elapsedMs, (std::vector<double>{0, 1'500, 3'000}));
  const auto values = [&](ReviewSeries series) {
    return plotted.values[static_cast<std::size_t>(series)];
  };
  EXPECT_EQ(values(ReviewSeries::kOutputVoltage), (std::vector<double>{12.345, 12.4, 0}));
  EXPECT_EQ(values(ReviewSeries::kInputVoltage), (std::vector<double>{15, 15, 15}));
  EXPECT_EQ(values(ReviewSeries::kCurrent), (std::vector<double>{2.5, 2.5, 2.5}));
  EXPECT_EQ(values(ReviewSeries::kCapacity), (std::vector<double>{1.234, 1.234, 1.234}));
  EXPECT_EQ(values(ReviewSeries::kTemperature), (std::vector<double>{21.5, -0.5, 0}));
  EXPECT_EQ(values(ReviewSeries::kCell1)[0], 4.1);
  EXPECT_EQ(values(ReviewSeries::kCell2)[1], 4.105);
  EXPECT_EQ(values(ReviewSeries::kCell7)[2], 3.001);
  for (const ReviewSeries unused : {ReviewSeries::kCell3, ReviewSeries::kCell6}) {
    ASSERT_EQ(values(unused).size(), 3u);
    EXPECT_TRUE(std::isnan(values(unused)[0]) && std::isnan(values(unused)[2]));
  }
}

}  // namespace
}  // namespace korvane::ui::testing
