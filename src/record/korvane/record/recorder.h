// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "korvane/model/record_sink.h"
#include "korvane/record/run.h"
#include "korvane/record/run_tracker.h"
#include "korvane/record/store.h"

namespace korvane::record {

struct RecorderStatus {
  std::string file;
  bool writing = false;              // the store is open and takes frames
  std::int64_t frames_recorded = 0;  // committed in this session
  // Not recorded: the queue was full, or the store could not take them when the recording
  // stopped.
  std::int64_t frames_lost = 0;
  std::string paused_reason;  // why nothing is written now; empty while writing
};

// kRunClosed: at its first open the recorder found this run left "In progress" by a recording
// that did not stop cleanly (a crash, a power loss) and closed it "Interrupted". kDamaged: the
// check at the first open found damage in the file; the recording goes on in it.
struct RecorderEvent {
  enum class Kind { kRunBegan, kRunEnded, kPaused, kResumed, kMovedAside, kRunClosed, kDamaged };
  Kind kind;
  RunSummary run;  // the run events' run
  // kPaused: the reason; kMovedAside: the new name of the corrupt file; kDamaged: SQLite's first
  // finding, on one line.
  std::string text;
};

// The lines both programs print for kRunClosed and for kDamaged in the file `file`.
std::string ClosedRunLine(const RunSummary& run);
std::string DamagedLine(const std::string& file, const std::string& finding);

// Records every decoded record: the acquisition thread hands records to a bounded queue and
// never waits; a writer thread groups them into runs and commits them to the store in batches,
// at least once per commit interval. A store that cannot be written (full disk, locked,
// unwritable) pauses the recording; it resumes by itself once frames are written again. A
// corrupt file is moved aside and a new store started. Frames that do not fit the queue, or that
// the store cannot take when the recording stops, are counted, never dropped silently. At its
// first open the recorder closes the runs a crashed recording left open and checks the file
// (quick_check), and says so.
class Recorder final : public model::RecordSink {
 public:
  struct Options {
    std::string path;
    std::size_t queue_capacity = 16384;  // over half an hour at line rate
    std::chrono::milliseconds commit_interval{500};
    std::chrono::milliseconds retry_interval{2000};
    // Called on the writer thread; must not call back into the recorder's Stop.
    std::function<void(const RecorderEvent&)> on_event;
    // UTC milliseconds now, for ending runs after a silence; the system clock by default.
    std::function<std::int64_t()> now_ms;
  };

  explicit Recorder(Options options);
  ~Recorder() override;
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void Record(const model::S_HARDWARE_DATA& record) noexcept override;
  // Writes what is queued, ends the open runs (RunTracker::StopAll) and stops the writer.
  // Idempotent.
  void Stop();
  RecorderStatus Status() const;

 private:
  void Run();
  void Cycle(bool final_cycle);
  bool EnsureStore();
  void FirstOpen();
  void LockStore();
  void WritePending(bool final_cycle, std::int64_t now);
  void Pause(const StoreError& error);
  void Emit(RecorderEvent::Kind kind, const RunSummary& run = {}, const std::string& text = {});

  const Options options_;

  mutable std::mutex mutex_;  // guards the queue, the flags and the status below
  std::condition_variable wake_;
  std::deque<model::S_HARDWARE_DATA> queue_;
  bool stopping_ = false;
  std::size_t pending_count_ = 0;  // the writer's pending frames count against the capacity
  RecorderStatus status_;

  // Writer thread only.
  std::unique_ptr<Store> store_;
  fileio::UniqueFd store_lock_;  // held from the first open of the store to the recorder's end
  RunTracker tracker_;
  std::vector<model::S_HARDWARE_DATA> pending_;
  std::chrono::steady_clock::time_point next_open_{};  // no store: the next attempt to open one
  // A pause was reported and no frame has been written since: the next commit that writes
  // frames reports the resume.
  bool paused_ = false;
  bool first_open_done_ = false;  // stale runs closed and the file checked
  std::thread writer_;
};

}  // namespace korvane::record
