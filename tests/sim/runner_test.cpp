// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/runner.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <chrono>

#include "korvane/sim/pty.h"
#include "korvane/test_support/wait.h"
#include "pty_reader.h"

namespace korvane::sim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::SlaveReader;

constexpr milliseconds kDeadline(10000);
// Stopping must not wait out the interval or the write wait; this bound is far from both.
constexpr milliseconds kPromptStop(1000);

std::unique_ptr<Scenario> Charge() {
  return MakeScenario(ScenarioKind::kChargeDischarge, {});
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
      pollfd p{pty->MasterFd(), POLLOUT, 0};
      ASSERT_TRUE(test_support::WaitUntil([&] { return ::poll(&p, 1, 0) == 0; }, kDeadline))
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
