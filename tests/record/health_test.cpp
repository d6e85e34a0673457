// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/health.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "korvane/model/decoder.h"
#include "korvane/record/run_tracker.h"
#include "korvane/sim/channel_models.h"

namespace korvane::record {
namespace {

// Channel 1 as the charger sends it and the decoder reads it, one frame a second.
void Push(std::vector<StoredFrame>& frames, const sim::ChannelState& state, std::int64_t gap_ms) {
  StoredFrame f{static_cast<std::int64_t>(frames.size()) + 1,
                model::DecodePayload(sim::EncodePayload({.channels = {state, {}}}))};
  f.record.UtcMs = (frames.empty() ? 0 : frames.back().record.UtcMs + 1000) + gap_ms;
  frames.push_back(f);
}

// Every run of channel 1 as the tracker leaves it; the replay of the stored frames must agree.
std::vector<RunSummary> Track(const std::vector<StoredFrame>& frames) {
  RunTracker tracker;
  std::vector<RunSummary> runs;
  for (const StoredFrame& f : frames) {
    for (RunSummary& run : tracker.Add(f.id, f.record)) {
      if (run.channel == 1 && run.end_state != EndState::kInProgress) {
        runs.push_back(run);
      }
    }
  }
  runs.push_back(tracker.StopAll().at(0));
  for (const RunSummary& run : runs) {
    RunSummary again = run;
    RecomputeHealth(again, frames);
    EXPECT_EQ(std::tie(again.ir_mohm, again.cell_ir_mohm, again.charged_mah, again.discharged_mah),
              std::tie(run.ir_mohm, run.cell_ir_mohm, run.charged_mah, run.discharged_mah));
  }
  return runs;
}

TEST(Health, EstimateMatchesTheSimulatedPack) {
  struct Case {
    const char* name;
    bool charge;
    int cells;
    double r0_mohm, ma;
    sim::StartParams start;
    std::int64_t gap_ms;  // more between the last rest frame and the first load frame
    bool estimate;
  };
  for (const Case& c : {
           Case{"4S charge", true, 4, 47.5, 2200, {}, 0, true},
           Case{"1S charge, worn", true, 1, 120, 1000, {}, 0, true},
           Case{"7S charge, slow soft start", true, 7, 20, 5000, {2, 8}, 0, true},
           Case{"3S discharge", false, 3, 47.5, 1000, {}, 0, true},
           Case{"2S discharge, first load frame under 0.1 A", false, 2, 150, 250, {}, 0, true},
           Case{"rest 11 s before the load", true, 4, 47.5, 2200, {2, 0}, 10'000, false},
           Case{"a step of 90 mA", true, 4, 47.5, 90, {2, 0}, 0, false},
           Case{"no rest", false, 3, 47.5, 1000, {0, 0}, 0, false},
       }) {
    SCOPED_TRACE(c.name);
    std::mt19937_64 rng(7);
    const sim::PackSpec pack{.cells = c.cells, .start_soc = 0.5, .cell_r0_mohm = c.r0_mohm};
    // The model draws its pack first: a twin drawn from the same generator is its truth.
    std::mt19937_64 twin_rng = rng;
    const sim::LiIonPack truth(pack, twin_rng);
    const auto model =
        c.charge ? sim::MakeCcCvCharge({.pack = pack, .current_ma = c.ma, .start = c.start}, rng)
                 : sim::MakeDischarge({.pack = pack, .current_ma = c.ma, .start = c.start}, rng);
    std::vector<StoredFrame> frames;
    for (int i = 0; i < 30; ++i) {
      Push(frames, model->Step(1.0, rng).state, i == c.start.rest_s ? c.gap_ms : 0);
    }
    const RunSummary run = Track(frames).at(0);
    ASSERT_EQ(run.ir_mohm.has_value(), c.estimate);
    ASSERT_EQ(run.cell_ir_mohm.size(), c.estimate ? static_cast<std::size_t>(c.cells) : 0u);
    double pack_mohm = 0;
    for (int i = 0; i < static_cast<int>(run.cell_ir_mohm.size()); ++i) {
      pack_mohm += truth.CellR0Mohm(i);
      EXPECT_NEAR(run.cell_ir_mohm[i], truth.CellR0Mohm(i), 0.1 * truth.CellR0Mohm(i)) << i;
    }
    EXPECT_NEAR(run.ir_mohm.value_or(0), pack_mohm, 0.1 * pack_mohm);
  }
}

// A cycle program whose steps are the rest before it, a pause held back as "not operating" and
// the delay between charge and discharge; then a run of its own.
TEST(Health, EachRunTakesTheMedianOfItsSteps) {
  struct Frame {
    std::uint8_t mode;
    std::uint16_t ma, mv;
  };
  constexpr Frame kFrames[] = {
      {0, 0, 8000},    {1, 1000, 8040}, {1, 1000, 8041},  // mode, mA, mV: 40 mOhm
      {0, 0, 8000},    {1, 2000, 8120}, {1, 2000, 8121},  // 60
      {3, 0, 8100},    {2, 1000, 8010}, {2, 1000, 8009},  // 90
      {5, 0, 8060},    {0, 0, 8060},                      // finished
      {1, 1000, 8100}, {1, 1000, 8100}, {3, 0, 8070},     // 40
      {1, 1000, 8120}, {1, 1010, 8121},                   // 50, steady within 30 mA
  };
  std::vector<StoredFrame> frames;
  for (const Frame& f : kFrames) {
    const auto cell_mv = static_cast<std::uint16_t>(f.mv / 2);
    const auto mah = static_cast<std::uint16_t>(frames.size());
    Push(frames,
         {.mode = f.mode,
          .status = 2,
          .output_mv = f.mv,
          .current_ma = f.ma,
          .capacity_mah = mah,
          .cells_mv = {cell_mv, cell_mv}},
         0);
  }
  const std::vector<RunSummary> runs = Track(frames);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].ir_mohm, 60.0);
  EXPECT_EQ(runs[0].cell_ir_mohm, (std::vector<double>{30.0, 30.0}));
  EXPECT_EQ(std::tie(runs[0].charged_mah, runs[0].discharged_mah), std::make_tuple(5, 8));
  EXPECT_EQ(runs[1].ir_mohm, 45.0);
}

}  // namespace
}  // namespace korvane::record
