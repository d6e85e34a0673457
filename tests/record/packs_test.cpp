// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/packs.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "korvane/record/recorder.h"
#include "korvane/record/run_files.h"
#include "korvane/record/salvage.h"
#include "korvane/record/store.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"
#include "old_layout.h"

namespace korvane::record {
namespace {

using namespace std::chrono_literals;
using test_support::TempDir;
using test_support::WaitUntil;

constexpr std::int64_t kT0 = 1'765'269'900'000;

// A frame with channel 1 at rest (mode 0), charging (1) or finished (5) at `ma`: 12.0 V at
// rest, 0.1 V more per ampere, so the pack's resistance is 100 mOhm.
model::S_HARDWARE_DATA Frame(std::int64_t ms, int mode, int ma, int mah = 0) {
  model::S_HARDWARE_DATA r;
  r.UtcMs = ms;
  model::S_CHANNEL_DATA& c = r.Channels[0];
  c.OperationMode = static_cast<std::uint8_t>(mode);
  c.OutputCurrent = static_cast<std::uint16_t>(ma);
  c.OutputVoltage = static_cast<std::uint16_t>(12000 + ma / 10);
  c.OutputCapacity = static_cast<std::uint16_t>(mah);
  return r;
}

Pack Named(const std::string& name, int rated_mah = 2200, int cells = 3, std::int64_t id = 0) {
  return Pack{id, name, "LiPo", cells, rated_mah, "", false};
}

// A charge run of `channel` as the tracker sums it up, without frames.
RunSummary NewRun(int channel, std::int64_t start_ms) {
  return RunSummary{.channel = channel, .kind = kRunCharge, .start_ms = start_ms};
}

// The PackError what() of `action`; "" when it succeeds.
std::string Refusal(const std::function<void()>& action) {
  try {
    action();
  } catch (const PackError& error) {
    return error.what();
  }
  return "";
}

TEST(Packs, AVersion3StoreIsReadAsItIsThenMigratedWithItsRunsAndIdentity) {
  TempDir dir;
  const std::string path = dir / "r.sqlite";
  std::string identity;
  RunSummary run = NewRun(1, kT0 + 2000);
  {
    Store store(path);
    identity = store.Identity();
    auto batch = store.Begin();
    batch->AddFrame(Frame(kT0, 0, 0));
    run.first_frame = batch->AddFrame(Frame(kT0 + 2000, 1, 2000, 10));
    batch->AddFrame(Frame(kT0 + 3000, 1, 2000, 1400));
    run.last_frame = batch->AddFrame(Frame(kT0 + 4000, 5, 0, 1500));
    run.end_state = EndState::kFinished;
    batch->PutRun(run);
    batch->Commit();
    SQLite::Database raw(path, SQLite::OPEN_READWRITE);
    DowngradeToVersion3(raw);
  }
  {
    const Store old(path, StoreAccess::kRead);
    ASSERT_EQ(old.Runs().size(), 1u);
    EXPECT_EQ(std::tie(old.Runs()[0].last_frame, old.Runs()[0].pack_id),
              std::make_tuple(run.last_frame, std::int64_t{0}));
    EXPECT_TRUE(old.Packs().empty());
    EXPECT_EQ(old.ChosenPacks()[0], 0);
  }
  Store store(path);
  EXPECT_EQ(SQLite::Database(path).execAndGet("PRAGMA user_version").getInt(), 4);
  EXPECT_EQ(store.Identity(), identity);
  const RunSummary migrated = store.Runs().at(0);
  EXPECT_EQ(std::tie(migrated.id, migrated.first_frame, migrated.last_frame, migrated.end_state),
            std::tie(run.id, run.first_frame, run.last_frame, run.end_state));
  EXPECT_EQ(migrated.charged_mah, 1400);  // the figures come from the stored frames
  EXPECT_NEAR(migrated.ir_mohm.value_or(0), 100.0, 1e-9);
  EXPECT_EQ(store.AddPack(Named("Blue")), 1);
}

// Each refusal leaves the packs, the choices and the assignments as they were.
TEST(Packs, RefusalsSayWhyAndChangeNothing) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  const std::int64_t blue = store.AddPack(Named("Blue"));
  const std::int64_t red = store.AddPack(Named("Red"));
  RunSummary run = NewRun(1, kT0);
  run.pack_id = blue;
  auto batch = store.Begin();
  batch->PutRun(run);
  batch->Commit();
  struct Case {
    std::function<void()> action;
    std::string says;
  };
  const std::vector<std::int64_t> unknown_run = {run.id, 77};
  const Case cases[] = {
      {[&] { store.AddPack(Named("")); }, "A pack needs a name"},
      {[&] { store.AddPack(Named(" \t")); }, "control characters"},
      {[&] { store.AddPack(Named("\xC2\xA0 ")); }, "A pack needs a name"},
      {[&] { store.AddPack(Named(std::string(65, 'x'))); }, "at most 64 characters"},
      {[&] { store.AddPack(Named("\xC3\x28")); }, "valid UTF-8"},
      {[&] { store.AddPack(Named("\xC0\xAF")); }, "valid UTF-8"},  // overlong "/"
      {[&] { store.AddPack(Named("Green", 0)); }, "above 0 mAh"},
      {[&] { store.AddPack(Named("Green", 2200, 0)); }, "1 to 30 cells"},
      {[&] { store.AddPack(Named("Blue")); }, "A pack named \"Blue\" already exists"},
      {[&] { store.EditPack(Named("Blue", 1, 3, red)); }, "already exists"},
      {[&] { store.EditPack(Named("Grey", 1, 3, 99)); }, "no pack with id 99"},
      {[&] { store.DeletePack(blue); }, "Pack \"Blue\" has 1 run: retire it instead"},
      {[&] { store.AssignRuns(unknown_run, red); }, "There is no run 77"},
      {[&] { store.AssignRuns({run.id}, 99); }, "no pack with id 99"},
      {[&] { store.ChoosePack(1, 99); }, "no pack with id 99"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(Refusal(c.action).find(c.says), std::string::npos) << c.says;
  }
  EXPECT_EQ(store.Packs().size(), 2u);
  EXPECT_EQ(store.FindPack(red)->name, "Red");
  EXPECT_EQ(store.Run(run.id)->pack_id, blue);
  EXPECT_EQ(store.ChosenPacks()[0], 0);
  // Characters, not bytes: 64 two-byte letters are a name.
  std::string letters;
  while (letters.size() < 2 * kMaxPackName) {
    letters += "\xC3\xA9";
  }
  EXPECT_EQ(Refusal([&] { store.AddPack(Named(letters)); }), "");
}

TEST(Packs, RunsTakeTheChosenPackAndKeepTheirsWhenPutAgain) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  const std::int64_t blue = store.AddPack(Named("Blue"));
  const std::int64_t red = store.AddPack(Named("Red"));
  const auto put = [&](RunSummary run, Store::Batch::NewRunPack pack) {
    auto batch = store.Begin();
    batch->PutRun(run, pack);
    batch->Commit();
    return run;
  };
  constexpr auto kChosen = Store::Batch::NewRunPack::kChosen;
  store.ChoosePack(1, blue);
  const RunSummary first = put(NewRun(1, kT0), kChosen);
  EXPECT_EQ(std::tie(first.pack_id, first.pack_name), std::tie(blue, "Blue"));
  EXPECT_EQ(put(NewRun(2, kT0), kChosen).pack_id, 0);  // nothing chosen on channel 2

  store.ChoosePack(1, red);
  EXPECT_EQ(put(NewRun(1, kT0 + 1), kChosen).pack_id, red);
  store.ChoosePack(1, 0);
  const RunSummary later = put(NewRun(1, kT0 + 2), kChosen);
  EXPECT_EQ(later.pack_id, 0);
  EXPECT_EQ(store.Run(first.id)->pack_id, blue);

  // After the fact; a later put of the run (its old pack in hand) keeps the assignment.
  store.AssignRuns({first.id, later.id}, red);
  RunSummary ended = put(first, kChosen);
  EXPECT_EQ(ended.pack_id, red);
  store.AssignRuns({first.id}, 0);
  EXPECT_EQ(put(ended, kChosen).pack_id, 0);
  EXPECT_EQ(store.Run(later.id)->pack_name, "Red");

  // Deleting a chosen pack that has no runs clears the choice.
  const std::int64_t spare = store.AddPack(Named("Spare"));
  store.ChoosePack(2, spare);
  store.DeletePack(spare);
  EXPECT_EQ(store.ChosenPacks(), (std::array<std::int64_t, 2>{0, 0}));
}

// A recording and another program on one store: the run in progress is assigned and its pack
// renamed while the recorder goes on updating it; the run keeps the pack under its new name.
TEST(Packs, AnAssignmentMadeDuringARecordingIsKept) {
  TempDir dir;
  const std::string path = dir / "r.sqlite";
  Store other(path);
  other.ChoosePack(1, other.AddPack(Named("Blue")));
  const std::int64_t red = other.AddPack(Named("Red"));
  std::mutex mutex;
  std::vector<RunSummary> runs;
  Recorder::Options options;
  options.path = path;
  options.commit_interval = 10ms;
  options.now_ms = [] { return kT0 + 1000; };
  options.on_event = [&](const RecorderEvent& event) {
    std::lock_guard guard(mutex);
    runs.push_back(event.run);
  };
  Recorder recorder(options);
  const auto record = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      recorder.Record(Frame(kT0 + i * 100, 1, 2000, i));
    }
    ASSERT_TRUE(WaitUntil([&] { return recorder.Status().frames_recorded == to; }));
  };
  record(0, 5);
  const std::int64_t id = other.Runs().at(0).id;
  other.AssignRuns({id}, red);
  other.EditPack(Named("Red 2", 2200, 3, red));
  record(5, 10);
  recorder.Stop();
  std::lock_guard guard(mutex);
  ASSERT_EQ(runs.size(), 2u);  // began, ended
  EXPECT_EQ(runs[0].pack_name, "Blue");
  EXPECT_EQ(std::tie(runs[1].pack_id, runs[1].pack_name), std::tie(red, "Red 2"));
  EXPECT_EQ(other.Run(id)->pack_id, red);
}

TEST(Packs, ImportAndSalvageCarryPacks) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  const std::int64_t blue = store.AddPack(Named("Blue"));
  const std::vector<model::S_HARDWARE_DATA> frames = {Frame(kT0, 1, 2000), Frame(kT0 + 1, 1, 2000)};
  EXPECT_NE(Refusal([&] { ImportFrames(store, frames, 99); }).find("no pack with id 99"),
            std::string::npos);
  EXPECT_EQ(store.FrameCount(), 0);
  EXPECT_EQ(ImportFrames(store, frames, blue).runs.at(0).pack_name, "Blue");

  store.ChoosePack(2, blue);
  store.DeletePack(store.AddPack(Named("Gone")));  // its id is not given again
  EXPECT_EQ(Salvage(store.Path(), dir / "copy.sqlite").runs, 1);
  Store copy(dir / "copy.sqlite");
  EXPECT_EQ(copy.Runs().at(0).pack_name, "Blue");
  EXPECT_EQ(copy.ChosenPacks()[1], blue);
  EXPECT_EQ(copy.AddPack(Named("Red")), blue + 2);
}

TEST(PackFigures, FromTheRunsOfEachPack) {
  std::vector<Pack> packs = {Named("A", 1800), Named("B", 1000), Named("C", 1000)};
  for (std::size_t i = 0; i < packs.size(); ++i) {
    packs[i].id = static_cast<std::int64_t>(i + 1);
  }
  const auto run = [](std::int64_t pack, std::int64_t start, int kind, EndState end, int charged,
                      int discharged, std::optional<double> ir = {}) {
    return RunSummary{.kind = kind,
                      .start_ms = start,
                      .end_ms = start + 10,
                      .end_state = end,
                      .charged_mah = static_cast<std::uint16_t>(charged),
                      .discharged_mah = static_cast<std::uint16_t>(discharged),
                      .ir_mohm = ir,
                      .pack_id = pack};
  };
  const std::vector<RunSummary> runs = {
      run(1, 300, kRunBoth, EndState::kFinished, 1600, 1500, 35.0),
      run(1, 100, kRunCharge, EndState::kFinished, 1900, 0),
      run(1, 200, kRunDischarge, EndState::kFinished, 0, 1800, 20.0),
      run(1, 400, kRunDischarge, EndState::kInterrupted, 0, 900, 31.0),
      run(2, 100, kRunCharge, EndState::kFinished, 700, 0),
      run(2, 200, kRunCharge, EndState::kStopped, 100, 0),
      run(0, 500, kRunDischarge, EndState::kFinished, 0, 10),
      run(9, 500, kRunDischarge, EndState::kFinished, 0, 10),
  };
  const std::vector<PackFigures> figures = ComputeFigures(packs, runs);
  ASSERT_EQ(figures.size(), 3u);
  const PackFigures& a = figures[0];
  EXPECT_EQ(std::tie(a.runs, a.cycles, a.last_used_ms), std::make_tuple(4, 2, std::int64_t{410}));
  EXPECT_EQ(a.last_capacity_mah, 1500);  // the newest finished discharge
  EXPECT_NEAR(a.health_percent.value_or(0), 83.3, 0.1);
  EXPECT_EQ(a.ir_mohm, 31.0);  // the newest estimate, of any run
  EXPECT_EQ(a.first_ir_mohm, 20.0);
  EXPECT_TRUE(a.Weak());  // healthy, but its IR has risen by 55 %
  const PackFigures& b = figures[1];
  EXPECT_EQ(std::tie(b.runs, b.cycles), std::make_tuple(2, 0));
  EXPECT_EQ(b.last_capacity_mah, 700);  // no discharge: the last finished charge
  EXPECT_TRUE(b.Weak());                // 70 %
  EXPECT_EQ(figures[2].runs, 0);
  EXPECT_FALSE(figures[2].last_capacity_mah || figures[2].health_percent || figures[2].Weak());
}

}  // namespace
}  // namespace korvane::record
