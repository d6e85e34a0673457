#pragma once

#include <SQLiteCpp/Database.h>

#include <string>

#include "korvane/record/store.h"

namespace korvane::record::detail {

struct OpenedFile {
  SQLite::Database db;
  // Opened as an unchanging file (SQLite's immutable=1, no locks): only when nothing but the
  // file itself holds recordings. A writer that starts later is seen only by opening again.
  bool snapshot = false;
};

// A connection to the store `path` with SQLite's defensive settings (no writing the schema by
// hand, no functions run from the file's schema), refusing a file whose schema holds triggers
// or views: this program makes none, so they came from elsewhere and could act on its writes.
// kWrite creates the file and its folder when missing. kRead never creates the file; it reads
// a WAL file whose -wal and -shm it may not write, and one whose -wal and -shm are absent and
// cannot be made. Throws StoreError.
OpenedFile OpenStoreFile(const std::string& path, StoreAccess access);

// Whether a snapshot of `path` no longer shows everything: a writer has begun a WAL since.
bool SnapshotOutdated(const std::string& path);

}  // namespace korvane::record::detail
