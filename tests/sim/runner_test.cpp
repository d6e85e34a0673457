#include "korvane/sim/runner.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "korvane/sim/pty.h"
#include "pty_reader.h"
#include "wait_for.h"
#include "wire_scan.h"

namespace korvane::sim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::ScanWire;
using testing::SlaveReader;

constexpr milliseconds kDeadline(10000);
// Stopping must not wait out the interval or the write wait; this bound is far from both.
constexpr milliseconds kPromptStop(1000);

std::unique_ptr<Scenario> Charge() {
  return MakeScenario(ScenarioKind::kChargeDischarge, {});
}

int CountCr(const std::string& s) {
  return static_cast<int>(std::count(s.begin(), s.end(), '\r'));
}

TEST(Runner, SendsTheRequestedFramesOverAPty) {
  auto pty = Pty::Open();
  SlaveReader reader(pty->SlavePath());
  ASSERT_TRUE(reader.Opened());
  RunnerOptions options;
  options.interval = milliseconds(0);
  options.max_frames = 25;
  std::atomic<int> callbacks{0};
  Runner runner(*pty, Charge(), options);
  runner.SetOnTransmission([&](const RunnerStats&) { ++callbacks; });
  runner.Start();
  ASSERT_TRUE(reader.ReadUntil([](const std::string& r) { return CountCr(r) >= 25; }, kDeadline));
  ASSERT_TRUE(runner.WaitFinished(kDeadline));
  const auto scan = ScanWire(reader.Received());
  EXPECT_EQ(scan.Valid(), 25);
  EXPECT_EQ(scan.frames.size(), 25u);
  const RunnerStats stats = runner.Stats();
  EXPECT_EQ(stats.frames, 25u);
  EXPECT_EQ(stats.valid_frames, 25u);
  EXPECT_EQ(stats.dropped_bytes, 0u);
  EXPECT_EQ(callbacks.load(), 25);
  // Consecutive frames show the scenario moving on.
  EXPECT_NE(scan.frames[0].Payload(), scan.frames[24].Payload());
}

TEST(Runner, StopsPromptlyMidIntervalAndMidWrite) {
  struct Case {
    const char* name;
    milliseconds interval;
    bool reader;  // without one, the runner ends up waiting for room on the line
  };
  for (const Case& c : {Case{"in the interval", milliseconds(60000), true},
                        Case{"waiting for room", milliseconds(0), false}}) {
    auto pty = Pty::Open();
    SlaveReader reader(c.reader ? pty->SlavePath() : "/nonexistent");
    RunnerOptions options;
    options.interval = c.interval;
    options.write_wait = milliseconds(60000);
    Runner runner(*pty, Charge(), options);
    runner.Start();
    if (c.reader) {
      ASSERT_TRUE(reader.ReadBytes(124, kDeadline)) << c.name;
    } else {
      // The master stops being writable once the queue is full: the runner is then waiting.
      ASSERT_TRUE(testing::WaitFor(
          [&] {
            pollfd p{pty->MasterFd(), POLLOUT, 0};
            return ::poll(&p, 1, 0) == 0;
          },
          kDeadline))
          << c.name;
    }
    const auto before = Clock::now();
    runner.Stop();
    EXPECT_LT(Clock::now() - before, kPromptStop) << c.name;
    EXPECT_FALSE(runner.Finished()) << c.name;
  }
}

TEST(Runner, ClosedLineEndsTheRun) {
  auto pty = Pty::Open();
  RunnerOptions options;
  options.interval = milliseconds(5);
  Runner runner(*pty, Charge(), options);
  pty->CloseMaster();
  runner.Start();
  ASSERT_TRUE(runner.WaitFinished(kDeadline));
  EXPECT_TRUE(runner.Stats().line_failed);
  EXPECT_EQ(runner.Stats().valid_frames, 0u);
}

}  // namespace
}  // namespace korvane::sim
