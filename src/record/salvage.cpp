// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/salvage.h"

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "korvane/record/store.h"
#include "store_fault.h"
#include "store_open.h"
#include "store_rows.h"
#include "store_schema.h"

namespace korvane::record {
namespace {

// Rows read by one query where the file is sound.
constexpr std::int64_t kSlice = 4096;
// Rows written to the new store per transaction: its WAL stays small however large the copy.
constexpr std::int64_t kRowsPerCommit = 65536;
// Where neither the highest run id nor the run sequence can be read, runs are looked for up to
// this id: far more than a store holds, few enough to step over one by one.
constexpr std::int64_t kRunIdLimit = 65535;

// Whether a failed read is damage to step over, not a reason to stop.
bool Unreadable(const SQLite::Exception& error) {
  switch (error.getErrorCode() & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_IOERR:
    case SQLITE_FORMAT:
      return true;
    default:
      return false;
  }
}

void AddLost(std::vector<IdRange>& ranges, std::int64_t id) {
  if (!ranges.empty() && ranges.back().last + 1 == id) {
    ranges.back().last = id;
  } else {
    ranges.push_back({id, id});
  }
}

// A number from the damaged file; nullopt when it cannot be read, `if_null` for SQL's NULL.
std::optional<std::int64_t> ReadNumber(SQLite::Database& db, const std::string& path,
                                       const char* sql, std::int64_t if_null) {
  try {
    SQLite::Statement select(db, sql);
    if (!select.executeStep() || select.getColumn(0).isNull()) {
      return if_null;
    }
    return select.getColumn(0).getInt64();
  } catch (const SQLite::Exception& error) {
    if (!Unreadable(error)) {
      throw detail::ToStoreError(error, db.getHandle(), path, StoreAccess::kRead);
    }
    return std::nullopt;
  }
}

// One table's rows by id, each written to the new store as soon as it is read: rows that SQLite
// returned before failing came from pages it could read whole.
class TableCopy {
 public:
  using Write = std::function<void(const SQLite::Statement&)>;

  // `ranged_sql` selects the id first, then the row, for ids ?1..?2 in order.
  TableCopy(SQLite::Database& from, const std::string& path, const std::string& ranged_sql,
            Write write)
      : from_(from),
        path_(path),
        select_(Prepare(ranged_sql + " LIMIT ?3")),
        write_(std::move(write)) {}

  // Copies the readable rows of ids first..last.
  void Copy(std::int64_t first, std::int64_t last) {
    for (std::int64_t next = first; next <= last;) {
      std::int64_t count = 0;
      std::int64_t last_read = 0;
      const bool whole = ReadSlice(next, last, count, last_read);
      if (count > 0) {
        if (last_read == last) {
          return;
        }
        next = last_read + 1;
      }
      if (whole) {
        if (count < kSlice) {
          return;
        }
        continue;
      }
      if (next == last) {
        AddLost(lost, next);
        return;
      }
      // The damage lies somewhere in next..last.
      const std::int64_t middle =
          next + static_cast<std::int64_t>(
                     (static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(next)) / 2);
      Copy(next, middle);
      Copy(middle + 1, last);
      return;
    }
  }

  std::int64_t copied = 0;
  std::vector<IdRange> lost;

 private:
  SQLite::Statement Prepare(const std::string& sql) {
    try {
      return SQLite::Statement(from_, sql);
    } catch (const SQLite::Exception& error) {
      throw detail::ToStoreError(error, from_.getHandle(), path_, StoreAccess::kRead);
    }
  }

  // Copies up to kSlice rows from `first` on; false when SQLite failed before the end.
  bool ReadSlice(std::int64_t first, std::int64_t last, std::int64_t& count,
                 std::int64_t& last_read) {
    try {
      select_.tryReset();
      select_.bind(1, first);
      select_.bind(2, last);
      select_.bind(3, kSlice);
      while (select_.executeStep()) {
        const std::int64_t id = select_.getColumn(0).getInt64();
        if (id < first || id > last || (count > 0 && id <= last_read)) {
          throw SQLite::Exception("rows out of order", SQLITE_CORRUPT);
        }
        write_(select_);
        last_read = id;
        ++count;
        ++copied;
      }
      return true;
    } catch (const SQLite::Exception& error) {
      if (!Unreadable(error)) {
        throw detail::ToStoreError(error, from_.getHandle(), path_, StoreAccess::kRead);
      }
      return false;
    }
  }

  SQLite::Database& from_;
  const std::string& path_;
  SQLite::Statement select_;
  Write write_;
};

// Where the id range of a table cannot be read, rows are looked for up to this id.
std::int64_t LastId(SQLite::Database& from, const std::string& damaged, const std::string& table,
                    std::optional<std::int64_t> sequence) {
  return ReadNumber(from, damaged, ("SELECT max(id) FROM " + table).c_str(), 0)
      .value_or(sequence.value_or(kRunIdLimit));
}

SalvageResult CopyInto(SQLite::Database& from, const std::string& damaged, int version,
                       const std::string& target) {
  detail::OpenedFile opened = detail::OpenStoreFile(target, StoreAccess::kWrite);
  SQLite::Database& to = opened.db;
  const auto written = [&](auto&& write) {
    try {
      write();
    } catch (const SQLite::Exception& error) {
      throw detail::ToStoreError(error, to.getHandle(), target);
    }
  };
  std::optional<SQLite::Transaction> transaction;
  std::optional<SQLite::Statement> put_run;
  std::optional<SQLite::Statement> put_frame;
  std::optional<SQLite::Statement> put_pack;
  written([&] {
    transaction.emplace(to, SQLite::TransactionBehavior::IMMEDIATE);
    put_run.emplace(to, detail::PutRunSql());
    put_frame.emplace(to, detail::CopyFrameSql());
    put_pack.emplace(to,
                     "INSERT INTO packs (id, name, chemistry, cells, rated_mah, note, retired) "
                     "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  });

  std::int64_t pending = 0;
  const auto counted = [&] {
    if (++pending == kRowsPerCommit) {
      transaction->commit();
      transaction.emplace(to, SQLite::TransactionBehavior::IMMEDIATE);
      pending = 0;
    }
  };
  std::map<std::string, std::int64_t> sequences;  // of the tables whose ids are never reused

  // Packs first: a run keeps its pack only when the copy has it.
  if (version >= 4) {
    TableCopy pack_rows(from, damaged,
                        "SELECT id, name, chemistry, cells, rated_mah, note, retired FROM packs "
                        "WHERE id BETWEEN ?1 AND ?2 ORDER BY id",
                        [&](const SQLite::Statement& row) {
                          written([&] {
                            put_pack->tryReset();
                            put_pack->bind(1, row.getColumn(0).getInt64());
                            for (const int text : {1, 2, 5}) {
                              put_pack->bind(text + 1, row.getColumn(text).getString());
                            }
                            for (const int number : {3, 4, 6}) {
                              put_pack->bind(number + 1, row.getColumn(number).getInt());
                            }
                            put_pack->exec();
                          });
                        });
    const std::optional<std::int64_t> pack_sequence =
        ReadNumber(from, damaged, "SELECT seq FROM sqlite_sequence WHERE name = 'packs'", 0);
    sequences["packs"] = pack_sequence.value_or(0);
    pack_rows.Copy(1, LastId(from, damaged, "packs", pack_sequence));
    for (int channel = 1; channel <= model::kChannelCount; ++channel) {
      const std::string select =
          "SELECT pack_id FROM chosen_packs WHERE channel = " + std::to_string(channel);
      if (const auto pack = ReadNumber(from, damaged, select.c_str(), 0); pack && *pack > 0) {
        written([&] {
          SQLite::Statement choose(to,
                                   "INSERT INTO chosen_packs (channel, pack_id) SELECT ?1, ?2 "
                                   "WHERE EXISTS (SELECT 1 FROM packs WHERE id = ?2)");
          choose.bind(1, channel);
          choose.bind(2, *pack);
          choose.exec();
        });
      }
    }
  }

  SalvageResult result;
  std::vector<RunSummary> runs;
  TableCopy run_rows(
      from, damaged,
      detail::SelectRunsSql(version, false) + " WHERE id BETWEEN ?1 AND ?2 ORDER BY id",
      [&](const SQLite::Statement& row) {
        runs.push_back(detail::ReadRun(row));
        written([&] {
          detail::PutRun(*put_run, runs.back(), false);
          counted();
        });
      });
  const std::optional<std::int64_t> sequence =
      ReadNumber(from, damaged, "SELECT seq FROM sqlite_sequence WHERE name = 'runs'", 0);
  sequences["runs"] = sequence.value_or(0);
  run_rows.Copy(1, LastId(from, damaged, "runs", sequence));

  TableCopy frame_rows(from, damaged, detail::SelectFramesSql(), [&](const SQLite::Statement& row) {
    model::S_HARDWARE_DATA record;
    detail::ReadFrame(row, record);
    written([&] {
      put_frame->tryReset();
      put_frame->bind(1, row.getColumn(0).getInt64());
      detail::BindFrame(*put_frame, record, 2);
      put_frame->exec();
      counted();
    });
  });
  std::optional<std::int64_t> last_frame =
      ReadNumber(from, damaged, "SELECT max(id) FROM frames", 0);
  if (!last_frame) {
    last_frame = 0;
    for (const RunSummary& run : runs) {
      last_frame = std::max(*last_frame, run.last_frame);
    }
    result.frames_searched_to = last_frame;
  }
  frame_rows.Copy(1, *last_frame);

  written([&] {
    if (version < 4) {
      detail::RecomputeRunHealth(to);  // as opening the damaged file would have done
    }
    // The id of a deleted run or pack stays unused in the copy too.
    for (const auto& [table, seq] : sequences) {
      if (seq <= 0) {
        continue;
      }
      SQLite::Statement keep(to,
                             "INSERT INTO sqlite_sequence (name, seq) SELECT ?2, ?1 WHERE NOT "
                             "EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?2)");
      keep.bind(1, seq);
      keep.bind(2, table);
      keep.exec();
      SQLite::Statement raise(to, "UPDATE sqlite_sequence SET seq = max(seq, ?1) WHERE name = ?2");
      raise.bind(1, seq);
      raise.bind(2, table);
      raise.exec();
    }
    transaction->commit();
  });
  result.runs = run_rows.copied;
  result.frames = frame_rows.copied;
  result.lost_runs = std::move(run_rows.lost);
  result.lost_frames = std::move(frame_rows.lost);
  for (const RunSummary& run : runs) {
    if (std::any_of(result.lost_frames.begin(), result.lost_frames.end(), [&](const IdRange& r) {
          return r.first <= run.last_frame && r.last >= run.first_frame;
        })) {
      result.runs_missing_frames.push_back(run.id);
    }
  }
  return result;
}

void RemoveStoreFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::remove((path + suffix).c_str());
  }
}

}  // namespace

StoreCheck CheckStore(const std::string& path, int limit) {
  StoreCheck check;
  std::optional<detail::OpenedFile> file;
  try {
    file.emplace(detail::OpenStoreFile(path, StoreAccess::kRead));
  } catch (const StoreError& error) {
    if (error.fault() != StoreFault::kCorrupt) {
      throw;
    }
    check.findings.push_back(error.what());
    check.opened = false;
    return check;
  }
  SQLite::Database& db = file->db;
  try {
    detail::KnownVersion(db, path);
    SQLite::Statement pragma(db, "PRAGMA integrity_check(" + std::to_string(limit + 1) + ")");
    while (pragma.executeStep()) {
      const std::string finding = pragma.getColumn(0).getString();
      if (finding == "ok") {
        break;
      }
      if (check.findings.size() < static_cast<std::size_t>(limit)) {
        check.findings.push_back(finding);
      } else {
        check.more = true;
      }
    }
    if (check.findings.empty()) {
      check.runs = db.execAndGet("SELECT count(*) FROM runs").getInt64();
      check.frames = db.execAndGet("SELECT count(*) FROM frames").getInt64();
    }
  } catch (const SQLite::Exception& error) {
    const StoreError fault = detail::ToStoreError(error, db.getHandle(), path, StoreAccess::kRead);
    if (fault.fault() != StoreFault::kCorrupt) {
      throw fault;
    }
    check.findings.push_back(std::string("the check stopped: ") + error.what());
  }
  return check;
}

SalvageResult Salvage(const std::string& damaged, const std::string& target) {
  detail::OpenedFile source = detail::OpenStoreFile(damaged, StoreAccess::kRead);
  int version = 0;
  try {
    version = detail::KnownVersion(source.db, damaged);
  } catch (const SQLite::Exception& error) {
    throw detail::ToStoreError(error, source.db.getHandle(), damaged, StoreAccess::kRead);
  }
  // Claimed first, so that a file made meanwhile by another program is never replaced.
  const int claimed = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (claimed < 0) {
    if (errno == EEXIST) {
      throw StoreError(StoreFault::kOther,
                       target + " exists: salvage writes a new file and replaces none");
    }
    throw detail::ErrnoError(errno, target);
  }
  ::close(claimed);
  try {
    Store(target).CloseInterruptedRuns();  // the current layout and an identity of its own
    return CopyInto(source.db, damaged, version, target);
  } catch (...) {
    RemoveStoreFiles(target);
    throw;
  }
}

}  // namespace korvane::record
