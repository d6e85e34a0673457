// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/runner.h"
#include "wire_scan.h"

namespace korvane::sim {
namespace {

using std::chrono::milliseconds;
using testing::ScanWire;

std::string Frame(int n) {
  ChargerRecord record;
  record.channels[0].capacity_mah = static_cast<std::uint16_t>(n);
  return EncodeFrame(record);
}

// Keeps everything written, up to `room` bytes in total; the rest is dropped.
struct CaptureLine final : Line {
  explicit CaptureLine(std::size_t r) : room(r) {}
  WriteReport Send(std::string_view bytes, milliseconds, int) override {
    std::lock_guard lock(mutex);
    const std::size_t take = std::min(bytes.size(), room - std::min(room, stream.size()));
    stream.append(bytes.substr(0, take));
    ++writes;
    return WriteReport{take, false, false};
  }
  const std::size_t room;
  std::string stream;
  int writes = 0;
  std::mutex mutex;
};

std::string Joined(const Transmission& t) {
  std::string all;
  for (const Chunk& c : t.chunks) {
    all += c.bytes;
  }
  return all;
}

TEST(Faults, ScheduledRatesStrikeEveryNthFrameAndRandomRatesAtTheirChance) {
  FaultOptions options;
  options.bad_checksum.every = 3;
  options.noise.probability = 0.25;
  FaultInjector injector(options, 42);
  int noise = 0;
  for (int frame = 1; frame <= 4000; ++frame) {
    const FaultDecision d = injector.Decide();
    ASSERT_EQ(d.bad_checksum, frame % 3 == 0) << frame;
    ASSERT_FALSE(d.bad_length || d.split || d.merge || d.silence);
    noise += d.noise ? 1 : 0;
  }
  EXPECT_GT(noise, 800);
  EXPECT_LT(noise, 1200);
}

// Each fault alone, read back by the test's own scanner.
TEST(Faults, EachFaultProducesWhatItClaims) {
  FaultOptions options;
  options.split_parts = 4;
  options.split_gap = milliseconds(7);
  options.silence_time = milliseconds(1234);
  FaultInjector injector(options, 3);
  for (int round = 0; round < 50; ++round) {
    const std::string frame = Frame(round);
    {
      const Transmission t = injector.Shape({{frame, FaultDecision{.noise = true}}});
      ASSERT_EQ(t.chunks.size(), 1u);
      const std::string& bytes = t.chunks[0].bytes;
      ASSERT_GT(bytes.size(), frame.size());
      ASSERT_EQ(bytes.substr(bytes.size() - frame.size()), frame);
      const std::string noise = bytes.substr(0, bytes.size() - frame.size());
      EXPECT_LE(noise.size(), 16u);
      EXPECT_EQ(noise.find_first_of("\x0C\x0D"), std::string::npos);
    }
    {
      const Transmission t = injector.Shape({{frame, FaultDecision{.bad_checksum = true}}});
      const auto scan = ScanWire(Joined(t));
      ASSERT_EQ(scan.frames.size(), 1u);
      EXPECT_TRUE(scan.frames[0].right_length);
      EXPECT_FALSE(scan.frames[0].right_checksum);
      EXPECT_EQ(scan.frames[0].bytes.substr(0, 119), frame.substr(0, 119));
      EXPECT_EQ(scan.frames[0].bytes.substr(119, 4).find_first_not_of("0123456789ABCDEF"),
                std::string::npos);
      EXPECT_FALSE(t.frames[0].well_formed);
    }
    {
      const Transmission t = injector.Shape({{frame, FaultDecision{.bad_length = true}}});
      const auto scan = ScanWire(Joined(t));
      ASSERT_EQ(scan.frames.size(), 1u);
      const std::string& bytes = scan.frames[0].bytes;
      EXPECT_TRUE(bytes.size() == 123 || bytes.size() == 125) << bytes.size();
      const std::size_t sum_at = bytes.size() - 5;
      EXPECT_EQ(bytes.substr(sum_at, 4), testing::ExpectedChecksum(bytes.substr(0, sum_at)));
    }
    {
      const Transmission t = injector.Shape({{frame, FaultDecision{.split = true}}});
      ASSERT_EQ(t.chunks.size(), 4u);
      EXPECT_EQ(Joined(t), frame);
      EXPECT_EQ(t.chunks[0].pause_before, milliseconds(0));
      for (std::size_t i = 1; i < t.chunks.size(); ++i) {
        EXPECT_FALSE(t.chunks[i].bytes.empty());
        EXPECT_EQ(t.chunks[i].pause_before, milliseconds(7));
      }
    }
    {
      const Transmission t =
          injector.Shape({{frame, FaultDecision{.merge = true}}, {Frame(1000 + round), {}}});
      ASSERT_EQ(t.chunks.size(), 1u);
      EXPECT_EQ(ScanWire(Joined(t)).Valid(), 2);
    }
    {
      const Transmission t = injector.Shape({{frame, FaultDecision{.silence = true}}});
      ASSERT_EQ(t.chunks.size(), 1u);
      EXPECT_EQ(t.chunks[0].pause_before, milliseconds(1234));
      EXPECT_EQ(t.chunks[0].bytes, frame);
    }
  }
}

// Markers in the noise never leave a start marker open, so the frame behind it survives.
TEST(Faults, NoiseWithMarkersLeavesTheFrameBehindItIntact) {
  FaultOptions options;
  options.noise_markers = true;
  options.noise_max_bytes = 100;
  FaultInjector injector(options, 9);
  int markers = 0;
  for (int round = 0; round < 300; ++round) {
    const Transmission t = injector.Shape({{Frame(round), FaultDecision{.noise = true}}});
    const std::string bytes = Joined(t);
    markers += bytes.find_first_of("\x0C\x0D") < bytes.size() - 124 ? 1 : 0;
    const auto scan = ScanWire(bytes);
    ASSERT_FALSE(scan.frames.empty());
    ASSERT_TRUE(scan.frames.back().Valid()) << round;
    ASSERT_EQ(scan.Valid(), 1);
  }
  EXPECT_GT(markers, 50) << "markers should show up in the noise";
}

TEST(Faults, IntactCountFollowsWhatTheLineTook) {
  const Transmission two{{{milliseconds(0), Frame(1) + Frame(2)}},
                         {{0, 124, true}, {124, 124, true}}};
  struct Case {
    const char* name;
    bool open_before;
    std::size_t written;
    int intact;
    bool open_after;
  };
  for (const Case& c :
       {Case{"all written", false, 248, 2, false}, Case{"second cut short", false, 200, 1, true},
        Case{"first cut short", false, 100, 0, true}, Case{"nothing written", false, 0, 0, false},
        Case{"open marker from before", true, 248, 1, false}}) {
    bool open = c.open_before;
    EXPECT_EQ(CountIntactFrames(two, {c.written}, open), c.intact) << c.name;
    EXPECT_EQ(open, c.open_after) << c.name;
  }
  const Transmission damaged{{{milliseconds(0), Frame(1)}}, {{0, 124, false}}};
  bool open = false;
  EXPECT_EQ(CountIntactFrames(damaged, {124}, open), 0);
}

// The runner's count of valid frames matches an independent reading of everything it wrote.
TEST(Faults, RunnerValidCountMatchesTheWire) {
  struct Case {
    const char* name;
    std::size_t room;  // bytes the line takes before it drops everything
  };
  for (const Case& c : {Case{"line keeps up", SIZE_MAX}, Case{"line fills up", 3000}}) {
    CaptureLine line(c.room);
    RunnerOptions options;
    options.interval = milliseconds(0);
    options.max_frames = 60;
    options.faults.noise.probability = 0.3;
    options.faults.noise_markers = true;
    options.faults.bad_checksum.every = 5;
    options.faults.bad_length.every = 7;
    options.faults.split.probability = 0.3;
    options.faults.split_gap = milliseconds(0);
    options.faults.merge.every = 4;
    options.faults.silence.every = 11;
    options.faults.silence_time = milliseconds(1);
    Runner runner(line, MakeScenario(ScenarioKind::kChargeDischarge, {}), options);
    std::atomic<std::uint64_t> reported{0};  // what the last transmission's callback saw
    runner.SetOnTransmission([&](const RunnerStats& s) { reported = s.frames; });
    runner.Start();
    ASSERT_TRUE(runner.WaitFinished(milliseconds(10000))) << c.name;
    const RunnerStats stats = runner.Stats();
    const auto scan = ScanWire(line.stream);
    EXPECT_EQ(stats.frames, 60u) << c.name;
    EXPECT_EQ(reported.load(), 60u) << c.name;
    EXPECT_EQ(stats.valid_frames, static_cast<std::uint64_t>(scan.Valid())) << c.name;
    EXPECT_GT(stats.damaged_frames, 10u) << c.name;
    if (c.room == SIZE_MAX) {
      EXPECT_EQ(stats.dropped_bytes, 0u);
      EXPECT_EQ(stats.valid_frames + stats.damaged_frames, 60u);
      EXPECT_GT(line.writes, 60) << "splits add writes";
    } else {
      EXPECT_GT(stats.dropped_bytes, 0u);
    }
  }
}

}  // namespace
}  // namespace korvane::sim
