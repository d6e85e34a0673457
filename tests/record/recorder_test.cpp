// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/recorder.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"

namespace korvane::record {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::TempDir;
using test_support::WaitUntil;

// A charge frame on channel 1 at `ms`; channel 2 idle.
model::S_HARDWARE_DATA Charge(std::int64_t ms) {
  model::S_HARDWARE_DATA r;
  r.UtcMs = ms;
  r.Channels[0].OperationMode = 1;
  r.Channels[0].OutputVoltage = 12000;
  r.Channels[0].OutputCurrent = 2000;
  return r;
}

// Collects the recorder's events from its writer thread.
struct Events {
  std::function<void(const RecorderEvent&)> Sink() {
    return [this](const RecorderEvent& e) {
      std::lock_guard guard(lock);
      kinds.push_back(e.kind);
      texts.push_back(e.text);
      runs.push_back(e.run);
    };
  }
  std::vector<RecorderEvent::Kind> Kinds() {
    std::lock_guard guard(lock);
    return kinds;
  }
  std::mutex lock;
  std::vector<RecorderEvent::Kind> kinds;
  std::vector<std::string> texts;
  std::vector<RunSummary> runs;
};

Recorder::Options Fast(const fs::path& path, Events& events, std::size_t capacity = 1024) {
  Recorder::Options options;
  options.path = path.string();
  options.queue_capacity = capacity;
  options.commit_interval = 20ms;
  options.retry_interval = 20ms;
  options.on_event = events.Sink();
  options.now_ms = [] { return std::int64_t{1'010'000}; };  // the frames' own time: no silence
  return options;
}

TEST(Recorder, CommitsWithinTheIntervalAndInterruptsTheOpenRunAtStop) {
  TempDir dir;
  Events events;
  Recorder recorder(Fast(dir / "sub/recordings.sqlite", events));
  for (int i = 0; i < 5; ++i) {
    recorder.Record(Charge(1'000'000 + 1000 * i));
  }
  // Readable by another connection before the recorder stops.
  ASSERT_TRUE(WaitUntil([&] { return recorder.Status().frames_recorded == 5; }));
  EXPECT_TRUE(recorder.Status().writing);
  {
    const Store reader(dir / "sub/recordings.sqlite");
    EXPECT_EQ(reader.FrameCount(), 5);
    ASSERT_EQ(reader.Runs().size(), 1u);
    EXPECT_EQ(reader.Runs()[0].end_state, EndState::kInProgress);
  }
  recorder.Stop();
  recorder.Record(Charge(2'000'000));  // after the stop: counted, not recorded
  const Store reader(dir / "sub/recordings.sqlite");
  ASSERT_EQ(reader.Runs().size(), 1u);
  EXPECT_EQ(reader.Runs()[0].end_text, "Interrupted");
  EXPECT_EQ(reader.Runs()[0].frames, 5);
  EXPECT_EQ(recorder.Status().frames_lost, 1);
  EXPECT_EQ(events.Kinds(),
            (std::vector{RecorderEvent::Kind::kRunBegan, RecorderEvent::Kind::kRunEnded}));
}

// The store cannot be opened (its folder is a plain file): frames wait in the bounded queue and
// what does not fit is counted; once the folder can be made, recording resumes by itself.
TEST(Recorder, PausesKeepsWhatFitsCountsTheRestAndResumes) {
  TempDir dir;
  std::ofstream(dir / "blocked") << "a file where the folder should be";
  Events events;
  Recorder recorder(Fast(dir / "blocked/recordings.sqlite", events, 4));
  ASSERT_TRUE(WaitUntil([&] {
    return !recorder.Status().paused_reason.empty() &&
           recorder.Status().paused_reason != "starting";
  }));
  for (int i = 0; i < 10; ++i) {
    recorder.Record(Charge(1'000'000 + 1000 * i));
  }
  EXPECT_FALSE(recorder.Status().writing);
  EXPECT_EQ(recorder.Status().frames_lost, 6);

  fs::remove(dir / "blocked");
  ASSERT_TRUE(WaitUntil([&] { return recorder.Status().frames_recorded == 4; }));
  EXPECT_TRUE(recorder.Status().writing);
  EXPECT_TRUE(recorder.Status().paused_reason.empty());
  const auto kinds = events.Kinds();
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds[0], RecorderEvent::Kind::kPaused);
  EXPECT_EQ(kinds[1], RecorderEvent::Kind::kResumed);
}

TEST(Recorder, MovesACorruptFileAsideOnceAndStartsANewStore) {
  TempDir dir;
  const fs::path path = dir / "recordings.sqlite";
  std::ofstream(path) << std::string(8192, '\x5a');
  Events events;
  Recorder recorder(Fast(path, events));
  recorder.Record(Charge(1'000'000));
  ASSERT_TRUE(WaitUntil([&] { return recorder.Status().frames_recorded == 1; }));
  recorder.Stop();
  ASSERT_EQ(events.Kinds().front(), RecorderEvent::Kind::kMovedAside);
  const std::string moved = events.texts.front();
  EXPECT_EQ(moved.rfind(path.string() + ".corrupt-", 0), 0u) << moved;
  EXPECT_EQ(fs::file_size(moved), 8192u);
  EXPECT_EQ(Store(path.string()).FrameCount(), 1);
}

// A second recorder on the same store waits until the first has gone, instead of closing its
// runs as interrupted and writing frames into them.
TEST(Recorder, OneRecorderPerStore) {
  TempDir dir;
  const fs::path path = dir / "recordings.sqlite";
  Events first_events;
  Events second_events;
  auto first = std::make_unique<Recorder>(Fast(path, first_events));
  first->Record(Charge(1'000'000));
  ASSERT_TRUE(WaitUntil([&] { return first->Status().frames_recorded == 1; }));
  Recorder second(Fast(path, second_events));
  second.Record(Charge(1'001'000));
  ASSERT_TRUE(WaitUntil([&] { return !second_events.Kinds().empty(); }));
  EXPECT_EQ(second.Status().paused_reason,
            path.string() + " is being recorded into by another program");
  {
    const Store reader(path.string());
    ASSERT_EQ(reader.Runs().size(), 1u);
    EXPECT_EQ(reader.Runs()[0].end_state, EndState::kInProgress);
  }
  first.reset();
  ASSERT_TRUE(WaitUntil([&] { return second.Status().frames_recorded == 1; }));
  second.Stop();
  const Store reader(path.string());
  EXPECT_EQ(reader.FrameCount(), 2);
}

// The only write is the one at the stop (no commit interval passes), and a full disk (a file
// size cap) refuses it: every queued frame is counted as not recorded.
TEST(Recorder, FramesTheFullStoreCannotTakeAtTheStopAreCounted) {
  TempDir dir;
  const fs::path path = dir / "recordings.sqlite";
  Store(path.string()).CloseInterruptedRuns();
  Events events;
  Recorder::Options options = Fast(path, events, 4096);
  options.commit_interval = std::chrono::hours(1);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const rlimit full{32 * 1024, old.rlim_max};
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &full);
  Recorder recorder(options);
  for (int i = 0; i < 2000; ++i) {
    recorder.Record(Charge(1'000'000 + 1000 * i));
  }
  recorder.Stop();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(recorder.Status().frames_recorded, 0);
  EXPECT_EQ(recorder.Status().frames_lost, 2000);
  EXPECT_EQ(events.Kinds(), std::vector{RecorderEvent::Kind::kPaused});
}

// At its first open the recorder closes and tells what a crash left in progress, and tells the
// damage its check finds (pages that neither a table nor the free list holds). A store locked by
// another connection then pauses it even with nothing to write; once free, only frames written
// resume it, and the reopened store keeps the recorder's own run open.
TEST(Recorder, FirstOpenTellsStaleRunsAndDamageAndOnlyFramesWrittenResume) {
  TempDir dir;
  const fs::path path = dir / "recordings.sqlite";
  {
    Store store(path.string());
    auto batch = store.Begin();
    for (int i = 0; i < 500; ++i) {
      batch->AddFrame(Charge(1'000 * i));
    }
    RunSummary stale;
    stale.kind = kRunCharge;
    batch->PutRun(stale);
    batch->Commit();
  }
  SQLite::Database(path.string(), SQLite::OPEN_READWRITE).exec("DELETE FROM frames");
  std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
      .seekp(32)
      .write("\0\0\0\0\0\0\0", 8);  // the free list's first page and count
  Events events;
  std::atomic<int> cycles{0};
  Recorder::Options options = Fast(path, events);
  options.now_ms = [&cycles] {
    ++cycles;
    return std::int64_t{1'010'000};
  };
  Recorder recorder(options);
  recorder.Record(Charge(1'000'000));
  {
    SQLite::Database holder(path.string(), SQLite::OPEN_READWRITE, 10'000);  // waits its turn
    ASSERT_TRUE(WaitUntil([&] { return events.Kinds().size() == 3; }));
    holder.exec("BEGIN IMMEDIATE");
    ASSERT_TRUE(WaitUntil([&] { return events.Kinds().size() == 4; }));
    holder.exec("ROLLBACK");
  }
  const int freed = cycles.load();
  ASSERT_TRUE(WaitUntil([&] { return cycles.load() > freed + 5; }));
  EXPECT_FALSE(recorder.Status().writing);
  recorder.Record(Charge(1'001'000));
  ASSERT_TRUE(WaitUntil([&] { return events.Kinds().size() == 5; }));
  using Kind = RecorderEvent::Kind;
  EXPECT_EQ(events.Kinds(), (std::vector{Kind::kRunClosed, Kind::kDamaged, Kind::kRunBegan,
                                         Kind::kPaused, Kind::kResumed}));
  EXPECT_EQ(ClosedRunLine(events.runs[0]),
            "run 1 closed: channel 1, charge, Interrupted (left in progress by a recording that "
            "did not stop cleanly)");
  EXPECT_NE(events.texts[1].find("never used"), std::string::npos) << events.texts[1];
  const RunSummary own = Store(path.string()).Runs().back();
  EXPECT_EQ(own.end_state, EndState::kInProgress);
  EXPECT_EQ(own.frames, 2);
}

}  // namespace
}  // namespace korvane::record
