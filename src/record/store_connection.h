// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "korvane/contract.h"
#include "korvane/record/store.h"
#include "store_fault.h"
#include "store_open.h"

namespace korvane::record {
namespace detail {

// Checks that one thread at a time uses a Store (its contract): marks the thread inside a call
// for the call's length; a call of that thread within it is part of it.
class OneThreadAtATime {
 public:
  class Scope {
   public:
    explicit Scope(OneThreadAtATime& owner) : owner_(owner) {
      std::thread::id none{};
      outer_ = owner_.user_.compare_exchange_strong(none, std::this_thread::get_id());
      KORVANE_EXPECT(outer_ || none == std::this_thread::get_id(),
                     "a Store is used by one thread at a time");
    }
    ~Scope() {
      if (outer_) {
        owner_.user_.store(std::thread::id{});
      }
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    OneThreadAtATime& owner_;
    bool outer_ = false;
  };

 private:
  std::atomic<std::thread::id> user_{};
};

// The open file of a Store with its prepared writes; shared by the files that implement Store.
// Used by one thread at a time, as the Store.
struct Connection {
  Connection(const std::string& file, StoreAccess mode);

  // Runs `action`, turning SQLite's failures into StoreError.
  template <typename Action>
  std::invoke_result_t<Action&> Guard(Action&& action) {
#if KORVANE_CONTRACTS
    const OneThreadAtATime::Scope one_thread(users);
#endif
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
  OneThreadAtATime users;

 private:
  Connection(const std::string& file, StoreAccess mode, OpenedFile opened);
  void Refresh();
};

}  // namespace detail

struct Store::Impl : detail::Connection {
  using detail::Connection::Connection;
};

}  // namespace korvane::record
