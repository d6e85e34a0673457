// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/live_slot.h"

#include <algorithm>
#include <utility>

namespace korvane::web {

void LiveSlot::Changed(std::unique_lock<std::mutex>& guard) {
  ++version_;
  guard.unlock();
  changed_.notify_all();
}

void LiveSlot::PutFrame(const model::S_HARDWARE_DATA& record) {
  auto frame = std::make_shared<const model::S_HARDWARE_DATA>(record);
  std::unique_lock guard(mutex_);
  frame_.swap(frame);
  Changed(guard);
  // The previous frame is released here, outside the lock.
}

void LiveSlot::PutLink(LinkState link) {
  std::unique_lock guard(mutex_);
  link_ = std::move(link);
  Changed(guard);
}

void LiveSlot::PutRecording(RecordingState recording) {
  std::unique_lock guard(mutex_);
  recording_ = std::move(recording);
  Changed(guard);
}

void LiveSlot::SetRecordingSource(std::function<RecordingState()> source) {
  std::lock_guard guard(mutex_);
  recording_source_ = std::move(source);
}

void LiveSlot::PutRun(const record::RunSummary& run) {
  if (run.channel < 1 || run.channel > model::kChannelCount) {
    return;
  }
  std::unique_lock guard(mutex_);
  auto& open = runs_[static_cast<std::size_t>(run.channel - 1)];
  if (run.end_state == record::EndState::kInProgress) {
    open = LiveRun{run.id, run.start_ms, run.pack_name};
  } else if (open && open->id == run.id) {
    open.reset();
  }
  changed_runs_.emplace_back(++run_sequence_, run.id);
  if (changed_runs_.size() > kRunMemory) {
    changed_runs_.pop_front();
  }
  Changed(guard);
}

void LiveSlot::ClearRun(int channel) {
  if (channel < 1 || channel > model::kChannelCount) {
    return;
  }
  std::unique_lock guard(mutex_);
  runs_[static_cast<std::size_t>(channel - 1)].reset();
  Changed(guard);
}

LiveState LiveSlot::Latest(std::uint64_t* version) const {
  LiveState state;
  std::function<RecordingState()> source;
  {
    std::lock_guard guard(mutex_);
    state.frame = frame_;
    state.link = link_;
    state.recording = recording_;
    state.runs = runs_;
    source = recording_source_;
    if (version != nullptr) {
      *version = version_;
    }
  }
  if (source) {
    state.recording = source();  // outside this lock: the source takes its own
  }
  return state;
}

std::uint64_t LiveSlot::WaitNewer(std::uint64_t seen, Clock::time_point deadline) const {
  std::unique_lock guard(mutex_);
  changed_.wait_until(guard, deadline, [&] { return closed_ || version_ != seen; });
  return version_;
}

std::vector<std::int64_t> LiveSlot::ChangedRuns(std::uint64_t& cursor) const {
  std::vector<std::int64_t> ids;
  std::lock_guard guard(mutex_);
  for (const auto& [sequence, id] : changed_runs_) {
    if (sequence > cursor && std::find(ids.begin(), ids.end(), id) == ids.end()) {
      ids.push_back(id);
    }
  }
  cursor = run_sequence_;
  return ids;
}

void LiveSlot::Close() {
  {
    std::lock_guard guard(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool LiveSlot::Closed() const {
  std::lock_guard guard(mutex_);
  return closed_;
}

}  // namespace korvane::web
