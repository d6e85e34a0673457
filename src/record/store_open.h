// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Database.h>

#include <cstdint>
#include <string>

#include "korvane/record/store.h"

namespace korvane::record::detail {

// What identifies the content of a file that nobody journals: a writer that commits and closes
// leaves no -wal behind, but the file's size or time of change moves.
struct FileStamp {
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

struct OpenedFile {
  SQLite::Database db;
  // Opened as an unchanging file (SQLite's immutable=1, no locks): only when nothing but the
  // file itself holds recordings. A writer that starts later is seen only by opening again.
  bool snapshot = false;
  FileStamp stamp;  // of a snapshot's file, taken before it was opened
};

// A connection to the store `path` with SQLite's defensive settings (no writing the schema by
// hand, no functions run from the file's schema), refusing a file whose schema holds triggers
// or views: this program makes none, so they came from elsewhere and could act on its writes.
// kWrite creates the file and its folder when missing. kRead never creates the file; it reads
// a WAL file whose -wal and -shm it may not write, and one whose -wal and -shm are absent and
// cannot be made. Throws StoreError.
OpenedFile OpenStoreFile(const std::string& path, StoreAccess access);

// The file's stamp now; all zero when it cannot be examined.
FileStamp StampOf(const std::string& path);

// Whether a snapshot of `path` taken at `stamp` no longer shows everything: a writer has begun
// a WAL since, or has changed the file and gone.
bool SnapshotOutdated(const std::string& path, const FileStamp& stamp);

}  // namespace korvane::record::detail
