// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/store.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "korvane/model/date_time.h"
#include "store_connection.h"
#include "store_rows.h"
#include "store_schema.h"

namespace korvane::record {
namespace {

// Frames() reserves no more than this ahead; a wider id range grows as rows arrive.
constexpr std::int64_t kReserveLimit = 1 << 20;

class StoreBatch final : public Store::Batch {
 public:
  explicit StoreBatch(detail::Connection& store) : store_(store) {
    // IMMEDIATE takes the write lock now: a busy store fails here, not halfway through.
    store_.Guard([&] { transaction_.emplace(store_.db, SQLite::TransactionBehavior::IMMEDIATE); });
  }

  std::int64_t AddFrame(const model::S_HARDWARE_DATA& record) override {
    return Write([&] {
      SQLite::Statement& insert = *store_.insert_frame;
      insert.tryReset();  // a failed step elsewhere may have left it unfinished
      detail::BindFrame(insert, record);
      insert.exec();
      return store_.db.getLastInsertRowid();
    });
  }

  void PutRun(RunSummary& run, NewRunPack pack) override {
    RunSummary stored = run;
    Write([&] { detail::PutRun(*store_.put_run, stored, pack == NewRunPack::kChosen); });
    run = std::move(stored);
  }

  void Commit() override {
    Write([&] { transaction_->commit(); });
    ended_ = true;
  }

 private:
  // After a failure SQLite may have rolled the transaction back already; further writes would
  // then commit one by one, so the batch ends at its first failure.
  template <typename Action>
  std::invoke_result_t<Action&> Write(Action&& action) {
    if (ended_) {
      throw StoreError(StoreFault::kOther,
                       detail::DescribeFault(StoreFault::kOther, store_.path, "batch has ended"));
    }
    try {
      return store_.Guard(action);
    } catch (...) {
      ended_ = true;
      throw;
    }
  }

  detail::Connection& store_;
  std::optional<SQLite::Transaction> transaction_;  // rolls back on destruction unless committed
  bool ended_ = false;
};

// Appends the rows of a frames select (`sql`: the columns of SelectFramesSql, the parameters ?1
// and ?2) to `frames`. Through SQLite's own interface: a run's frames are read by the tens of
// thousands, and SQLiteCpp's checked Column per value took most of the time.
// `channel_index` -1 reads both channels, else the one of SelectChannelFramesSql.
void ReadFrames(SQLite::Database& db, const std::string& sql, std::int64_t first,
                std::int64_t second, std::vector<StoredFrame>& frames, int channel_index = -1) {
  sqlite3_stmt* prepared = nullptr;
  if (const int rc = sqlite3_prepare_v2(db.getHandle(), sql.c_str(), -1, &prepared, nullptr);
      rc != SQLITE_OK) {
    throw SQLite::Exception(db.getHandle(), rc);
  }
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> select(prepared, &sqlite3_finalize);
  sqlite3_bind_int64(prepared, 1, first);
  sqlite3_bind_int64(prepared, 2, second);
  int rc;
  while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
    StoredFrame& frame = frames.emplace_back();
    frame.id = sqlite3_column_int64(prepared, 0);
    if (channel_index < 0) {
      detail::ReadFrame(prepared, frame.record);
    } else {
      detail::ReadChannelFrame(prepared, channel_index, frame.record);
    }
    frame.record.Time = model::StampFromUnixMs(frame.record.UtcMs).Local;
  }
  if (rc != SQLITE_DONE) {
    throw SQLite::Exception(db.getHandle(), rc);
  }
}

}  // namespace

Store::Store(const std::string& path, StoreAccess access)
    : impl_(std::make_unique<Impl>(path, access)) {}

Store::~Store() = default;

const std::string& Store::Path() const {
  return impl_->path;
}

StoreAccess Store::Access() const {
  return impl_->access;
}

const std::string& Store::Identity() const {
  return impl_->identity;
}

std::unique_ptr<Store::Batch> Store::Begin() {
  impl_->RequireWrite();
  return std::make_unique<StoreBatch>(*impl_);
}

std::vector<RunSummary> Store::CloseInterruptedRuns() {
  impl_->RequireWrite();
  return impl_->Guard([&] {
    SQLite::Transaction transaction(impl_->db, SQLite::TransactionBehavior::IMMEDIATE);
    SQLite::Statement select(
        impl_->db, detail::SelectRunsSql(impl_->version) + " WHERE end_state = ?1 ORDER BY id");
    select.bind(1, static_cast<int>(EndState::kInProgress));
    std::vector<RunSummary> runs;
    while (select.executeStep()) {
      runs.push_back(detail::ReadRun(select));
    }
    SQLite::Statement close(impl_->db,
                            "UPDATE runs SET end_state = ?1, end_text = 'Interrupted' "
                            "WHERE end_state = ?2");
    close.bind(1, static_cast<int>(EndState::kInterrupted));
    close.bind(2, static_cast<int>(EndState::kInProgress));
    close.exec();
    transaction.commit();
    for (RunSummary& run : runs) {
      detail::MarkInterrupted(run);
    }
    return runs;
  });
}

std::vector<RunSummary> Store::Runs() const {
  return Runs(0);
}

std::vector<RunSummary> Store::Runs(std::int64_t newer_than_id) const {
  std::vector<RunSummary> runs = impl_->Read([&] {
    SQLite::Statement select(
        impl_->db, detail::SelectRunsSql(impl_->version) + " WHERE id > ?1 ORDER BY start_ms, id");
    select.bind(1, newer_than_id);
    std::vector<RunSummary> found;
    while (select.executeStep()) {
      found.push_back(detail::ReadRun(select));
    }
    return found;
  });
  impl_->ShowCrashed(runs);
  return runs;
}

std::optional<RunSummary> Store::Run(std::int64_t id) const {
  std::vector<RunSummary> runs = impl_->Read([&] {
    SQLite::Statement select(impl_->db, detail::SelectRunsSql(impl_->version) + " WHERE id = ?1");
    select.bind(1, id);
    std::vector<RunSummary> found;
    if (select.executeStep()) {
      found.push_back(detail::ReadRun(select));
    }
    return found;
  });
  impl_->ShowCrashed(runs);
  return runs.empty() ? std::nullopt : std::optional<RunSummary>(std::move(runs.front()));
}

std::vector<StoredFrame> Store::Frames(std::int64_t first, std::int64_t last) const {
  return impl_->Read([&] {
    std::vector<StoredFrame> frames;
    if (last < first) {
      return frames;
    }
    frames.reserve(static_cast<std::size_t>(std::min(last - first + 1, kReserveLimit)));
    ReadFrames(impl_->db, detail::SelectFramesSql(), first, last, frames);
    return frames;
  });
}

std::vector<StoredFrame> Store::Frames(std::int64_t first, std::int64_t last, int channel) const {
  if (channel < 1 || channel > model::kChannelCount) {
    throw std::invalid_argument("there is no channel " + std::to_string(channel));
  }
  return impl_->Read([&] {
    std::vector<StoredFrame> frames;
    if (last < first) {
      return frames;
    }
    frames.reserve(static_cast<std::size_t>(std::min(last - first + 1, kReserveLimit)));
    ReadFrames(impl_->db, detail::SelectChannelFramesSql(channel - 1), first, last, frames,
               channel - 1);
    return frames;
  });
}

std::vector<StoredFrame> Store::FramesBetween(std::int64_t from_ms, std::int64_t to_ms) const {
  return impl_->Read([&] {
    static const std::string sql =
        detail::SelectFramesSql().substr(0, detail::SelectFramesSql().find(" WHERE ")) +
        " WHERE utc_ms BETWEEN ?1 AND ?2 ORDER BY id";
    std::vector<StoredFrame> frames;
    ReadFrames(impl_->db, sql, from_ms, to_ms, frames);
    return frames;
  });
}

std::int64_t Store::FrameCount() const {
  return impl_->Read(
      [&] { return impl_->db.execAndGet("SELECT count(*) FROM frames").getInt64(); });
}

bool Store::IntegrityOk() const {
  try {
    return impl_->Read([&] {
      SQLite::Statement check(impl_->db, "PRAGMA integrity_check");
      return check.executeStep() && check.getColumn(0).getString() == "ok";
    });
  } catch (const StoreError& error) {
    if (error.fault() == StoreFault::kCorrupt) {
      return false;
    }
    throw;
  }
}

std::string Store::QuickCheck() const {
  try {
    return impl_->Read([&] {
      SQLite::Statement check(impl_->db, "PRAGMA quick_check(1)");
      if (!check.executeStep()) {
        return std::string("no answer from the check");
      }
      const std::string finding = check.getColumn(0).getString();
      return finding == "ok" ? std::string() : finding;
    });
  } catch (const StoreError& error) {
    if (error.fault() == StoreFault::kCorrupt) {
      return error.what();
    }
    throw;
  }
}

void Store::DeleteRun(std::int64_t id) {
  impl_->RequireWrite();
  impl_->Guard([&] {
    SQLite::Statement remove(impl_->db, "DELETE FROM runs WHERE id = ?1");
    remove.bind(1, id);
    remove.exec();
  });
}

std::int64_t Store::LastFrameId() const {
  return impl_->Read(
      [&] { return impl_->db.execAndGet("SELECT coalesce(max(id), 0) FROM frames").getInt64(); });
}

std::optional<std::int64_t> Store::PublishedUpTo(const std::string& client_id) const {
  return impl_->Read([&]() -> std::optional<std::int64_t> {
    SQLite::Statement select(impl_->db, "SELECT acked_seq FROM publish_state WHERE client_id = ?1");
    select.bind(1, client_id);
    if (!select.executeStep()) {
      return std::nullopt;
    }
    return select.getColumn(0).getInt64();
  });
}

void Store::SetPublishedUpTo(const std::string& client_id, std::int64_t frame_id) {
  impl_->RequireWrite();
  impl_->Guard([&] {
    SQLite::Statement put(impl_->db,
                          "INSERT INTO publish_state (client_id, acked_seq) VALUES (?1, ?2) "
                          "ON CONFLICT (client_id) DO UPDATE SET acked_seq = excluded.acked_seq");
    put.bind(1, client_id);
    put.bind(2, frame_id);
    put.exec();
  });
}

}  // namespace korvane::record
