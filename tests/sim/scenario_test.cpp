// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace korvane::sim {
namespace {

std::vector<ChargerRecord> Play(ScenarioKind kind, const ScenarioOptions& options, int frames) {
  auto scenario = MakeScenario(kind, options);
  std::vector<ChargerRecord> records;
  for (int i = 0; i < frames; ++i) {
    records.push_back(scenario->Next());
  }
  return records;
}

int CellSpread(const ChannelState& ch, int cells) {
  const auto first = ch.cells_mv.begin();
  return *std::max_element(first, first + cells) - *std::min_element(first, first + cells);
}

// A whole charge at 5 simulated seconds per frame.
void CheckCharge(const ScenarioOptions& options) {
  const auto records = Play(ScenarioKind::kChargeDischarge, options, 3000);
  const ChargeParams& p = options.charge;
  const int limit_mv = static_cast<int>(p.cell_limit_mv) * p.pack.cells;

  enum { kCc, kCv, kDone } phase = kCc;
  int cc_frames = 0;
  int cv_frames = 0;
  int previous_current = 0;
  int previous_capacity = 0;
  int previous_cc_voltage = 0;
  int warmest = 0;
  for (const ChargerRecord& r : records) {
    const ChannelState& ch = r.channels[0];
    ASSERT_LE(ch.output_mv, limit_mv);
    ASSERT_GE(ch.capacity_mah, previous_capacity);
    previous_capacity = ch.capacity_mah;
    warmest = std::max<int>(warmest, ch.temp_tenths);
    for (int i = 0; i < 7; ++i) {
      ASSERT_EQ(ch.cells_mv[i] == 0, i >= p.pack.cells) << "cell " << i + 1;
    }
    if (ch.mode == 5) {
      ASSERT_EQ(ch.status, 2);  // finished by CC-CV
      ASSERT_EQ(ch.current_ma, 0);
      phase = kDone;
      continue;
    }
    ASSERT_NE(phase, kDone) << "charging again after finishing";
    ASSERT_EQ(ch.mode, 1);
    ASSERT_EQ(ch.status, 4);
    if (cc_frames == 0 && ch.current_ma < p.current_ma) {
      continue;  // the start: rest, then the soft start
    }
    if (phase == kCc && ch.current_ma != p.current_ma) {
      phase = kCv;
    }
    if (phase == kCc) {
      ++cc_frames;
      ASSERT_GE(ch.output_mv, previous_cc_voltage);
      previous_cc_voltage = ch.output_mv;
    } else {
      ++cv_frames;
      ASSERT_LT(ch.current_ma, p.current_ma);
      ASSERT_LE(ch.current_ma, previous_current);
      ASSERT_GE(ch.output_mv, limit_mv - 1);
    }
    previous_current = ch.current_ma;
  }
  EXPECT_EQ(phase, kDone);
  EXPECT_GT(cc_frames, 100);
  EXPECT_GT(cv_frames, 20);

  const ChannelState& first = records.front().channels[0];
  const ChannelState& last = records.back().channels[0];
  EXPECT_GT(last.capacity_mah, 0.6 * p.pack.capacity_mah);
  EXPECT_LT(last.capacity_mah, 1.0 * p.pack.capacity_mah);
  EXPECT_GT(warmest, first.temp_tenths + 30) << "the pack warms by over 3 degrees";
  EXPECT_LT(warmest, first.temp_tenths + 150);
  if (p.pack.cells > 1) {
    EXPECT_GT(CellSpread(last, p.pack.cells), CellSpread(first, p.pack.cells))
        << "cells drift apart";
    EXPECT_LT(CellSpread(last, p.pack.cells), 100);
  }
}

TEST(Scenario, ChargeRunsConstantCurrentThenConstantVoltageThenFinishes) {
  for (std::uint64_t seed : {1, 2, 3, 4}) {
    for (int cells : {1, 4, 7}) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", " << cells << " cells");
      ScenarioOptions options;
      options.seed = seed;
      options.seconds_per_frame = 5;
      options.charge.pack.cells = cells;
      CheckCharge(options);
    }
  }
}

TEST(Scenario, DischargeVoltageFallsUntilCutoffThenFinishes) {
  ScenarioOptions options;
  options.seconds_per_frame = 5;
  const auto records = Play(ScenarioKind::kChargeDischarge, options, 2000);
  const DischargeParams& p = options.discharge;
  int previous_voltage = 65535;
  int previous_capacity = 0;
  int discharge_frames = 0;
  bool finished = false;
  for (const ChargerRecord& r : records) {
    const ChannelState& ch = r.channels[1];
    if (ch.mode == 5) {
      EXPECT_EQ(ch.status, 3);  // CUTOFF DIS
      EXPECT_EQ(ch.current_ma, 0);
      EXPECT_TRUE(finished ? ch.capacity_mah == previous_capacity
                           : ch.capacity_mah >= previous_capacity);
      previous_capacity = ch.capacity_mah;
      finished = true;
      continue;
    }
    ASSERT_FALSE(finished) << "discharging again after finishing";
    ASSERT_EQ(ch.mode, 2);
    if (discharge_frames == 0 && ch.current_ma < p.current_ma) {
      continue;  // the start
    }
    ASSERT_EQ(ch.current_ma, p.current_ma);
    ASSERT_LE(ch.output_mv, previous_voltage);
    ASSERT_GT(ch.output_mv, p.cell_cutoff_mv * p.pack.cells);
    ASSERT_GE(ch.capacity_mah, previous_capacity);
    previous_voltage = ch.output_mv;
    previous_capacity = ch.capacity_mah;
    ++discharge_frames;
  }
  EXPECT_TRUE(finished);
  EXPECT_GT(discharge_frames, 100);
  EXPECT_GT(previous_capacity, 0.8 * p.pack.capacity_mah);
}

TEST(Scenario, SameSeedSameRecordsOtherSeedOtherRecords) {
  ScenarioOptions a;
  a.seed = 7;
  ScenarioOptions b = a;
  b.seed = 8;
  EXPECT_EQ(Play(ScenarioKind::kSequence, a, 50), Play(ScenarioKind::kSequence, a, 50));
  EXPECT_NE(Play(ScenarioKind::kChargeDischarge, a, 5), Play(ScenarioKind::kChargeDischarge, b, 5));
}

TEST(Scenario, IdleErrorAndSequenceStates) {
  const ChargerRecord idle = Play(ScenarioKind::kIdle, {}, 1).front();
  for (const ChannelState& ch : idle.channels) {
    EXPECT_EQ(ch.mode, 0);
    EXPECT_EQ(ch.output_mv, 0);
    EXPECT_EQ(ch.current_ma, 0);
    EXPECT_NEAR(ch.input_mv, 12000, 50);
  }

  const ChargerRecord error = Play(ScenarioKind::kError, {}, 1).front();
  EXPECT_EQ(error.channels[0].mode, 6);
  EXPECT_EQ(error.channels[0].status, 8);  // BATT TEMP LOW, below freezing
  EXPECT_EQ(error.channels[0].temp_sign, 0);
  EXPECT_EQ(error.channels[1].mode, 6);
  EXPECT_EQ(error.channels[1].status, 1);  // NO BATT

  ScenarioOptions options;
  options.sequence_lead_s = 3;
  const auto seq = Play(ScenarioKind::kSequence, options, 5);
  EXPECT_EQ(seq[2].channels[0].mode, 0);
  EXPECT_EQ(seq[2].channels[1].mode, 6);
  EXPECT_EQ(seq[3].channels[0].mode, 1);
  EXPECT_EQ(seq[3].channels[1].mode, 2);
}

TEST(Scenario, TemperatureEncodesMagnitudeSignAndUnit) {
  struct Case {
    double celsius;
    bool fahrenheit;
    int tenths, sign, unit;
  };
  for (const Case& c :
       {Case{25.0, false, 250, 1, 0}, Case{-5.5, false, 55, 0, 0}, Case{-0.01, false, 0, 1, 0},
        Case{25.0, true, 770, 1, 1}, Case{-40.0, true, 400, 0, 1}, Case{-20.0, true, 40, 0, 1}}) {
    ChannelState ch;
    SetTemperature(ch, c.celsius, c.fahrenheit);
    EXPECT_EQ(ch.temp_tenths, c.tenths) << c.celsius;
    EXPECT_EQ(ch.temp_sign, c.sign) << c.celsius;
    EXPECT_EQ(ch.temp_unit, c.unit) << c.celsius;
  }
}

}  // namespace
}  // namespace korvane::sim
