// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "korvane/sim/faults.h"
#include "korvane/sim/line.h"
#include "korvane/sim/scenario.h"
#include "korvane/sim/unique_fd.h"

namespace korvane::sim {

struct RunnerOptions {
  std::chrono::milliseconds interval{1000};   // start to start; 0 = back to back
  std::uint64_t max_frames = 0;               // 0 = until Stop()
  std::chrono::milliseconds write_wait{250};  // how long a write may wait for room before dropping
  // When > 0, each write is followed by a pause as long as its bytes take at this rate (960
  // for 9600 baud), so a pty is fed at the pace of a real line.
  double line_bytes_per_s = 0;
  FaultOptions faults;
  std::uint64_t fault_seed = 1;
};

// `valid_frames` is exact for a receiver that keeps reading. Once bytes are dropped it counts
// what reached the line, which a receiver may still lose (e.g. by flushing its port on open).
struct RunnerStats {
  std::uint64_t frames = 0;        // records encoded and offered to the line
  std::uint64_t valid_frames = 0;  // of those, frames a receiver can accept (see CountIntactFrames)
  std::uint64_t damaged_frames = 0;  // frames given a wrong checksum or length on purpose
  std::uint64_t writes = 0;
  std::uint64_t dropped_bytes = 0;  // bytes the line had no room for
  bool line_failed = false;         // the line closed or broke; the run ended there
};

// Plays a scenario onto a line on its own thread: one record per interval, shaped by the fault
// injector. Stop() ends the run within a few milliseconds, also in the middle of an interval, a
// pause or a wait for room on the line. A Runner runs once: Start() after Stop() does nothing.
// A line failure (e.g. the pty master closed) ends the run; dropped bytes do not.
class Runner {
 public:
  // `line` must outlive the Runner.
  Runner(Line& line, std::unique_ptr<Scenario> scenario, const RunnerOptions& options);
  ~Runner();  // stops
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Called on the runner thread after each write of frames, with the counts so far. Set before
  // Start().
  void SetOnTransmission(std::function<void(const RunnerStats&)> callback);

  void Start();
  void Stop();  // returns once the thread has ended; repeatable; not from the callback

  // True once the run has ended by itself: max_frames went out or the line failed.
  bool WaitFinished(std::chrono::milliseconds timeout);
  bool Finished() const;
  RunnerStats Stats() const;

 private:
  void Run();
  // False when woken for stopping.
  bool Pause(std::chrono::milliseconds duration) const;
  void Transmit(const Transmission& transmission);

  Line& line_;
  std::unique_ptr<Scenario> scenario_;
  RunnerOptions options_;
  FaultInjector injector_;
  std::function<void(const RunnerStats&)> on_transmission_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  bool line_open_ = false;  // runner thread only

  mutable std::mutex mutex_;
  std::condition_variable finished_cv_;
  RunnerStats stats_;
  bool finished_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace korvane::sim
