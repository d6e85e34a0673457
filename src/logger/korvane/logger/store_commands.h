// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace korvane::logger {

// The verbs that read or fill a recordings file. Each throws std::runtime_error (or one of the
// record layer's errors) with the whole message for the user.

// Which runs `runs` lists, and how.
struct RunListing {
  bool json = false;                     // web::RunArrayJson instead of the table
  int channel = 0;                       // 1 or 2; 0 lists both
  std::optional<std::int64_t> since_ms;  // only runs that started at or after (UTC ms)
};

// The runs that `listing` selects, oldest first, as the table or JSON. The file must exist:
// reading never creates one.
void ListRuns(const std::string& store_path, const RunListing& listing, std::ostream& out);

// The run's frames in the export format to `output` ("" or "-": standard output). A file is
// written beside its target and renamed over it once complete, so a failed export leaves the
// target as it was; a target that is not a regular file (a terminal, a pipe) is written in place.
void ExportRunTo(const std::string& store_path, std::int64_t run_id, const std::string& output);

// Imports `file` ("-": standard input), whose local times are of `timezone` ("": the local
// zone), into the store, which is created when missing (not for a file that cannot be read or
// has no frames), and reports what was new on `out`. The new runs belong to the pack named
// `pack` ("": none), which must be in the store.
void ImportInto(const std::string& store_path, const std::string& file, const std::string& timezone,
                const std::string& pack, std::ostream& out);

}  // namespace korvane::logger
