// SPDX-License-Identifier: GPL-3.0-or-later
#include "store_open.h"

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "store_fault.h"

namespace korvane::record::detail {
namespace {

// Long enough to ride out another connection's commit, short enough that a store held by
// another program is reported as locked instead of stalling the writer.
constexpr int kBusyTimeoutMs = 200;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void CreateFolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::create_directories(folder, error) && error) {
    throw ErrnoError(error.value(), folder.string());
  }
}

// The file as an SQLite URI that reads it as unchanging: no locks, no WAL, no -shm.
std::string ImmutableUri(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || c == '/' || c == '.' || c == '_' ||
                       c == '-' || c == '~';
    if (plain) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri + "?immutable=1";
}

void Harden(SQLite::Database& db, const std::string& path) {
  sqlite3* handle = db.getHandle();
  if (sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
      sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) != SQLITE_OK) {
    throw StoreError(StoreFault::kOther,
                     DescribeFault(StoreFault::kOther, path, "SQLite lacks its defensive mode"));
  }
}

// Also the first read of the file: a file SQLite cannot read fails here, not later.
void RefuseForeignObjects(SQLite::Database& db, const std::string& path) {
  SQLite::Statement find(db,
                         "SELECT type, name FROM sqlite_schema WHERE type IN ('trigger', 'view') "
                         "ORDER BY type, name LIMIT 1");
  if (find.executeStep()) {
    throw StoreError(StoreFault::kOther,
                     path + " is not used: it holds a " + find.getColumn(0).getString() + " (" +
                         find.getColumn(1).getString() + "), which Korvane Connect never makes");
  }
}

OpenedFile Connect(const std::string& path, const std::string& name, int flags, StoreAccess access,
                   bool snapshot) {
  std::optional<SQLite::Database> db;
  try {
    // NOMUTEX: a Store is used by one thread at a time, so SQLite's own locking is not needed.
    db.emplace(name, flags | SQLite::OPEN_NOMUTEX, kBusyTimeoutMs);
    Harden(*db, path);
    RefuseForeignObjects(*db, path);
    return OpenedFile{std::move(*db), snapshot, {}};
  } catch (const SQLite::Exception& error) {
    throw ToStoreError(error, db ? db->getHandle() : nullptr, path, access);
  }
}
}  // namespace

OpenedFile OpenStoreFile(const std::string& path, StoreAccess access) {
  if (access == StoreAccess::kWrite) {
    CreateFolderOf(path);
    return Connect(path, path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, access, false);
  }
  try {
    return Connect(path, path, SQLite::OPEN_READONLY, access, false);
  } catch (const StoreError& error) {
    // SQLite reads a WAL file only through its -wal and -shm, which it makes when they are
    // missing. Where it cannot, and there is no -wal (nor a rollback journal), every commit is
    // in the file itself: it can then be read as unchanging.
    const bool unreadable = ::access(path.c_str(), R_OK) != 0;
    if (unreadable || error.fault() == StoreFault::kCorrupt ||
        error.fault() == StoreFault::kLocked || WriteAccessError(path) == 0) {
      throw;
    }
    if (Exists(path + "-wal") && !Exists(path + "-shm")) {
      throw StoreError(StoreFault::kOther,
                       "Cannot read " + path + " (its recordings in " + path +
                           "-wal need a -shm file beside it, which cannot be made in that "
                           "folder: copy both files into a folder you may write)");
    }
    if (Exists(path + "-wal") || Exists(path + "-journal")) {
      throw;
    }
  }
  const FileStamp stamp = StampOf(path);
  OpenedFile opened =
      Connect(path, ImmutableUri(path), SQLite::OPEN_READONLY | SQLite::OPEN_URI, access, true);
  opened.stamp = stamp;
  return opened;
}

FileStamp StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return {};
  }
  return {static_cast<std::uint64_t>(info.st_ino), static_cast<std::int64_t>(info.st_size),
          static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec};
}

bool SnapshotOutdated(const std::string& path, const FileStamp& stamp) {
  return Exists(path + "-wal") || StampOf(path) != stamp;
}

}  // namespace korvane::record::detail
