// SPDX-License-Identifier: GPL-3.0-or-later
// The real program records while the simulated charger sends 20 frames a second, and is killed
// with SIGKILL at random moments. After every kill the store must pass the integrity check and
// hold every frame written more than a second before the kill; the next start must close the
// runs the kill left open.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "korvane/record/store.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"
#include "korvane/test_support/child.h"
#include "korvane/test_support/wait.h"
#include "system_support.h"

namespace korvane::system_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::Child;
using test_support::Environment;
using test_support::WaitUntil;

constexpr int kKills = 50;
constexpr auto kDeadline = 20s;
// Each program lives this long from its launch to the kill (uniformly drawn).
constexpr int kShortestLifeMs = 200;
constexpr int kLongestLifeMs = 2300;

std::int64_t UtcNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// True while process `pid` has `device` open.
bool HasOpen(pid_t pid, const std::string& device) {
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code link_error;
    if (std::filesystem::read_symlink(entry.path(), link_error) == device) {
      return true;
    }
  }
  return false;
}

std::unique_ptr<sim::Scenario> ChargeDischarge(std::uint64_t seed) {
  sim::ScenarioOptions options;
  options.seed = seed;
  return sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, options);
}

sim::RunnerOptions TwentyPerSecond() {
  sim::RunnerOptions options;
  options.interval = 50ms;
  return options;
}

// The charge/discharge scenario at 20 frames a second, with the moment each frame's write ended.
class Feed {
 public:
  Feed(sim::Pty& pty, std::uint64_t seed) : runner_(pty, ChargeDischarge(seed), TwentyPerSecond()) {
    runner_.SetOnTransmission([this](const sim::RunnerStats& stats) {
      std::lock_guard guard(lock_);
      written_.push_back({Clock::now(), UtcNowMs(), stats.valid_frames});
    });
    runner_.Start();
  }

  void Stop() { runner_.Stop(); }
  std::uint64_t Total() const {
    return WrittenWhile([](const Written&) { return true; });
  }
  // Frames completely written by `moment`.
  std::uint64_t WrittenBy(Clock::time_point moment) const {
    return WrittenWhile([&](const Written& w) { return w.at <= moment; });
  }
  // Frames written by the wall-clock millisecond `utc_ms` (one later, for rounding).
  std::uint64_t WrittenByUtc(std::int64_t utc_ms) const {
    return WrittenWhile([&](const Written& w) { return w.utc_ms <= utc_ms + 1; });
  }

 private:
  struct Written {
    Clock::time_point at;
    std::int64_t utc_ms;
    std::uint64_t frames;  // so far
  };

  template <typename Predicate>
  std::uint64_t WrittenWhile(Predicate keep) const {
    std::lock_guard guard(lock_);
    std::uint64_t frames = 0;
    for (const Written& w : written_) {
      if (!keep(w)) {
        break;
      }
      frames = w.frames;
    }
    return frames;
  }

  mutable std::mutex lock_;
  std::vector<Written> written_;
  sim::Runner runner_;  // last: stops before the log goes
};

unsigned Seed() {
  const char* text = std::getenv("KORVANE_CRASH_SEED");
  return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
                         : std::random_device{}();
}

class RecordingCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir_.path(),
            "XDG_CONFIG_HOME=" + (dir_ / "config"), "XDG_DATA_HOME=" + (dir_ / "data"),
            "XDG_RUNTIME_DIR=" + dir_.path()};
    std::filesystem::create_directories(dir_ / "config/Korvane Connect");
  }

  // Starts the program on a fresh pty (a killed program leaves its port in exclusive mode).
  std::unique_ptr<Child> Launch(const sim::Pty& pty) {
    WriteFile(dir_ / "config/Korvane Connect/korvane-connect.ini",
              "[GLOBAL]\nCommPort=1\nChannel=1\n[PORTS]\nCOM1=" + pty.SlavePath() +
                  "\n[RECORDING]\nEnabled=1\nFile=" + StorePath() + "\n");
    auto program =
        std::make_unique<Child>(std::vector<std::string>{KORVANE_CONNECT, "-NOPROMPTONCLOSE"},
                                Environment(env_), "/dev/null");
    EXPECT_GT(program->Pid(), 0);
    return program;
  }

  std::string StorePath() const { return dir_ / "recordings.sqlite"; }

  TempDir dir_;
  std::vector<std::string> env_;
};

TEST_F(RecordingCrash, EveryKillKeepsASoundStoreWithAllButTheLastSecond) {
  const unsigned seed = Seed();
  std::cout << "seed " << seed << " (KORVANE_CRASH_SEED=" << seed << " repeats it)\n";
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> life_ms(kShortestLifeMs, kLongestLifeMs);

  std::int64_t stored = 0;      // frames in the store after the previous kill
  std::int64_t last_frame = 0;  // and the id of the last of them
  std::int64_t older_runs = 0;  // the highest run id before the current program started
  int checked = 0;              // kills with frames due in the store
  for (int kill = 1; kill <= kKills; ++kill) {
    const int life = life_ms(random);
    SCOPED_TRACE("kill " + std::to_string(kill) + " after " + std::to_string(life) + " ms");
    auto pty = sim::Pty::Open();
    const Clock::time_point kill_at = Clock::now() + std::chrono::milliseconds(life);
    auto program = Launch(*pty);
    // The program purges its port as it opens it: frames go out only once it has it open.
    std::optional<Feed> feed;
    if (WaitUntil([&] { return HasOpen(program->Pid(), pty->SlavePath()); }, kill_at)) {
      feed.emplace(*pty, static_cast<std::uint64_t>(kill));
    }
    std::this_thread::sleep_until(kill_at);
    const Clock::time_point killed = Clock::now();
    program->Signal(SIGKILL);
    program->Wait(kDeadline);
    if (feed) {
      feed->Stop();
    }

    const record::Store store(StorePath());
    ASSERT_TRUE(store.IntegrityOk());
    const std::int64_t count = store.FrameCount();
    // Far more ids than a program can store in its life here.
    const auto added = store.Frames(last_frame + 1, last_frame + 10'000);
    ASSERT_EQ(count, stored + static_cast<std::int64_t>(added.size()))
        << "frames vanished or came in out of order";
    const std::uint64_t grown = added.size();
    if (feed) {
      EXPECT_LE(grown, feed->Total()) << "more frames stored than were sent";
      const std::uint64_t due = feed->WrittenBy(killed - 1s);
      if (grown == 0) {
        // Only the very first frame can be lost, to the purge at the port's open.
        EXPECT_LE(due, 1u) << "nothing stored of frames sent over a second before the kill";
      } else {
        // Frames written before the first stored one was decoded may have met the purge.
        const std::uint64_t unreceivable = feed->WrittenByUtc(added.front().record.UtcMs);
        checked += due > unreceivable;
        EXPECT_GE(grown + unreceivable, due) << "frames sent over a second before the kill lost";
      }
    }
    int left_open = 0;
    std::int64_t newest_run = older_runs;
    for (const record::RunSummary& run : store.Runs()) {
      left_open += run.id <= older_runs && run.end_state == record::EndState::kInProgress;
      newest_run = std::max(newest_run, run.id);
    }
    // The program opens the store, closing the runs a kill left open, before its first commit.
    if (grown > 0) {
      EXPECT_EQ(left_open, 0) << "runs of an earlier program still in progress";
    }
    older_runs = newest_run;
    stored = count;
    last_frame = added.empty() ? last_frame : added.back().id;
  }
  // Kills late enough to have frames due must be common, or the test proves little.
  EXPECT_GE(checked, kKills / 4);

  // A last start closes the runs left open, and a clean stop ends its own.
  auto pty = sim::Pty::Open();
  auto program = Launch(*pty);
  ASSERT_TRUE(WaitUntil([&] { return HasOpen(program->Pid(), pty->SlavePath()); }, kDeadline));
  Feed feed(*pty, kKills + 1);
  ASSERT_TRUE(WaitUntil(
      [&] {
        try {
          return record::Store(StorePath()).FrameCount() > stored;
        } catch (const record::StoreError&) {
          return false;  // busy for a moment
        }
      },
      kDeadline));
  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(kDeadline), 0);
  feed.Stop();
  const record::Store store(StorePath());
  EXPECT_TRUE(store.IntegrityOk());
  const std::vector<record::RunSummary> runs = store.Runs();
  EXPECT_GT(runs.size(), 0u);
  // Every run here was cut short, by a kill or by the stop.
  EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const record::RunSummary& run) {
    return run.end_state == record::EndState::kInterrupted;
  }));
}

}  // namespace
}  // namespace korvane::system_test
