// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/run.h"

namespace korvane::web {

struct LinkState {
  std::string status = "No data";  // the link's status as the window shows it
  std::string detail;              // what to do about it; empty when nothing
};

struct RecordingState {
  std::string state = "off";  // "recording", "paused" or "off"
  std::string reason;         // why paused
  std::int64_t frames = 0;    // recorded (serve: the newest frame's id)
  std::int64_t lost = 0;      // not recorded
};

// A channel's run in progress.
struct LiveRun {
  std::int64_t id = 0;
  std::int64_t start_ms = 0;
  std::string pack;  // empty: none
};

struct LiveState {
  std::shared_ptr<const model::S_HARDWARE_DATA> frame;  // null before the first frame
  LinkState link;
  RecordingState recording;
  std::array<std::optional<LiveRun>, model::kChannelCount> runs;
};

// The latest live state, written by the program's own threads (the acquisition thread puts each
// decoded frame, the main thread the link's status, the recorder's thread the runs) and read by
// the web's threads, which wait for a newer version. The lock guards every member below and is
// held only to swap a pointer or copy a few short texts: a writer never waits on a reader's
// work, and a slow reader simply sees the latest state when it looks again.
class LiveSlot {
 public:
  using Clock = std::chrono::steady_clock;

  void PutFrame(const model::S_HARDWARE_DATA& record);
  void PutLink(LinkState link);
  void PutRecording(RecordingState recording);
  // The state of the recording is asked for when a reader takes the state (record: the
  // recorder's status, which it keeps under its own lock). Set before any reader.
  void SetRecordingSource(std::function<RecordingState()> source);
  // A run began or changed (its channel's run in progress from now on, unless it ended).
  void PutRun(const record::RunSummary& run);
  // Clears a channel's run in progress (serve: none is open any more).
  void ClearRun(int channel);

  // The state now, and its version in `version` when given.
  LiveState Latest(std::uint64_t* version = nullptr) const;
  // Waits until the version is no longer `seen`, until `deadline` or until Close; returns the
  // version then.
  std::uint64_t WaitNewer(std::uint64_t seen, Clock::time_point deadline) const;
  // The ids of the runs that began, ended or changed after `cursor` (0 at first), oldest first,
  // without repeats; moves `cursor` on. A reader far behind gets the latest kRunMemory only.
  std::vector<std::int64_t> ChangedRuns(std::uint64_t& cursor) const;
  // Wakes every waiter; WaitNewer returns at once from then on.
  void Close();
  bool Closed() const;

  static constexpr std::size_t kRunMemory = 64;

 private:
  void Changed(std::unique_lock<std::mutex>& guard);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::shared_ptr<const model::S_HARDWARE_DATA> frame_;
  LinkState link_;
  RecordingState recording_;
  std::function<RecordingState()> recording_source_;
  std::array<std::optional<LiveRun>, model::kChannelCount> runs_;
  std::deque<std::pair<std::uint64_t, std::int64_t>> changed_runs_;  // (sequence, run id)
  std::uint64_t run_sequence_ = 0;
  std::uint64_t version_ = 1;
  bool closed_ = false;
};

// The /api/live object: {"utc_ms", "link", "recording", "channels": [...]} (channels [] before
// the first frame).
std::string LiveJson(const LiveState& state);

}  // namespace korvane::web
