// SPDX-License-Identifier: GPL-3.0-or-later
#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "korvane/record/run_files.h"
#include "korvane/record/salvage.h"
#include "korvane/record/store.h"
#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"
#include "store_open.h"

namespace korvane::record {
namespace {

namespace fs = std::filesystem;
using test_support::ErrorInChild;
using test_support::ReadFile;
using test_support::TempDir;

// A run of `frames` new frames on channel 1, left in progress.
void Record(Store& store, int frames) {
  auto batch = store.Begin();
  RunSummary run;
  for (int i = 0; i < frames; ++i) {
    model::S_HARDWARE_DATA frame;
    frame.UtcMs = 1'765'269'900'000 + 1000 * i;
    frame.Channels[0].OutputVoltage = static_cast<std::uint16_t>(4000 + i);
    run.last_frame = batch->AddFrame(frame);
    run.first_frame = i == 0 ? run.last_frame : run.first_frame;
  }
  run.frames = frames;
  batch->PutRun(run);
  batch->Commit();
}

// What a reader gets: the frame count, run 1's end and its export.
std::string Seen(const std::string& path, StoreAccess access = StoreAccess::kRead) {
  const Store store(path, access);
  std::ostringstream text;
  text << store.FrameCount() << " frames, " << store.Runs().at(0).end_text << "\n";
  ExportRun(store, 1, text);
  return text.str();
}

std::string Files(const std::string& path) {
  return ReadFile(path) + "|" + ReadFile(path + "-wal") + "|" + ReadFile(path + "-shm");
}

// A store of root's that the user "nobody" may read but not write, nor anything beside it: as
// closed, as a crash leaves it (its last commits only in the -wal), while a recorder writes it
// (holding its lock), and with a -wal whose -shm is lost (which cannot be read without one).
TEST(StoreAccess, AStoreInAFolderTheUserCannotWriteIsReadAsItIs) {
  TempDir dir(0755);  // root's: the user "nobody" may read in it but not write
  const std::string closed = dir / "closed.sqlite";
  const std::string crashed = dir / "crashed.sqlite";
  const std::string lost_shm = dir / "lost-shm.sqlite";
  const std::string recording = dir / "recording.sqlite";
  for (const std::string& path : {crashed, lost_shm}) {
    ErrorInChild([&] {
      Store store(path);
      Record(store, 5);
      ::_exit(0);
    });
    ASSERT_GT(fs::file_size(path + "-wal"), 0u);
  }
  fs::remove(lost_shm + "-shm");
  {
    Store store(closed);
    Record(store, 5);
  }
  Store writer(recording);
  Record(writer, 5);
  EXPECT_THROW(Store(recording, StoreAccess::kRead).Begin(), StoreError);
  const fileio::UniqueFd lock = LockBesideStore(RecorderLockName(recording), "");
  const std::string in_progress = Seen(recording, StoreAccess::kWrite);
  ASSERT_EQ(in_progress.rfind("5 frames, In progress\n", 0), 0u) << in_progress;
  const std::string frames = in_progress.substr(in_progress.find('\n') + 1);

  struct Case {
    std::string path;
    std::string seen;
  };
  const Case cases[] = {
      {recording, in_progress},
      {closed, "5 frames, Interrupted\n" + frames},
      {crashed, "5 frames, Interrupted\n" + frames},
      {lost_shm, "Cannot read " + lost_shm + " (its recordings in " + lost_shm + "-wal need"},
  };
  for (const Case& c : cases) {
    const std::string before = Files(c.path);
    const std::string seen =
        ErrorInChild([&] { throw std::runtime_error(Seen(c.path)); }, true).value_or("hung");
    EXPECT_EQ(seen.substr(0, c.seen.size()), c.seen) << c.path;
    EXPECT_EQ(Files(c.path), before) << c.path;
  }
}

// A reader that took the store as an unchanging snapshot opens it again once a writer has
// committed and gone, though the writer's -wal went with it.
TEST(StoreAccess, ASnapshotIsOutdatedByAWriterThatCameAndWent) {
  TempDir dir;
  const std::string path = dir / "s.sqlite";
  Store(path).CloseInterruptedRuns();
  const detail::FileStamp stamp = detail::StampOf(path);
  EXPECT_FALSE(detail::SnapshotOutdated(path, stamp));
  {
    Store writer(path);
    Record(writer, 5);
  }
  ASSERT_FALSE(fs::exists(path + "-wal"));
  EXPECT_TRUE(detail::SnapshotOutdated(path, stamp));
}

// A store copied from elsewhere may carry schema that acts on this program's writes (a trigger
// that wipes the runs when a frame is recorded): neither a writer nor a reader uses it.
TEST(StoreAccess, AStoreWithTriggersOrViewsIsRefusedUntouched) {
  TempDir dir;
  struct Case {
    const char* sql;
    const char* says;
  };
  const Case cases[] = {
      {"CREATE TRIGGER wipe AFTER INSERT ON frames BEGIN DELETE FROM runs; END", "trigger (wipe)"},
      {"CREATE VIEW latest AS SELECT * FROM runs", "view (latest)"},
  };
  for (const Case& c : cases) {
    for (const StoreAccess access : {StoreAccess::kWrite, StoreAccess::kRead}) {
      const std::string path =
          dir / (std::string(c.says) + std::to_string(static_cast<int>(access)));
      {
        Store store(path);
        Record(store, 1);
      }
      SQLite::Database(path, SQLite::OPEN_READWRITE).exec(c.sql);
      const std::string before = ReadFile(path);
      try {
        Store store(path, access);
        ADD_FAILURE() << c.sql;
      } catch (const StoreError& error) {
        EXPECT_EQ(error.what(), path + " is not used: it holds a " + c.says +
                                    ", which Korvane Connect never makes");
      }
      EXPECT_EQ(ReadFile(path), before);
    }
  }
}

// One page of the frames table overwritten with garbage, as a failing disk leaves it: the check
// finds it, and the salvage copies every other frame and every run under its own id.
TEST(StoreAccess, SalvageCopiesAroundAnUnreadablePageOfFrames) {
  TempDir dir;
  const std::string damaged = dir / "damaged.sqlite";
  std::vector<StoredFrame> frames;
  std::vector<RunSummary> runs;
  std::int64_t page = 0;
  std::int64_t page_size = 0;
  {
    Store store(damaged);
    for (int i = 0; i < 3; ++i) {
      Record(store, 1000);
    }
    frames = store.Frames(1, 3000);
    runs = store.Runs();
    SQLite::Database raw(damaged);
    page_size = raw.execAndGet("PRAGMA page_size").getInt64();
    page = raw.execAndGet(
                  "SELECT pageno FROM dbstat WHERE name = 'frames' AND pagetype = 'leaf' "
                  "ORDER BY pageno LIMIT 1 OFFSET (SELECT count(*) / 2 FROM dbstat "
                  "WHERE name = 'frames' AND pagetype = 'leaf')")
               .getInt64();
  }
  EXPECT_TRUE(CheckStore(damaged, 5).findings.empty());
  {
    std::fstream file(damaged, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((page - 1) * page_size);
    file << std::string(static_cast<std::size_t>(page_size), '\xa5');
  }
  const StoreCheck check = CheckStore(damaged, 5);
  EXPECT_FALSE(check.findings.empty());

  const std::string copy = dir / "copy.sqlite";
  const SalvageResult result = Salvage(damaged, copy);
  ASSERT_EQ(result.lost_frames.size(), 1u);
  const IdRange lost = result.lost_frames[0];
  EXPECT_GT(lost.first, 1000);
  EXPECT_LT(lost.last, 2001);
  EXPECT_EQ(result.frames, 3000 - (lost.last - lost.first + 1));
  EXPECT_EQ(result.runs, 3);
  EXPECT_EQ(result.runs_missing_frames, std::vector<std::int64_t>{2});
  EXPECT_TRUE(result.lost_runs.empty());

  const Store store(copy, StoreAccess::kRead);
  EXPECT_TRUE(store.IntegrityOk());
  EXPECT_EQ(store.Runs().size(), 3u);
  std::vector<StoredFrame> kept;
  for (const StoredFrame& frame : frames) {
    if (frame.id < lost.first || frame.id > lost.last) {
      kept.push_back(frame);
    }
  }
  const std::vector<StoredFrame> copied = store.Frames(1, 3000);
  ASSERT_EQ(copied.size(), kept.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    ASSERT_EQ(copied[i].id, kept[i].id);
    ASSERT_EQ(copied[i].record.UtcMs, kept[i].record.UtcMs);
    ASSERT_EQ(copied[i].record.Channels[0].OutputVoltage, kept[i].record.Channels[0].OutputVoltage);
  }
  EXPECT_THROW(Salvage(damaged, copy), StoreError);
}

}  // namespace
}  // namespace korvane::record
