// SPDX-License-Identifier: GPL-3.0-or-later
#include "store_schema.h"

#include <SQLiteCpp/Transaction.h>

#include <SQLiteCpp/Statement.h>

#include <array>
#include <cstdio>
#include <random>
#include <vector>

#include "korvane/record/health.h"
#include "korvane/record/store.h"
#include "store_rows.h"

namespace korvane::record::detail {
namespace {

// 128 random bits as 32 hexadecimal digits.
std::string NewIdentity() {
  std::random_device source;
  std::string text;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(source()));
    text += part;
  }
  return text;
}

// Version 1: one row per frame with both channels' raw decoded integers (SQLite keeps each
// integer in as few bytes as its value needs), and one row per run. This layout is frozen;
// a later version changes it only through a step of its own.
void CreateVersion1(SQLite::Database& db) {
  db.exec(R"sql(
    CREATE TABLE frames (
      id INTEGER PRIMARY KEY,
      utc_ms INTEGER NOT NULL,
      frame_code INTEGER NOT NULL,
      c1_input_mv INTEGER, c1_mode INTEGER, c1_status INTEGER, c1_cycle INTEGER,
      c1_output_mv INTEGER, c1_current_ma INTEGER, c1_capacity_mah INTEGER,
      c1_temperature INTEGER, c1_temperature_sign INTEGER, c1_temperature_unit INTEGER,
      c1_cell1_mv INTEGER, c1_cell2_mv INTEGER, c1_cell3_mv INTEGER, c1_cell4_mv INTEGER,
      c1_cell5_mv INTEGER, c1_cell6_mv INTEGER, c1_cell7_mv INTEGER,
      c2_input_mv INTEGER, c2_mode INTEGER, c2_status INTEGER, c2_cycle INTEGER,
      c2_output_mv INTEGER, c2_current_ma INTEGER, c2_capacity_mah INTEGER,
      c2_temperature INTEGER, c2_temperature_sign INTEGER, c2_temperature_unit INTEGER,
      c2_cell1_mv INTEGER, c2_cell2_mv INTEGER, c2_cell3_mv INTEGER, c2_cell4_mv INTEGER,
      c2_cell5_mv INTEGER, c2_cell6_mv INTEGER, c2_cell7_mv INTEGER
    );
    -- AUTOINCREMENT: the id of a deleted run is never given to another one.
    CREATE TABLE runs (
      id INTEGER PRIMARY KEY AUTOINCREMENT,
      channel INTEGER NOT NULL,
      kind INTEGER NOT NULL,
      start_ms INTEGER NOT NULL,
      end_ms INTEGER NOT NULL,
      first_frame INTEGER NOT NULL,
      last_frame INTEGER NOT NULL,
      frames INTEGER NOT NULL,
      capacity_mah INTEGER NOT NULL,
      energy_wh REAL NOT NULL,
      max_current_ma INTEGER NOT NULL,
      peak_temperature INTEGER NOT NULL,
      temperature_unit INTEGER NOT NULL,
      first_output_mv INTEGER NOT NULL,
      last_output_mv INTEGER NOT NULL,
      min_cell_mv INTEGER NOT NULL,
      max_cell_mv INTEGER NOT NULL,
      cell_spread_mv INTEGER NOT NULL,
      end_state INTEGER NOT NULL,
      end_text TEXT NOT NULL
    );
    CREATE INDEX runs_by_start ON runs (start_ms);
    PRAGMA application_id = 1265594998;  -- "Korv"
  )sql");
}

// Version 2: how far each MQTT client (by its id) has had the frames acknowledged by its broker,
// so that a publisher sends what the broker missed after an outage or a restart.
void AddPublishState(SQLite::Database& db) {
  db.exec(R"sql(
    CREATE TABLE publish_state (
      client_id TEXT PRIMARY KEY,
      acked_seq INTEGER NOT NULL
    );
  )sql");
}

// Version 3: the file's own identity, random, so that what is keyed on the file (the MQTT
// client id, the publishing mark) stays the same whatever path names it and differs between
// two files at one path (a damaged file replaced).
void AddIdentity(SQLite::Database& db) {
  db.exec(R"sql(
    CREATE TABLE store_info (
      key TEXT PRIMARY KEY,
      value TEXT NOT NULL
    );
  )sql");
  SQLite::Statement put(db, "INSERT INTO store_info (key, value) VALUES ('identity', ?1)");
  put.bind(1, NewIdentity());
  put.exec();
}

// Version 4: packs (batteries), the pack chosen per channel for the runs that begin on it, and
// per run its pack and health figures. A run's pack_id is NULL when it belongs to none; ir_mohm
// NULL when there is no estimate; cell_ir_mohm the cells' estimates as numbers separated by
// spaces, NULL when none. The figures of the runs already stored are computed from their frames.
void AddPacks(SQLite::Database& db) {
  db.exec(R"sql(
    CREATE TABLE packs (
      id INTEGER PRIMARY KEY AUTOINCREMENT,
      name TEXT NOT NULL UNIQUE,
      chemistry TEXT NOT NULL,
      cells INTEGER NOT NULL,
      rated_mah INTEGER NOT NULL,
      note TEXT NOT NULL,
      retired INTEGER NOT NULL
    );
    CREATE TABLE chosen_packs (
      channel INTEGER PRIMARY KEY,
      pack_id INTEGER NOT NULL
    );
    ALTER TABLE runs ADD COLUMN pack_id INTEGER;
    ALTER TABLE runs ADD COLUMN charged_mah INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN discharged_mah INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN ir_mohm REAL;
    ALTER TABLE runs ADD COLUMN cell_ir_mohm TEXT;
    CREATE INDEX runs_by_pack ON runs (pack_id);
  )sql");
  RecomputeRunHealth(db);
}

using Step = void (*)(SQLite::Database&);
// kSteps[n] takes a file from version n to n + 1: a new version appends its step.
constexpr std::array<Step, 4> kSteps = {&CreateVersion1, &AddPublishState, &AddIdentity, &AddPacks};
static_assert(kSteps.size() == Store::kSchemaVersion);

}  // namespace

void RecomputeRunHealth(SQLite::Database& db) {
  std::vector<RunSummary> runs;
  {
    SQLite::Statement select(db, SelectRunsSql(4, false) + " ORDER BY id");
    while (select.executeStep()) {
      runs.push_back(ReadRun(select));
    }
  }
  // The frames just before a run's first one, newest first: its rest before the first load (a
  // few at the charger's rate of about one a second; the limit bounds a file made otherwise).
  SQLite::Statement before(
      db, "SELECT id, utc_ms FROM frames WHERE id < ?1 ORDER BY id DESC LIMIT 1000");
  SQLite::Statement select_frames(db, SelectFramesSql());
  SQLite::Statement update(db,
                           "UPDATE runs SET charged_mah = ?1, discharged_mah = ?2, ir_mohm = ?3, "
                           "cell_ir_mohm = ?4 WHERE id = ?5");
  std::vector<StoredFrame> frames;
  for (RunSummary& run : runs) {
    std::int64_t first = run.first_frame;
    before.reset();
    before.bind(1, run.first_frame);
    while (before.executeStep() &&
           before.getColumn(1).getInt64() >= run.start_ms - ResistanceEstimator::kMaxStepMs) {
      first = before.getColumn(0).getInt64();
    }
    frames.clear();
    select_frames.reset();
    select_frames.bind(1, first);
    select_frames.bind(2, run.last_frame);
    while (select_frames.executeStep()) {
      StoredFrame& frame = frames.emplace_back();
      frame.id = select_frames.getColumn(0).getInt64();
      ReadFrame(select_frames, frame.record);
    }
    RecomputeHealth(run, frames);
    update.reset();
    BindHealth(update, run, 1);
    update.bind(5, run.id);
    update.exec();
  }
}

// Throws StoreError unless this program may use the file; returns its version.
int KnownVersion(SQLite::Database& db, const std::string& path) {
  const int version = db.execAndGet("PRAGMA user_version").getInt();
  if (version > Store::kSchemaVersion) {
    throw StoreError(StoreFault::kOther,
                     path + " was written by a newer version of Korvane Connect (format " +
                         std::to_string(version) + "; this version knows formats up to " +
                         std::to_string(Store::kSchemaVersion) + ")");
  }
  if (version == 0 && db.execAndGet("SELECT count(*) FROM sqlite_schema").getInt() > 0) {
    throw StoreError(StoreFault::kOther,
                     path + " is another program's database, not a Korvane Connect recording");
  }
  return version;
}

std::string ReadIdentity(SQLite::Database& db) {
  if (db.execAndGet("SELECT count(*) FROM sqlite_schema WHERE name = 'store_info'").getInt() == 0) {
    return {};
  }
  SQLite::Statement select(db, "SELECT value FROM store_info WHERE key = 'identity'");
  return select.executeStep() ? select.getColumn(0).getString() : std::string();
}

void PrepareSchema(SQLite::Database& db, const std::string& path) {
  const int found = KnownVersion(db, path);
  db.exec("PRAGMA journal_mode = WAL");
  // Durability: synchronous=FULL syncs the WAL at every commit. NORMAL would sync it only at
  // checkpoints, so a power loss could take back every commit the kernel had not yet written
  // (its write-back delay is up to about 30 s), not just the last second. The writer commits
  // about once a second, so this costs one sync a second on the writer thread, never on
  // reception. kill -9 loses no commit in either mode.
  db.exec("PRAGMA synchronous = FULL");
  // A large import leaves a large WAL behind; after a checkpoint it shrinks back to this size.
  db.exec("PRAGMA journal_size_limit = 8388608");
  if (found < Store::kSchemaVersion) {
    SQLite::Transaction migration(db, SQLite::TransactionBehavior::IMMEDIATE);
    // Another process may have migrated the file since the first look.
    for (int version = KnownVersion(db, path); version < Store::kSchemaVersion; ++version) {
      kSteps[static_cast<std::size_t>(version)](db);
    }
    db.exec("PRAGMA user_version = " + std::to_string(Store::kSchemaVersion));
    migration.commit();
  }
}

}  // namespace korvane::record::detail
