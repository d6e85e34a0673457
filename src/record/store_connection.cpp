// SPDX-License-Identifier: GPL-3.0-or-later
#include "store_connection.h"

#include <algorithm>

#include "store_rows.h"
#include "store_schema.h"

namespace korvane::record::detail {

Connection::Connection(const std::string& file, StoreAccess mode)
    : Connection(file, mode, OpenStoreFile(file, mode)) {}

Connection::Connection(const std::string& file, StoreAccess mode, OpenedFile opened)
    : path(file),
      access(mode),
      db(std::move(opened.db)),
      snapshot(opened.snapshot),
      stamp(opened.stamp) {
  Guard([&] {
    if (access == StoreAccess::kRead) {
      version = KnownVersion(db, path);
      identity = ReadIdentity(db);
      return;
    }
    // SQLite falls back to reading a file it may not write; a recording must write.
    if (sqlite3_db_readonly(db.getHandle(), "main") == 1) {
      throw StoreError(StoreFault::kReadOnly,
                       DescribeFault(StoreFault::kReadOnly, path, "read-only file"));
    }
    PrepareSchema(db, path);
    insert_frame.emplace(db, InsertFrameSql());
    put_run.emplace(db, PutRunSql());
    identity = ReadIdentity(db);
  });
}

void Connection::RequireWrite() const {
  if (access != StoreAccess::kWrite) {
    throw StoreError(StoreFault::kReadOnly,
                     DescribeFault(StoreFault::kReadOnly, path, "opened for reading only"));
  }
}

void Connection::Refresh() {
  if (access != StoreAccess::kRead) {
    return;
  }
  if (snapshot && SnapshotOutdated(path, stamp)) {
    OpenedFile opened = OpenStoreFile(path, access);
    db = std::move(opened.db);
    snapshot = opened.snapshot;
    stamp = opened.stamp;
  }
  // A layout newer still reads as the newest this program knows: a migration only adds.
  Guard([&] {
    version = std::min(db.execAndGet("PRAGMA user_version").getInt(), Store::kSchemaVersion);
  });
}

void Connection::ShowCrashed(std::vector<RunSummary>& runs) const {
  const bool open = access == StoreAccess::kRead &&
                    std::any_of(runs.begin(), runs.end(), [](const RunSummary& run) {
                      return run.end_state == EndState::kInProgress;
                    });
  if (!open || RecorderHolds(path)) {
    return;
  }
  for (RunSummary& run : runs) {
    if (run.end_state == EndState::kInProgress) {
      MarkInterrupted(run);
    }
  }
}

}  // namespace korvane::record::detail
