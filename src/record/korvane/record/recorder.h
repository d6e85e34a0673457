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
  std::int64_t frames_lost = 0;      // not recorded because the queue was full
  std::string paused_reason;         // why nothing is written now; empty while writing
};

struct RecorderEvent {
  enum class Kind { kRunBegan, kRunEnded, kPaused, kResumed, kMovedAside };
  Kind kind;
  RunSummary run;    // the run events' run
  std::string text;  // kPaused: the reason; kMovedAside: the new name of the corrupt file
};

// Records every decoded record: the acquisition thread hands records to a bounded queue and
// never waits; a writer thread groups them into runs and commits them to the store in batches,
// at least once per commit interval. A store that cannot be written (full disk, locked,
// unwritable) pauses the recording, which resumes by itself; a corrupt file is moved aside and a
// new store started. Frames that do not fit the queue are counted, never dropped silently.
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
  // Writes what is queued, ends the open runs as interrupted and stops the writer. Idempotent.
  void Stop();
  RecorderStatus Status() const;

 private:
  void Run();
  void Cycle(bool final_cycle);
  bool EnsureStore();
  void LockStore();
  void WritePending(bool final_cycle, std::int64_t now);
  void Pause(const StoreError& error);
  void Emit(RecorderEvent::Kind kind, const RunSummary& run = {}, const std::string& text = {});

  const Options options_;

  mutable std::mutex lock_;  // guards the queue, the flags and the status below
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
  bool paused_ = false;  // a pause was reported: the next successful commit reports the resume
  std::thread writer_;
};

}  // namespace korvane::record
