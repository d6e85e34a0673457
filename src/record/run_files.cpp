// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/run_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>

#include "korvane/fileio/unique_fd.h"
#include "korvane/model/export_file.h"
#include "korvane/record/run_tracker.h"

namespace korvane::record {
namespace {

// Frames read from the store per query while exporting.
constexpr std::int64_t kExportSlice = 4096;

std::int64_t Second(std::int64_t utc_ms) {
  return utc_ms >= 0 ? utc_ms / 1000 : -((-utc_ms + 999) / 1000);
}

// A frame's values as an export line shows them, without its time.
std::string Shown(const model::S_HARDWARE_DATA& record) {
  const std::string line = model::ExportLine(record);
  return line.substr(line.find('\t'));
}

// The frames (in time order) the store does not have yet, in their order. Walks the file's and
// the store's frames second by second; each stored frame stands for one frame of the file, so
// of two equal frames in a second of the file and one in the store, one is new.
std::vector<const model::S_HARDWARE_DATA*> NewFrames(
    const Store& store, const std::vector<model::S_HARDWARE_DATA>& frames) {
  const auto [low, high] = std::minmax_element(
      frames.begin(), frames.end(), [](const auto& a, const auto& b) { return a.UtcMs < b.UtcMs; });
  std::vector<StoredFrame> stored =
      store.FramesBetween(Second(low->UtcMs) * 1000, Second(high->UtcMs) * 1000 + 999);
  std::stable_sort(stored.begin(), stored.end(), [](const auto& a, const auto& b) {
    return Second(a.record.UtcMs) < Second(b.record.UtcMs);
  });
  std::vector<const model::S_HARDWARE_DATA*> fresh;
  std::vector<std::string> shown;  // of the stored frames of one second, not yet matched
  auto next = stored.begin();
  for (auto frame = frames.begin(); frame != frames.end(); ++frame) {
    const std::int64_t second = Second(frame->UtcMs);
    if (frame == frames.begin() || Second(std::prev(frame)->UtcMs) != second) {
      shown.clear();
      for (; next != stored.end() && Second(next->record.UtcMs) <= second; ++next) {
        if (Second(next->record.UtcMs) == second) {
          shown.push_back(Shown(next->record));
        }
      }
    }
    const auto match =
        shown.empty() ? shown.end() : std::find(shown.begin(), shown.end(), Shown(*frame));
    if (match != shown.end()) {
      shown.erase(match);
    } else {
      fresh.push_back(&*frame);
    }
  }
  return fresh;
}

// A run's frames are the ids from its first to its last frame, so imported frames must not land
// inside a run that a recorder is still writing. Checked with the write lock held: no run can
// begin meanwhile.
void RefuseWhileRecording(const Store& store) {
  for (const RunSummary& run : store.Runs()) {
    if (run.end_state == EndState::kInProgress) {
      throw std::runtime_error(store.Path() + " is being recorded into (run " +
                               std::to_string(run.id) +
                               " is in progress): import when the recording has stopped, or into "
                               "another store");
    }
  }
}

// The recorder's lock when no recorder holds it; an invalid descriptor when one does.
fileio::UniqueFd LockOutRecorders(const Store& store) {
  try {
    return LockBesideStore(RecorderLockName(store.Path()), store.Path() + " is being recorded");
  } catch (const StoreError& error) {
    if (error.fault() != StoreFault::kLocked) {
      throw;
    }
    return {};
  }
}

// Refused before anything is read or written: the runs would otherwise belong to no pack.
void RequirePack(const Store& store, std::int64_t pack_id) {
  if (pack_id != 0 && !store.FindPack(pack_id)) {
    throw PackError("There is no pack with id " + std::to_string(pack_id) + " in " + store.Path());
  }
}

}  // namespace

void ExportFrames(const Store& store, std::int64_t first, std::int64_t last, std::ostream& out) {
  out << model::ExportHeaderLine();
  for (std::int64_t from = first; from <= last;) {
    const std::int64_t to = last - from < kExportSlice ? last : from + kExportSlice - 1;
    for (const StoredFrame& frame : store.Frames(from, to)) {
      out << model::ExportLine(frame.record);
    }
    if (!out) {
      throw std::runtime_error("the export could not be written");
    }
    if (to == last) {
      break;
    }
    from = to + 1;
  }
  out.flush();
  if (!out) {
    throw std::runtime_error("the export could not be written");
  }
}

void ExportRun(const Store& store, std::int64_t run_id, std::ostream& out) {
  const std::optional<RunSummary> run = store.Run(run_id);
  if (!run) {
    throw std::runtime_error("there is no run " + std::to_string(run_id) + " in " + store.Path());
  }
  ExportFrames(store, run->first_frame, run->last_frame, out);
}

ImportResult ImportStream(Store& store, std::istream& in, const ImportOptions& options) {
  RequirePack(store, options.pack_id);
  return ImportFrames(store, ReadExport(in, options), options.pack_id);
}

ImportResult ImportFrames(Store& store, const std::vector<model::S_HARDWARE_DATA>& frames,
                          std::int64_t pack_id) {
  ImportResult result;
  RequirePack(store, pack_id);
  if (frames.empty()) {
    return result;
  }
  const fileio::UniqueFd lock = LockOutRecorders(store);
  if (lock.Valid()) {
    store.CloseInterruptedRuns();
  }
  std::unique_ptr<Store::Batch> batch = store.Begin();
  if (!lock.Valid()) {
    RefuseWhileRecording(store);
  }
  const std::vector<const model::S_HARDWARE_DATA*> fresh = NewFrames(store, frames);
  result.frames_existing = static_cast<std::int64_t>(frames.size() - fresh.size());
  if (fresh.empty()) {
    return result;  // the batch rolls back: nothing changes
  }
  RunTracker tracker;
  // A run is written when it begins (for its id) and when it ends; the updates between are
  // left to the end, so the import writes each run twice, not once per frame.
  const auto keep = [&](std::vector<RunSummary> runs) {
    for (RunSummary& run : runs) {
      const bool ended = run.end_state != EndState::kInProgress;
      if (run.id == 0 || ended) {
        run.pack_id = pack_id;
        batch->PutRun(run, Store::Batch::NewRunPack::kGiven);
      }
      if (!ended) {
        tracker.SetId(run.channel - 1, run.id);
      } else {
        result.runs.push_back(std::move(run));
      }
    }
  };
  for (const model::S_HARDWARE_DATA* record : fresh) {
    const std::int64_t id = batch->AddFrame(*record);
    keep(tracker.Add(id, *record));
    ++result.frames;
  }
  keep(tracker.StopAll());
  batch->Commit();
  return result;
}

ImportResult ImportFile(Store& store, const std::string& path, const ImportOptions& options) {
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path)) {
    throw std::runtime_error("cannot open " + path + ": " + std::strerror(in ? EISDIR : errno));
  }
  return ImportStream(store, in, options);
}

}  // namespace korvane::record
