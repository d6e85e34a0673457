// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Database.h>

namespace korvane::record {

// Takes a file of the current layout back to layout 3, as the program before packs made it:
// a test's way to an older store with real frames and runs in it.
inline void DowngradeToVersion3(SQLite::Database& raw) {
  raw.exec(
      "DROP TABLE packs; DROP TABLE chosen_packs; DROP INDEX runs_by_pack; "
      "ALTER TABLE runs DROP COLUMN pack_id; ALTER TABLE runs DROP COLUMN charged_mah; "
      "ALTER TABLE runs DROP COLUMN discharged_mah; ALTER TABLE runs DROP COLUMN ir_mohm; "
      "ALTER TABLE runs DROP COLUMN cell_ir_mohm; DELETE FROM sqlite_sequence WHERE name = "
      "'packs'; PRAGMA user_version = 3");
}

}  // namespace korvane::record
