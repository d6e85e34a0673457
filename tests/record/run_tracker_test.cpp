// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/run_tracker.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace korvane::record {
namespace {

// One channel block: mode and status first, so that {1} or {5, 2} names a frame by its codes.
struct Ch {
  int mode = 0;
  int status = 0;
  int mv = 0;  // output voltage
  int ma = 0;
  int mah = 0;
  int temp = 250;  // signed tenths of a degree
  int unit = 0;
  std::array<int, model::kCellCount> cells{};
};

template <typename T>
T Raw(int value) {
  return static_cast<T>(value);
}

model::S_HARDWARE_DATA Frame(std::int64_t ms, const Ch& one, const Ch& two = {}) {
  model::S_HARDWARE_DATA r;
  r.UtcMs = ms;
  for (std::size_t k = 0; k < model::kChannelCount; ++k) {
    const Ch& c = k == 0 ? one : two;
    model::S_CHANNEL_DATA& d = r.Channels[k];
    d.OperationMode = Raw<std::uint8_t>(c.mode);
    d.OperationStatus = Raw<std::uint8_t>(c.status);
    d.OutputVoltage = Raw<std::uint16_t>(c.mv);
    d.OutputCurrent = Raw<std::uint16_t>(c.ma);
    d.OutputCapacity = Raw<std::uint16_t>(c.mah);
    d.Temperature = Raw<std::uint16_t>(c.temp < 0 ? -c.temp : c.temp);
    d.TemperatureSign = c.temp < 0 ? 0 : 1;
    d.TemperatureUnit = Raw<std::uint8_t>(c.unit);
    for (std::size_t i = 0; i < model::kCellCount; ++i) {
      d.CellVoltage[i] = Raw<std::uint16_t>(c.cells[i]);
    }
  }
  return r;
}

// Plays the store: keeps the latest summary of every run, gives new runs an id, and checks what
// Add promises (ended runs first, each run once, nothing after its end).
class Recorder {
 public:
  void Feed(std::int64_t ms, const Ch& one, const Ch& two = {}) {
    Keep(tracker.Add(next_frame++, Frame(ms, one, two)));
  }

  void Keep(std::vector<RunSummary> changed) {
    bool open_seen = false;
    std::set<std::int64_t> seen;
    for (RunSummary& s : changed) {
      const bool open = s.end_state == EndState::kInProgress;
      EXPECT_TRUE(open || !open_seen) << "an ended run after an open one";
      open_seen = open_seen || open;
      if (s.id == 0) {
        s.id = ++last_id;
        if (s.end_state == EndState::kInProgress) {
          tracker.SetId(s.channel - 1, s.id);
        }
      } else {
        EXPECT_EQ(runs.at(s.id).end_state, EndState::kInProgress) << "changed after its end";
      }
      EXPECT_TRUE(seen.insert(s.id).second) << "run reported twice";
      runs[s.id] = s;
    }
    last_changed = changed;
  }

  // "<kind> <first>-<last> (<frames>) <end text>" for each run of `channel`, oldest first.
  std::vector<std::string> Describe(int channel) const {
    std::vector<std::string> out;
    for (const auto& [id, r] : runs) {
      if (r.channel == channel) {
        const char* kind = r.kind == kRunBoth ? "CD" : r.kind == kRunCharge ? "C" : "D";
        out.push_back(std::string(kind) + " " + std::to_string(r.first_frame) + "-" +
                      std::to_string(r.last_frame) + " (" + std::to_string(r.frames) + ") " +
                      r.end_text);
      }
    }
    return out;
  }

  RunTracker tracker;
  std::map<std::int64_t, RunSummary> runs;
  std::vector<RunSummary> last_changed;
  std::int64_t next_frame = 1;
  std::int64_t last_id = 0;
};

TEST(RunTracker, RunBoundariesFollowModes) {
  struct Case {
    const char* name;
    std::vector<Ch> frames;  // channel 1, one a second; channel 2 not operating
    std::vector<std::string> runs;
  };
  const Case cases[] = {
      {"charge finished", {{1}, {1}, {5, 2}}, {"C 1-3 (3) Finished: CC-CV"}},
      {"charge error", {{1}, {6, 9}}, {"C 1-2 (2) Error: BATT TEMP HIGH"}},
      {"discharge finished", {{2}, {5, 3}}, {"D 1-2 (2) Finished: CUTOFF DIS"}},
      {"switch without delay",
       {{1}, {1}, {2}, {2}},
       {"C 1-2 (2) Interrupted", "D 3-4 (2) In progress"}},
      {"cycle program", {{1}, {3}, {2}, {3}, {1}, {5, 2}}, {"CD 1-6 (6) Finished: CC-CV"}},
      {"pause is no delay", {{1}, {4}, {2}}, {"C 1-2 (2) Interrupted", "D 3-3 (1) In progress"}},
      {"delay used up by a charge frame",
       {{1}, {3}, {1}, {2}},
       {"C 1-3 (3) Interrupted", "D 4-4 (1) In progress"}},
      {"charge after finished",
       {{1}, {5, 2}, {1}},
       {"C 1-2 (2) Finished: CC-CV", "C 3-3 (1) In progress"}},
      {"frames outside a run",
       {{0}, {3}, {4}, {5}, {1}, {5, 0}, {0}, {3}, {6}},
       {"C 5-6 (2) Finished: DELTA-PEAK"}},
      {"idle, store and unknown stay in the run",
       {{1}, {0}, {7}, {8}, {200}, {1}, {5, 2}},
       {"C 1-7 (7) Finished: CC-CV"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder rec;
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
      rec.Feed(static_cast<std::int64_t>(i) * 1000, c.frames[i]);
    }
    EXPECT_EQ(rec.Describe(1), c.runs);
    EXPECT_TRUE(rec.Describe(2).empty());
  }
}

// A stop at the charger, a new charge and another pack end the run; a short "not operating"
// glitch and a cycle program's counter restarting after a delay do not. Held idle frames at the
// end belong to no run, whether the clock (ExpireSilent) or the stop (StopAll, -1) ends it.
TEST(RunTracker, StopsAndNewChargesEndTheRun) {
  const std::array<int, model::kCellCount> three{3800, 3810, 3790};
  const std::array<int, model::kCellCount> two{3800, 3810};
  struct Case {
    const char* name;
    std::vector<std::pair<std::int64_t, Ch>> frames;
    std::vector<std::string> runs;
    std::int64_t then = 0;
  };
  const Case cases[] = {
      {"idle 10 s", {{0, {1}}, {1000, {1}}, {2000, {0}}, {12'000, {0}}}, {"C 1-2 (2) Stopped"}},
      {"idle, silent", {{0, {1}}, {1000, {0}}}, {"C 1-1 (1) Stopped"}, 11'000},
      {"idle, stop", {{0, {1}}, {1000, {0}}}, {"C 1-1 (1) Stopped"}, -1},
      {"glitch", {{0, {1}}, {1000, {0}}, {10'999, {1}}}, {"C 1-3 (3) In progress"}},
      {"idle, new charge",
       {{0, {1, 0, 0, 0, 1291}}, {1000, {0}}, {2000, {1, 0, 0, 0, 18}}},
       {"C 1-1 (1) Stopped", "C 3-3 (1) In progress"}},
      {"restart",
       {{0, {1, 0, 0, 0, 1000}}, {1000, {1, 0, 0, 0, 499}}},
       {"C 1-1 (1) Interrupted", "C 2-2 (1) In progress"}},
      {"half", {{0, {1, 0, 0, 0, 1000}}, {1000, {1, 0, 0, 0, 500}}}, {"C 1-2 (2) In progress"}},
      {"9 mAh", {{0, {1, 0, 0, 0, 17}}, {1000, {1, 0, 0, 0, 8}}}, {"C 1-2 (2) In progress"}},
      {"another pack",
       {{0, {1, 0, 0, 0, 0, 250, 0, three}}, {1000, {1, 0, 0, 0, 0, 250, 0, two}}},
       {"C 1-1 (1) Interrupted", "C 2-2 (1) In progress"}},
      {"cycle program",
       {{0, {1, 0, 0, 0, 1291, 250, 0, three}},
        {1000, {3, 0, 0, 0, 1291, 250, 0, three}},
        {2000, {2, 0, 0, 0, 5, 250, 0, three}}},
       {"CD 1-3 (3) In progress"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder rec;
    for (const auto& [ms, ch] : c.frames) {
      rec.Feed(ms, ch);
    }
    if (c.then != 0) {
      rec.Keep(c.then < 0 ? rec.tracker.StopAll() : rec.tracker.ExpireSilent(c.then));
    }
    EXPECT_EQ(rec.Describe(1), c.runs);
  }
}

// A second run on the channel gets only its own figures.
TEST(RunTracker, TwoIdenticalChargesHaveEqualSummaries) {
  Recorder rec;
  for (const std::int64_t t : {0, 100'000}) {
    rec.Feed(t, {1, 0, 12'000, 2'000, 0, 250, 0, {4000, 4010}});
    rec.Feed(t + 1000, {5, 2, 12'400, 1'500, 1, 300, 0, {4100, 4080}});
  }
  const RunSummary& a = rec.runs.at(1);
  const RunSummary& b = rec.runs.at(2);
  EXPECT_DOUBLE_EQ(a.energy_wh, b.energy_wh);
  EXPECT_EQ(std::tie(a.frames, a.capacity_mah, a.max_current_ma, a.min_cell_mv, a.end_text),
            std::tie(b.frames, b.capacity_mah, b.max_current_ma, b.min_cell_mv, b.end_text));
}

TEST(RunTracker, ChannelsAreTrackedIndependently) {
  Recorder rec;
  rec.Feed(0, {1}, {0});
  rec.Feed(1000, {1}, {2});
  rec.Feed(2000, {1}, {2});
  rec.Feed(3000, {5, 2}, {2});
  rec.Feed(4000, {0}, {1});
  rec.Feed(5000, {2}, {6, 1});
  // Channel 2's end comes before channel 1's beginning in the same frame.
  ASSERT_EQ(rec.last_changed.size(), 2u);
  EXPECT_EQ(rec.last_changed[0].channel, 2);
  EXPECT_EQ(rec.last_changed[1].channel, 1);
  EXPECT_EQ(rec.Describe(1),
            (std::vector<std::string>{"C 1-4 (4) Finished: CC-CV", "D 6-6 (1) In progress"}));
  EXPECT_EQ(rec.Describe(2),
            (std::vector<std::string>{"D 2-4 (3) Interrupted", "C 5-6 (2) Error: NO BATT"}));
}

TEST(RunTracker, OnlySilenceOverSixtySecondsEndsARun) {
  // A link loss shorter than that keeps the run, but its energy is not bridged over the gap.
  for (const std::int64_t gap : {30'000, 60'000, 61'000}) {
    SCOPED_TRACE(gap);
    Recorder rec;
    rec.Feed(0, {1, 0, 12'000, 2'000});
    rec.Feed(1000, {1, 0, 12'000, 2'000});
    rec.Feed(1000 + gap, {1, 0, 12'000, 2'000});
    EXPECT_DOUBLE_EQ(rec.runs.at(1).energy_wh, 24.0 / 3600);  // the first second of 24 W
    if (gap <= RunTracker::kSilenceEndMs) {
      EXPECT_EQ(rec.Describe(1), std::vector<std::string>{"C 1-3 (3) In progress"});
      EXPECT_EQ(rec.runs.at(1).DurationMs(), 1000 + gap);
    } else {
      EXPECT_EQ(rec.Describe(1),
                (std::vector<std::string>{"C 1-2 (2) Interrupted", "C 3-3 (1) In progress"}));
      EXPECT_EQ(rec.runs.at(1).end_ms, 1000);
      EXPECT_EQ(rec.runs.at(2).start_ms, 1000 + gap);
    }
  }
}

TEST(RunTracker, ExpireSilentAndStopAllInterruptOpenRuns) {
  Recorder rec;
  rec.Feed(0, {1}, {0});
  rec.Feed(30'000, {4}, {2});  // paused: still the run
  EXPECT_TRUE(rec.tracker.ExpireSilent(90'000).empty());
  rec.Keep(rec.tracker.ExpireSilent(90'001));
  EXPECT_EQ(rec.last_changed.size(), 2u);
  EXPECT_EQ(rec.runs.at(1).end_ms, 30'000);
  EXPECT_FALSE(rec.tracker.Open(0).has_value());

  rec.Feed(90'002, {3}, {0});  // a delay belongs to no run
  rec.Feed(90'003, {1}, {2});
  rec.Keep(rec.tracker.StopAll());
  EXPECT_EQ(rec.last_changed.size(), 2u);
  EXPECT_EQ(rec.Describe(1),
            (std::vector<std::string>{"C 1-2 (2) Interrupted", "C 4-4 (1) Interrupted"}));
  EXPECT_EQ(rec.Describe(2),
            (std::vector<std::string>{"D 2-2 (1) Interrupted", "D 4-4 (1) Interrupted"}));
  EXPECT_FALSE(rec.tracker.Open(1).has_value());
}

TEST(RunTracker, EnergyIntegratesTrapezoidsOverBridgedIntervals) {
  struct Sample {
    std::int64_t ms;
    int ma;  // at 10 V
  };
  struct Case {
    const char* name;
    std::vector<Sample> frames;
    double joules;
  };
  const Case cases[] = {
      {"trapezoid", {{0, 1000}, {1000, 3000}}, 20},
      {"5 s bridged", {{0, 2000}, {5000, 2000}}, 100},
      {"over 5 s not", {{0, 2000}, {5001, 2000}}, 0},
      {"only bridged intervals", {{0, 2000}, {1000, 2000}, {7000, 2000}, {8000, 2000}}, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder rec;
    for (const Sample& s : c.frames) {
      rec.Feed(s.ms, {1, 0, 10'000, s.ma});
    }
    EXPECT_DOUBLE_EQ(rec.runs.at(1).energy_wh, c.joules / 3600);
  }

  // One hour of 1 s frames at 12 V and 2 A: the first frame only starts the first interval.
  Recorder hour;
  for (std::int64_t t = 0; t <= 3'600'000; t += 1000) {
    hour.Feed(t, {1, 0, 12'000, 2'000});
  }
  EXPECT_DOUBLE_EQ(hour.runs.at(1).energy_wh, 24.0);
}

TEST(RunTracker, SummaryOfAChargeWithThreeCellsIdle) {
  Recorder rec;
  rec.Feed(0, {1, 4, 16'000, 1'500, 0, -55, 1, {4000, 3950, 4010, 4020, 0, 0, 0}});
  rec.Feed(1000, {1, 4, 16'400, 2'000, 1, -30, 1, {4100, 4080, 4110, 4105, 0, 0, 0}});
  rec.Feed(2000, {5, 2, 16'800, 1'800, 2, -40, 0, {4200, 4150, 4190, 4210, 0, 0, 0}});
  ASSERT_EQ(rec.runs.size(), 1u);
  const RunSummary& r = rec.runs.at(1);
  EXPECT_EQ(r.channel, 1);
  EXPECT_EQ(r.kind, kRunCharge);
  EXPECT_EQ(r.start_ms, 0);
  EXPECT_EQ(r.end_ms, 2000);
  EXPECT_EQ(r.capacity_mah, 2);
  EXPECT_EQ(r.max_current_ma, 2000);
  EXPECT_EQ(r.peak_temperature, -30);
  EXPECT_EQ(r.temperature_unit, 0);
  EXPECT_EQ(r.first_output_mv, 16'000);
  EXPECT_EQ(r.last_output_mv, 16'800);
  EXPECT_EQ(r.min_cell_mv, 3950);
  EXPECT_EQ(r.max_cell_mv, 4210);
  EXPECT_EQ(r.cell_spread_mv, 60);
  EXPECT_EQ(r.end_state, EndState::kFinished);
}

TEST(RunTracker, CapacityIsTheLastFramesCounterNotItsMaximum) {
  // The counter starts again when a cycle program turns from charge to discharge.
  Recorder rec;
  rec.Feed(0, {1, 0, 0, 0, 1200});
  rec.Feed(1000, {3, 0, 0, 0, 1200});
  rec.Feed(2000, {2, 0, 0, 0, 300});
  EXPECT_EQ(rec.Describe(1), std::vector<std::string>{"CD 1-3 (3) In progress"});
  EXPECT_EQ(rec.runs.at(1).capacity_mah, 300);
}

TEST(RunTracker, CellSpreadNeedsTwoCellsInUse) {
  struct Case {
    std::array<int, model::kCellCount> cells;
    int low, high, spread;
  };
  const Case cases[] = {
      {{4100, 4080, 0, 0, 0, 0, 0}, 4080, 4100, 20},
      {{0, 0, 3700, 0, 0, 0, 0}, 3700, 3700, 0},
      {{}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    RunTracker tracker;
    const RunSummary r = tracker.Add(1, Frame(0, {1, 0, 0, 0, 0, 0, 0, c.cells})).at(0);
    EXPECT_EQ(r.min_cell_mv, c.low);
    EXPECT_EQ(r.max_cell_mv, c.high);
    EXPECT_EQ(r.cell_spread_mv, c.spread);
  }
}

}  // namespace
}  // namespace korvane::record
