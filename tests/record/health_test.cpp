// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/health.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "korvane/record/run_tracker.h"
#include "korvane/sim/channel_models.h"

namespace korvane::record {
namespace {

model::S_CHANNEL_DATA Block(const sim::ChannelState& s) {
  model::S_CHANNEL_DATA d;
  d.OperationMode = s.mode;
  d.OperationStatus = s.status;
  d.OutputVoltage = s.output_mv;
  d.OutputCurrent = s.current_ma;
  d.OutputCapacity = s.capacity_mah;
  for (std::size_t i = 0; i < model::kCellCount; ++i) {
    d.CellVoltage[i] = s.cells_mv[i];
  }
  return d;
}

StoredFrame Stored(std::int64_t id, std::int64_t ms, const model::S_CHANNEL_DATA& one) {
  StoredFrame f{id, {}};
  f.record.UtcMs = ms;
  f.record.Channels[0] = one;
  return f;
}

// Feeds the frames to a tracker as the recorder does; returns channel 1's open run, after
// checking that replaying the stored frames gives it the same figures.
RunSummary Track(const std::vector<StoredFrame>& frames) {
  RunTracker tracker;
  for (const StoredFrame& f : frames) {
    tracker.Add(f.id, f.record);
  }
  const std::optional<RunSummary> run = tracker.Open(0);
  EXPECT_TRUE(run.has_value());
  if (!run) {
    return {};
  }
  RunSummary again = *run;
  RecomputeHealth(again, frames);
  EXPECT_EQ(again.ir_mohm, run->ir_mohm);
  EXPECT_EQ(again.cell_ir_mohm, run->cell_ir_mohm);
  EXPECT_EQ(std::tie(again.charged_mah, again.discharged_mah),
            std::tie(run->charged_mah, run->discharged_mah));
  return *run;
}

TEST(Health, EstimateMatchesTheSimulatedPack) {
  struct Case {
    const char* name;
    bool charge;
    int cells;
    double r0_mohm;
    double ma;
    sim::StartParams start;
    std::int64_t gap_ms;  // added before the first load frame
    bool estimate;
  };
  const Case cases[] = {
      {"4S charge", true, 4, 47.5, 2200, {}, 0, true},
      {"1S charge, worn", true, 1, 120, 1000, {}, 0, true},
      {"7S charge, slow soft start", true, 7, 20, 5000, {2, 8}, 0, true},
      {"3S discharge", false, 3, 47.5, 1000, {}, 0, true},
      {"2S discharge, first ramp frame under 0.1 A", false, 2, 150, 250, {}, 0, true},
      {"rest 11 s before the load", true, 4, 47.5, 2200, {2, 0}, 10'000, false},
      {"a step of 90 mA", true, 4, 47.5, 90, {}, 0, false},
      {"no rest", false, 3, 47.5, 1000, {0, 0}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937_64 rng(7);
    const sim::PackSpec spec{
        .cells = c.cells, .start_soc = c.charge ? 0.3 : 0.9, .cell_r0_mohm = c.r0_mohm};
    // The model draws its pack first, so a twin drawn from the same generator is its truth.
    std::mt19937_64 twin_rng = rng;
    const sim::LiIonPack truth(spec, twin_rng);
    const auto model =
        c.charge ? sim::MakeCcCvCharge({.pack = spec, .current_ma = c.ma, .start = c.start}, rng)
                 : sim::MakeDischarge({.pack = spec, .current_ma = c.ma, .start = c.start}, rng);
    std::vector<StoredFrame> frames;
    std::int64_t ms = 0;
    for (int i = 0; i < 30; ++i) {
      const model::S_CHANNEL_DATA block = Block(model->Step(1.0, rng).state);
      if (block.OutputCurrent >= ResistanceEstimator::kRestMa && ms < c.gap_ms) {
        ms += c.gap_ms;
      }
      frames.push_back(Stored(i + 1, ms += 1000, block));
    }

    const RunSummary run = Track(frames);
    if (!c.estimate) {
      EXPECT_FALSE(run.ir_mohm.has_value());
      EXPECT_TRUE(run.cell_ir_mohm.empty());
      continue;
    }
    double pack_mohm = 0;
    ASSERT_EQ(run.cell_ir_mohm.size(), static_cast<std::size_t>(c.cells));
    for (int i = 0; i < c.cells; ++i) {
      pack_mohm += truth.CellR0Mohm(i);
      EXPECT_NEAR(run.cell_ir_mohm[i], truth.CellR0Mohm(i), 0.1 * truth.CellR0Mohm(i)) << i;
    }
    ASSERT_TRUE(run.ir_mohm.has_value());
    EXPECT_NEAR(*run.ir_mohm, pack_mohm, 0.1 * pack_mohm);
  }
}

// One cycle program with three steps: the rest before the run, a pause held back as "not
// operating" and the delay between charge and discharge; then a second run of its own.
TEST(Health, EachRunTakesTheMedianOfItsSteps) {
  struct Frame {
    int mode, ma, mv, mah;
  };
  const std::vector<Frame> frames = {
      {0, 0, 8000, 0},    {1, 1000, 8040, 1}, {1, 1000, 8041, 2},  // 40 mOhm
      {0, 0, 8000, 3},    {0, 0, 8000, 3},    {1, 2000, 8180, 4},  // 90: 180 mV / 2 A
      {1, 2000, 8181, 5}, {3, 0, 8100, 5},    {2, 1000, 8050, 1},  // 50: -50 mV / -1 A
      {2, 1000, 8049, 2}, {5, 0, 8060, 2},    {0, 0, 8060, 0},     // finished; a new run
      {1, 1000, 8100, 1}, {1, 1000, 8100, 2}, {3, 0, 8070, 2},     // 40
      {1, 1000, 8120, 3}, {1, 1010, 8121, 4},                      // 50 (still steady)
  };
  std::vector<StoredFrame> stored;
  for (const Frame& f : frames) {
    model::S_CHANNEL_DATA d;
    d.OperationMode = static_cast<std::uint8_t>(f.mode);
    d.OperationStatus = f.mode == 5 ? 2 : 0;
    d.OutputCurrent = static_cast<std::uint16_t>(f.ma);
    d.OutputVoltage = static_cast<std::uint16_t>(f.mv);
    d.OutputCapacity = static_cast<std::uint16_t>(f.mah);
    d.CellVoltage[0] = d.CellVoltage[1] = static_cast<std::uint16_t>(f.mv / 2);
    stored.push_back(Stored(static_cast<std::int64_t>(stored.size()) + 1,
                            static_cast<std::int64_t>(stored.size()) * 1000, d));
  }
  RunTracker tracker;
  std::vector<RunSummary> ended;
  for (const StoredFrame& f : stored) {
    for (RunSummary& r : tracker.Add(f.id, f.record)) {
      if (r.end_state != EndState::kInProgress) {
        ended.push_back(r);
      }
    }
  }
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].ir_mohm, 50.0);
  EXPECT_EQ(ended[0].cell_ir_mohm, (std::vector<double>{25.0, 25.0}));
  EXPECT_EQ(ended[0].charged_mah, 5);
  EXPECT_EQ(ended[0].discharged_mah, 2);
  const RunSummary second = Track(stored);
  EXPECT_EQ(second.ir_mohm, 45.0);
}

}  // namespace
}  // namespace korvane::record
