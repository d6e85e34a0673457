// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/store.h"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "korvane/model/date_time.h"
#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"
#include "old_layout.h"

namespace korvane::record {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::ErrorInChild;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

// The fault `action` throws as "<fault>: <message>", "" when it returns.
std::string FaultOf(const std::function<void()>& action) {
  static const char* const kNames[] = {"none", "full", "read-only", "locked", "corrupt", "other"};
  try {
    action();
  } catch (const StoreError& error) {
    return std::string(kNames[static_cast<int>(error.fault())]) + ": " + error.what();
  }
  return "";
}

// The same in a forked child, as the user "nobody" when asked; "hung" when it does not finish.
std::string FaultInChild(const std::function<void()>& action, bool as_nobody = false) {
  return ErrorInChild([&] { throw std::runtime_error(FaultOf(action)); }, as_nobody)
      .value_or("hung");
}

// Calls `visit` with every field of the record but Time, in one fixed order.
template <typename Record, typename Visit>
void EachField(Record& r, Visit visit) {
  visit(r.UtcMs);
  visit(r.FrameCode);
  for (auto& c : r.Channels) {
    for (auto* field :
         {&c.InputVoltage, &c.OutputVoltage, &c.OutputCurrent, &c.OutputCapacity, &c.Temperature}) {
      visit(*field);
    }
    for (auto* field : {&c.OperationMode, &c.OperationStatus, &c.CycleNumber, &c.TemperatureSign,
                        &c.TemperatureUnit}) {
      visit(*field);
    }
    for (auto& cell : c.CellVoltage) {
      visit(cell);
    }
  }
}

// Field i is base + step i (cut to its width): with a step, a swapped or shifted column shows.
model::S_HARDWARE_DATA Frame(std::int64_t utc_ms, int base, int step = 1) {
  model::S_HARDWARE_DATA r;
  int value = base;
  EachField(
      r, [&](auto& field) { field = static_cast<std::decay_t<decltype(field)>>(value += step); });
  r.UtcMs = utc_ms;
  return r;
}

std::vector<long long> Values(const model::S_HARDWARE_DATA& r) {
  std::vector<long long> values;
  EachField(r, [&](auto field) { values.push_back(field); });
  return values;
}

auto Fields(const RunSummary& r) {
  return std::tuple(r.id, r.channel, r.kind, r.start_ms, r.end_ms, r.first_frame, r.last_frame,
                    r.frames, r.capacity_mah, r.energy_wh, r.max_current_ma, r.peak_temperature,
                    r.temperature_unit, r.first_output_mv, r.last_output_mv, r.min_cell_mv,
                    r.max_cell_mv, r.cell_spread_mv, r.end_state, r.end_text);
}

RunSummary Summary(int channel, std::int64_t start_ms, EndState state = EndState::kInProgress) {
  RunSummary run{0,    channel, kRunBoth, start_ms, start_ms + 7'200'000,
                 3,    7203,    7201,     65535,    12.34,
                 5000, -125,    1,        14800,    16800,
                 3700, 4210,    12,       state};
  run.end_text = state == EndState::kInProgress ? "In progress" : "Finished: ok";
  return run;
}

std::int64_t AddFrames(Store& store, int count, std::int64_t utc_ms = 1'765'269'900'000) {
  auto batch = store.Begin();
  for (int i = 0; i < count; ++i) {
    batch->AddFrame(Frame(utc_ms + 1000 * i, i));
  }
  batch->Commit();
  return count;
}

TEST(Store, FramesKeepEveryFieldOfBothChannels) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  const std::vector<model::S_HARDWARE_DATA> sent = {
      Frame(1'765'269'900'123, 1000), Frame(1'765'269'901'124, 40000, 3),
      Frame(0, 0, 0),                       // every field 0
      Frame(4'102'444'800'000, 65535, 0)};  // every 16-bit field 65535, every 8-bit one 255
  std::vector<std::int64_t> ids;
  auto batch = store.Begin();
  for (const auto& record : sent) {
    ids.push_back(batch->AddFrame(record));
  }
  batch->Commit();
  EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 3, 4}));
  const std::vector<StoredFrame> read = store.Frames(ids.front(), ids.back());
  ASSERT_EQ(read.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(read[i].id, ids[i]);
    EXPECT_EQ(Values(read[i].record), Values(sent[i])) << i;
    EXPECT_EQ(read[i].record.Time, model::StampFromUnixMs(sent[i].UtcMs).Local) << i;
  }
  EXPECT_EQ(store.Frames(ids[1], ids[2]).size(), 2u);
  EXPECT_TRUE(store.Frames(ids[2], ids[1]).empty());
  EXPECT_EQ(store.FrameCount(), 4);
  // One channel's read: that channel's values where the whole read has them, the other zero.
  for (const int channel : {1, 2}) {
    const std::vector<StoredFrame> one = store.Frames(ids.front(), ids.back(), channel);
    ASSERT_EQ(one.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      model::S_HARDWARE_DATA expected = read[i].record;
      expected.Channels[static_cast<std::size_t>(2 - channel)] = {};
      EXPECT_EQ(Values(one[i].record), Values(expected)) << channel << " " << i;
    }
  }
}

TEST(Store, RunsAreInsertedThenReplacedUnderTheirIds) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  RunSummary later = Summary(1, 2'000'000);
  RunSummary earlier = Summary(2, 1'000'000);
  auto batch = store.Begin();
  batch->PutRun(later);
  batch->PutRun(earlier);
  batch->Commit();
  ASSERT_GT(later.id, 0);
  ASSERT_GT(earlier.id, later.id);

  later.end_state = EndState::kError;
  later.end_text = "Error: Temperature too high";
  later.frames += 1;
  batch = store.Begin();
  batch->PutRun(later);
  batch->Commit();

  const std::vector<RunSummary> runs = store.Runs();  // oldest start first, not by id
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(Fields(runs[0]), Fields(earlier));
  EXPECT_EQ(Fields(runs[1]), Fields(later));
  EXPECT_EQ(Fields(store.Run(later.id).value()), Fields(later));
  EXPECT_FALSE(store.Run(earlier.id + 1).has_value());
  ASSERT_EQ(store.Runs(later.id).size(), 1u);
  EXPECT_EQ(store.Runs(later.id)[0].id, earlier.id);

  store.DeleteRun(earlier.id);
  RunSummary next = Summary(1, 3'000'000);
  batch = store.Begin();
  batch->PutRun(next);
  batch->Commit();
  EXPECT_GT(next.id, earlier.id);  // a deleted run's id is never given again
  EXPECT_EQ(store.Runs().size(), 2u);
}

TEST(Store, BatchNotCommittedLeavesNothing) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  {
    auto batch = store.Begin();
    batch->AddFrame(Frame(1, 1));
    RunSummary run = Summary(1, 1);
    batch->PutRun(run);
  }
  EXPECT_EQ(store.FrameCount(), 0);
  EXPECT_TRUE(store.Runs().empty());
  AddFrames(store, 2);  // the write lock went with the batch
  EXPECT_EQ(store.FrameCount(), 2);
}

TEST(Store, ReopenedFileKeepsItsDataAtTheCurrentVersionInWalMode) {
  TempDir dir;
  const std::string path = dir / "new/folders/r.sqlite";
  {
    Store store(path);
    AddFrames(store, 3);
  }
  {
    SQLite::Database raw(path);
    EXPECT_EQ(raw.execAndGet("PRAGMA user_version").getInt(), Store::kSchemaVersion);
    EXPECT_EQ(raw.execAndGet("PRAGMA journal_mode").getString(), "wal");
  }
  Store store(path);
  Store other(path);
  EXPECT_EQ(store.FrameCount(), 3);
  AddFrames(other, 2);
  EXPECT_EQ(store.FrameCount(), 5);
  EXPECT_TRUE(store.IntegrityOk());
}

// A version 1 file gains the publishers' marks and keeps its frames; each client has its own.
TEST(Store, VersionOneFileIsMigratedForPublishing) {
  TempDir dir;
  const std::string path = dir / "r.sqlite";
  {
    Store store(path);
    AddFrames(store, 3);
  }
  {
    SQLite::Database raw(path, SQLite::OPEN_READWRITE);
    DowngradeToVersion3(raw);
    raw.exec("DROP TABLE publish_state; DROP TABLE store_info; PRAGMA user_version = 1");
  }
  Store store(path);
  EXPECT_EQ(store.Identity().size(), 32u);
  EXPECT_EQ(store.FrameCount(), 3);
  EXPECT_EQ(store.LastFrameId(), 3);
  EXPECT_EQ(store.PublishedUpTo("a"), std::nullopt);
  store.SetPublishedUpTo("a", 2);
  store.SetPublishedUpTo("b", 1);
  store.SetPublishedUpTo("a", 3);
  EXPECT_EQ(Store(path).PublishedUpTo("a"), 3);
  EXPECT_EQ(store.PublishedUpTo("b"), 1);
}

TEST(Store, FilesOfANewerVersionOrAnotherProgramAreRefusedUntouched) {
  TempDir dir;
  struct Case {
    std::string sql;
    std::string says;
  };
  const Case cases[] = {
      {"PRAGMA user_version = " + std::to_string(Store::kSchemaVersion + 1), "newer version"},
      {"CREATE TABLE notes (text)", "another program's database"},
  };
  for (const Case& c : cases) {
    const std::string path = dir / std::to_string(&c - cases);
    SQLite::Database(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec(c.sql);
    const std::string before = ReadFile(path);
    const std::string fault = FaultOf([&] { Store store(path); });
    EXPECT_EQ(fault.rfind("other: " + path, 0), 0u) << fault;
    EXPECT_NE(fault.find(c.says), std::string::npos) << fault;
    EXPECT_EQ(ReadFile(path), before) << c.sql;
  }
}

TEST(Store, CloseInterruptedRunsEndsOnlyRunsInProgress) {
  TempDir dir;
  Store store(dir / "r.sqlite");
  std::vector<RunSummary> runs = {Summary(1, 1), Summary(2, 2), Summary(1, 3, EndState::kFinished)};
  auto batch = store.Begin();
  for (RunSummary& run : runs) {
    batch->PutRun(run);
  }
  batch->Commit();

  EXPECT_EQ(store.CloseInterruptedRuns().size(), 2u);
  EXPECT_TRUE(store.CloseInterruptedRuns().empty());
  std::vector<std::string> ends;
  for (const RunSummary& run : store.Runs()) {
    ends.push_back(std::to_string(static_cast<int>(run.end_state)) + " " + run.end_text);
  }
  EXPECT_EQ(ends, (std::vector<std::string>{"3 Interrupted", "3 Interrupted", "1 Finished: ok"}));
}

TEST(StoreFaults, FilesThatAreNotIntactDatabasesAreCorrupt) {
  TempDir dir;
  const std::string noise = dir / "noise";
  WriteFile(noise, std::string(16384, '\xa5'));
  const std::string damaged = dir / "damaged";
  {
    Store store(damaged);
    AddFrames(store, 500);
  }
  {
    std::fstream file(damaged, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(100);  // the first page after the header: the table of tables
    file << std::string(4000, '\xa5');
  }
  for (const std::string& path : {noise, damaged}) {
    const std::string fault = FaultOf([&] { Store store(path); });
    EXPECT_EQ(fault.rfind("corrupt: " + path, 0), 0u) << fault;
  }
}

TEST(StoreFaults, LockedStoreRefusesWritesAtOnceAndStillReads) {
  TempDir dir;
  const std::string path = dir / "r.sqlite";
  Store(path).CloseInterruptedRuns();
  SQLite::Database holder(path, SQLite::OPEN_READWRITE);
  holder.exec("BEGIN EXCLUSIVE");
  Store store(path);
  EXPECT_TRUE(store.Runs().empty());
  auto attempt = std::async(std::launch::async, [&] { return FaultOf([&] { store.Begin(); }); });
  attempt.wait_for(10s);
  holder.exec("ROLLBACK");  // a store still waiting for the lock now gets it: no fault
  const std::string fault = attempt.get();
  EXPECT_EQ(fault.rfind("locked: " + path, 0), 0u) << fault;
  AddFrames(store, 1);
  EXPECT_EQ(store.FrameCount(), 1);
}

TEST(StoreFaults, FullDiskKeepsEveryCommittedFrame) {
  TempDir dir;
  const std::string path = dir / "r.sqlite";
  Store(path).CloseInterruptedRuns();
  std::int64_t committed = 0;
  const std::string fault = FaultInChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Store store(path);
    try {
      for (int i = 0; i < 1000; ++i) {
        committed += AddFrames(store, 100);
      }
    } catch (const StoreError& error) {
      throw StoreError(error.fault(), std::to_string(committed) + " " + error.what());
    }
  });
  // "full: <frames committed> No room to record in ..."
  std::istringstream words(fault);
  std::string kind;
  std::int64_t frames = -1;
  std::string reason;
  words >> kind >> frames;
  std::getline(words, reason);
  ASSERT_EQ(kind, "full:") << fault;
  ASSERT_EQ(reason.rfind(" No room to record in ", 0), 0u) << fault;
  Store store(path);
  EXPECT_TRUE(store.IntegrityOk());
  EXPECT_GT(store.FrameCount(), 0);
  EXPECT_EQ(store.FrameCount(), frames);
}

TEST(StoreFaults, UnwritableFolderOrFileIsReadOnly) {
  TempDir dir(0755);  // the user "nobody" reaches into it
  fs::create_directories(dir / "open");
  fs::create_directories(dir / "closed");
  Store(dir / "open/root.sqlite").CloseInterruptedRuns();
  Store(dir / "closed/shared.sqlite").CloseInterruptedRuns();
  ::chmod((dir / "open").c_str(), 0777);
  ::chmod((dir / "closed").c_str(), 0555);
  ::chmod((dir / "closed/shared.sqlite").c_str(), 0666);
  const std::string cases[] = {
      dir / "closed/new.sqlite",      // no file may be made in the folder
      dir / "closed/sub/new.sqlite",  // nor a folder
      dir / "open/root.sqlite",       // the file is root's, the folder anyone's
      dir / "closed/shared.sqlite",   // anyone's file, but no WAL beside it
  };
  for (const std::string& path : cases) {
    const std::string fault = FaultInChild([&] { Store store(path); }, true);
    EXPECT_EQ(fault.rfind("read-only: Cannot write to " + dir.path(), 0), 0u) << fault;
  }
}

TEST(StoreFiles, MoveAsideTakesTheWalAndShmAlong) {
  TempDir dir;
  const std::string path = dir / "r.sqlite";
  // "<path>.corrupt-YYYYMMDDTHHMMSSZ", then "-<n>" when that name is taken.
  const auto aside = [&](const std::string& name) {
    const std::string prefix = path + ".corrupt-";
    if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 16) {
      return false;
    }
    const std::string stamp = name.substr(prefix.size(), 16);
    const std::string rest = name.substr(prefix.size() + 16);
    for (std::size_t i = 0; i < stamp.size(); ++i) {
      const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
      if (i == 8 ? stamp[i] != 'T' : i == 15 ? stamp[i] != 'Z' : !digit) {
        return false;
      }
    }
    return rest.empty() || (rest.size() > 1 && rest[0] == '-' &&
                            rest.find_first_not_of("0123456789", 1) == std::string::npos);
  };
  WriteFile(path, "main");
  WriteFile(path + "-wal", "wal");
  WriteFile(path + "-shm", "shm");
  const std::string first = MoveAside(path);
  EXPECT_TRUE(aside(first)) << first;
  EXPECT_EQ(ReadFile(first) + ReadFile(first + "-wal") + ReadFile(first + "-shm"), "mainwalshm");

  WriteFile(path, "again");  // within the same second: a name of its own
  const std::string second = MoveAside(path);
  EXPECT_TRUE(aside(second)) << second;
  EXPECT_NE(second, first);
  EXPECT_EQ(ReadFile(second), "again");
  EXPECT_EQ(dir.Names().size(), 4u);
  EXPECT_EQ(FaultOf([&] { MoveAside(path); }).rfind("other: ", 0), 0u);
}

}  // namespace
}  // namespace korvane::record
