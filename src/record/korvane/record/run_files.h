// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "korvane/record/import_reader.h"
#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::record {

// Runs to and from files in the export format (the window's Export Data): the header line, then
// one line per frame with both channels, CR LF, no byte-order mark, texts of the current C
// locale. An exported run can be imported anywhere and exports the same lines again.

// Writes the header and the frames with ids first..last, read from the store in slices, so a
// run of any length needs little memory. Throws StoreError, or std::runtime_error when `out`
// fails.
void ExportFrames(const Store& store, std::int64_t first, std::int64_t last, std::ostream& out);

// The frames of the run's span, its first to its last frame (both channels). Throws
// std::runtime_error when the store has no such run.
void ExportRun(const Store& store, std::int64_t run_id, std::ostream& out);

struct ImportResult {
  std::int64_t frames = 0;           // new frames stored
  std::int64_t frames_existing = 0;  // frames already in the store, skipped
  std::vector<RunSummary> runs;      // as stored, in the order they ended
};

// Reads an export file (ReadExport) into the store in one transaction: every new frame or
// nothing. A frame already in the store (the same second, the same values as the file shows
// them) is skipped, so importing a file twice, or the exports of two overlapping runs, stores
// each frame once; a file with nothing new changes nothing. The new frames get new ids in file
// order and are grouped into runs as the recording does; runs still going at the end of the
// file end "Interrupted".
// A recorder's lock (RecorderLockName) decides who else writes: when no recorder holds it, the
// import holds it meanwhile and first ends the runs a crash left "In progress"; when one holds
// it, the import is refused (std::runtime_error, nothing written) while that recorder has a
// run in progress, since a run's frames are the ids from its first to its last frame.
// Throws what ReadExport throws, and StoreError for the store.
ImportResult ImportStream(Store& store, std::istream& in, const ImportOptions& options = {});
// Also throws std::runtime_error when the file cannot be opened or read.
ImportResult ImportFile(Store& store, const std::string& path, const ImportOptions& options = {});
// The second half of ImportStream, for frames ReadExport has read: in its order, which is time
// order.
// Its runs belong to the pack `pack_id` (0: none).
ImportResult ImportFrames(Store& store, const std::vector<model::S_HARDWARE_DATA>& frames,
                          std::int64_t pack_id = 0);

}  // namespace korvane::record
