// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::record {

// What SQLite's integrity check finds in a store, opened read-only (kRead).
struct StoreCheck {
  std::vector<std::string> findings;  // empty when the file is sound
  bool more = false;                  // more findings than listed
  bool opened = true;                 // false: too damaged to open, nothing can be salvaged
  std::int64_t runs = 0;              // counted when the file is sound
  std::int64_t frames = 0;
};

// Lists at most `limit` findings; a file too damaged to open at all is one finding. Throws
// StoreError when the file cannot be read for another reason (missing, not a recording).
StoreCheck CheckStore(const std::string& path, int limit);

struct IdRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
};

struct SalvageResult {
  std::int64_t frames = 0;  // copied
  std::int64_t runs = 0;
  std::vector<IdRange> lost_frames;  // ids that could not be read, in order
  std::vector<IdRange> lost_runs;
  // Copied runs of which some frames could not be read.
  std::vector<std::int64_t> runs_missing_frames;
  // When the highest frame id could not be read: the id up to which frames were looked for (the
  // newest copied run's last frame); frames above it, if any, were not reached.
  std::optional<std::int64_t> frames_searched_to;
};

// Copies every readable run and frame of the store `damaged` (opened kRead) into the new store
// `target`, keeping their ids so that runs still name their frames. Reads in slices of ids; a
// slice SQLite cannot read is halved until the unreadable ids are single ones, which are
// stepped over. The new store gets an identity of its own and no publishing marks (publishers
// start it afresh). Refuses an existing `target`; removes `target` again when writing it fails.
// Throws StoreError.
SalvageResult Salvage(const std::string& damaged, const std::string& target);

}  // namespace korvane::record
