// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>

namespace korvane::logger {

// The verbs that examine a recordings file and rescue what a damaged one still holds. Both read
// the file read-only. Each throws std::runtime_error (or one of the record layer's errors) with
// the whole message for the user.

// SQLite's integrity check of the file, read-only: "FILE is sound: N runs, M frames", or the
// findings (at most kCheckFindings) and how to salvage. Returns the exit status: 0 sound,
// 1 damaged.
inline constexpr int kCheckFindings = 20;
int CheckStoreFile(const std::string& store_path, std::ostream& out);

// Copies every readable run and frame of `damaged` into the new store `target` (refused when it
// exists), keeping their ids, and reports what was copied and which ids could not be read.
void SalvageStoreFile(const std::string& damaged, const std::string& target, std::ostream& out);

}  // namespace korvane::logger
