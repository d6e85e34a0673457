// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/packs.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
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

Pack Named(const std::string& name, int rated_mah = 2200) {
  return Pack{0, name, "LiPo", 3, rated_mah, "", false};
}

// A run of channel `channel` as the tracker sums it up, without frames.
RunSummary NewRun(int channel, std::int64_t start_ms) {
  RunSummary run;
  run.channel = channel;
  run.kind = kRunCharge;
  run.start_ms = start_ms;
  run.end_ms = start_ms + 1000;
  return run;
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
    run.last_frame = batch->AddFrame(Frame(kT0 + 3000, 5, 0, 1500));
    run.end_state = EndState::kFinished;
    run.capacity_mah = 1500;
    batch->PutRun(run);
    batch->Commit();
    SQLite::Database raw(path, SQLite::OPEN_READWRITE);
    DowngradeToVersion3(raw);
  }
  const auto same = [&](const RunSummary& r) {
    return std::tie(r.id, r.start_ms, r.first_frame, r.last_frame, r.capacity_mah, r.end_state) ==
           std::tie(run.id, run.start_ms, run.first_frame, run.last_frame, run.capacity_mah,
                    run.end_state);
  };
  {
    const Store old(path, StoreAccess::kRead);
    ASSERT_EQ(old.Runs().size(), 1u);
    EXPECT_TRUE(same(old.Runs()[0]));
    EXPECT_EQ(old.Runs()[0].pack_id, 0);
    EXPECT_TRUE(old.Packs().empty());
    EXPECT_EQ(old.ChosenPacks()[0], 0);
  }
  Store store(path);
  EXPECT_EQ(SQLite::Database(path).execAndGet("PRAGMA user_version").getInt(), 4);
  EXPECT_EQ(store.Identity(), identity);
  const std::optional<RunSummary> migrated = store.Run(run.id);
  ASSERT_TRUE(migrated);
  EXPECT_TRUE(same(*migrated));
  store.AssignRuns({run.id}, store.AddPack(Named("Blue")));
  EXPECT_EQ(store.Run(run.id)->pack_name, "Blue");
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
  const auto with = [](std::string name, int cells, int rated) {
    return Pack{0, std::move(name), "LiPo", cells, rated, "", false};
  };
  struct Case {
    std::function<void()> action;
    std::string says;
  };
  const Case cases[] = {
      {[&] { store.AddPack(with("", 3, 2200)); }, "A pack needs a name"},
      {[&] { store.AddPack(with(" \t", 3, 2200)); }, "control characters"},
      {[&] { store.AddPack(with("\xC2\xA0 ", 3, 2200)); }, "A pack needs a name"},
      {[&] { store.AddPack(with(std::string(65, 'x'), 3, 2200)); }, "at most 64 characters"},
      {[&] { store.AddPack(with("\xC3\x28", 3, 2200)); }, "valid UTF-8"},
      {[&] { store.AddPack(with("\xC0\xAF", 3, 2200)); }, "valid UTF-8"},  // overlong "/"
      {[&] { store.AddPack(with("Green", 3, 0)); }, "above 0 mAh"},
      {[&] { store.AddPack(with("Green", 0, 2200)); }, "1 to 30 cells"},
      {[&] { store.AddPack(with("Blue", 3, 2200)); }, "A pack named \"Blue\" already exists"},
      {[&] {
         store.EditPack(Pack{red, "Blue", "", 3, 1, "", false});
       },
       "already exists"},
      {[&] {
         store.EditPack(Pack{99, "Grey", "", 3, 1, "", false});
       },
       "no pack with id 99"},
      {[&] { store.DeletePack(blue); }, "Pack \"Blue\" has 1 run: retire it instead"},
      {[&] {
         store.AssignRuns({run.id, 77}, red);
       },
       "There is no run 77"},
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
  for (int i = 0; i < kMaxPackName; ++i) {
    letters += "\xC3\xA9";
  }
  EXPECT_EQ(Refusal([&] { store.AddPack(with(letters, 3, 2200)); }), "");
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
  RunSummary given = NewRun(2, kT0);
  given.pack_id = red;
  EXPECT_EQ(put(given, Store::Batch::NewRunPack::kGiven).pack_name, "Red");

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
  other.EditPack(Pack{red, "Red 2", "LiPo", 3, 2200, "", false});
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
  Store source(dir / "source.sqlite");
  auto batch = source.Begin();
  for (int i = 0; i < 3; ++i) {
    batch->AddFrame(Frame(kT0 + i * 1000, 1, 2000, i));
  }
  batch->Commit();
  std::stringstream file;
  ExportFrames(source, 1, 3, file);
  Store store(dir / "r.sqlite");
  const std::int64_t blue = store.AddPack(Named("Blue"));
  EXPECT_NE(Refusal([&] {
              ImportStream(store, file, {"UTC", 99});
            }).find("no pack with id 99"),
            std::string::npos);
  EXPECT_EQ(store.FrameCount(), 0);
  const ImportResult imported = ImportStream(store, file, {"UTC", blue});
  ASSERT_EQ(imported.runs.size(), 1u);
  EXPECT_EQ(store.Run(imported.runs[0].id)->pack_id, blue);

  store.ChoosePack(2, blue);
  store.DeletePack(store.AddPack(Named("Gone")));  // its id is not given again
  const SalvageResult salvaged = Salvage(store.Path(), dir / "copy.sqlite");
  EXPECT_EQ(salvaged.runs, 1);
  Store copy(dir / "copy.sqlite");
  EXPECT_EQ(copy.Packs().at(0).name, "Blue");
  EXPECT_EQ(copy.ChosenPacks()[1], blue);
  EXPECT_EQ(copy.Runs().at(0).pack_name, "Blue");
  EXPECT_EQ(copy.AddPack(Named("Red")), blue + 2);
}

TEST(PackFigures, FromTheRunsOfEachPack) {
  std::vector<Pack> packs = {Named("A", 2000), Named("B", 1000), Named("C", 1000)};
  for (std::size_t i = 0; i < packs.size(); ++i) {
    packs[i].id = static_cast<std::int64_t>(i + 1);
  }
  const auto run = [](std::int64_t pack, std::int64_t start, int kind, EndState end, int charged,
                      int discharged, std::optional<double> ir = {}) {
    RunSummary r;
    r.pack_id = pack;
    r.start_ms = start;
    r.end_ms = start + 10;
    r.kind = kind;
    r.end_state = end;
    r.charged_mah = static_cast<std::uint16_t>(charged);
    r.discharged_mah = static_cast<std::uint16_t>(discharged);
    r.ir_mohm = ir;
    return r;
  };
  const std::vector<RunSummary> runs = {
      run(1, 300, kRunBoth, EndState::kFinished, 1600, 1500, 35.0),
      run(1, 100, kRunCharge, EndState::kFinished, 1900, 0),
      run(1, 200, kRunDischarge, EndState::kFinished, 0, 1800, 20.0),
      run(1, 400, kRunDischarge, EndState::kInterrupted, 0, 900, 25.0),
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
  EXPECT_EQ(a.health_percent, 75.0);
  EXPECT_EQ(a.ir_mohm, 25.0);  // the newest estimate, of any run
  EXPECT_EQ(a.first_ir_mohm, 20.0);
  EXPECT_TRUE(a.Weak());
  const PackFigures& b = figures[1];
  EXPECT_EQ(std::tie(b.runs, b.cycles), std::make_tuple(2, 0));
  EXPECT_EQ(b.last_capacity_mah, 700);  // no discharge: the last finished charge
  EXPECT_EQ(figures[2].runs, 0);
  EXPECT_FALSE(figures[2].last_capacity_mah || figures[2].health_percent || figures[2].Weak());

  PackFigures sound;
  sound.health_percent = 85.0;
  sound.first_ir_mohm = 20.0;
  sound.ir_mohm = 29.0;
  EXPECT_FALSE(sound.Weak());
  sound.ir_mohm = 31.0;
  EXPECT_TRUE(sound.Weak());
}

}  // namespace
}  // namespace korvane::record
