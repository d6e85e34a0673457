// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Database.h>

#include <string>

namespace korvane::record::detail {

// Readies an open connection to `path`: refuses a newer layout or another program's database
// before touching the file, sets the journal and sync modes, then migrates the file to
// Store::kSchemaVersion. Throws StoreError for a refusal and SQLite::Exception for a failure.
void PrepareSchema(SQLite::Database& db, const std::string& path);

// Throws StoreError unless this program may read the file (a newer layout, another program's
// database); returns its layout version.
int KnownVersion(SQLite::Database& db, const std::string& path);

// Sets the health figures of every stored run from its frames (RecomputeHealth): for runs
// recorded before they were kept. Reads a file of layout 4; call it inside a transaction.
void RecomputeRunHealth(SQLite::Database& db);

// The file's identity; "" when its layout has none yet.
std::string ReadIdentity(SQLite::Database& db);

}  // namespace korvane::record::detail
