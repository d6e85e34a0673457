// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "korvane/record/store.h"
#include "store_fault.h"
#include "store_open.h"

namespace korvane::record {
namespace detail {

// The open file of a Store with its prepared writes; shared by the files that implement Store.
// Used by one thread at a time, as the Store.
struct Connection {
  Connection(const std::string& file, StoreAccess mode);

  // Runs `action`, turning SQLite's failures into StoreError.
  template <typename Action>
  std::invoke_result_t<Action&> Guard(Action&& action) {
    try {
      return action();
    } catch (const SQLite::Exception& error) {
      throw ToStoreError(error, db.getHandle(), path, access);
    }
  }

  // Writes need a store opened kWrite: a reader's connection would refuse them less clearly.
  void RequireWrite() const;

  // Runs `action` to read, first opening again a snapshot that a writer has outdated.
  template <typename Action>
  std::invoke_result_t<Action&> Read(Action&& action) {
    Refresh();
    return Guard(action);
  }

  // To a reader, a run a crash left in progress is interrupted once no recorder holds the
  // store: the next recorder closes it so (CloseInterruptedRuns). A writer sees what is stored.
  void ShowCrashed(std::vector<RunSummary>& runs) const;

  const std::string path;
  const StoreAccess access;
  SQLite::Database db;
  bool snapshot = false;
  FileStamp stamp;  // of the snapshot's file when it was opened
  // The file's layout as last seen: a reader's file may be migrated by a writer meanwhile.
  int version = Store::kSchemaVersion;
  std::string identity;
  std::optional<SQLite::Statement> insert_frame;
  std::optional<SQLite::Statement> put_run;

 private:
  Connection(const std::string& file, StoreAccess mode, OpenedFile opened);
  void Refresh();
};

}  // namespace detail

struct Store::Impl : detail::Connection {
  using detail::Connection::Connection;
};

}  // namespace korvane::record
