// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/store_follower.h"

#include <algorithm>

namespace korvane::web {
namespace {

bool SameRun(const record::RunSummary& a, const record::RunSummary& b) {
  return a.end_ms == b.end_ms && a.end_state == b.end_state && a.frames == b.frames &&
         a.pack_id == b.pack_id && a.pack_name == b.pack_name;
}

}  // namespace

StoreFollower::StoreFollower(StorePool& pool, LiveSlot& live, std::chrono::milliseconds interval)
    : pool_(pool), live_(live), interval_(interval), thread_([this] { Run(); }) {}

StoreFollower::~StoreFollower() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void StoreFollower::AddListener() {
  {
    std::lock_guard guard(mutex_);
    ++listeners_;
  }
  wake_.notify_all();
}

void StoreFollower::RemoveListener() {
  std::lock_guard guard(mutex_);
  --listeners_;
}

void StoreFollower::Run() {
  std::unique_lock guard(mutex_);
  while (!stopping_) {
    wake_.wait(guard, [this] { return stopping_ || listeners_ > 0; });
    if (stopping_) {
      break;
    }
    guard.unlock();
    Poll();
    guard.lock();
    wake_.wait_for(guard, interval_, [this] { return stopping_; });
  }
}

void StoreFollower::Poll() {
  std::lock_guard guard(poll_mutex_);
  std::string problem;
  try {
    const StorePool::Lease store = pool_.Take();
    Read(*store);
  } catch (const std::exception& error) {
    problem = error.what();
  }
  if (problem != problem_) {
    problem_ = problem;
    live_.PutLink(
        {"No port", problem.empty() ? "showing what is recorded into " + pool_.Path() : problem});
  }
}

void StoreFollower::Read(const record::Store& store) {
  const std::int64_t last = store.LastFrameId();
  if (last != last_frame_ && last > 0) {
    const std::vector<record::StoredFrame> frames = store.Frames(last, last);
    if (!frames.empty()) {
      live_.PutFrame(frames.back().record);
    }
  }
  const bool first = last_frame_ < 0;
  const bool recording = record::RecorderHolds(store.Path());
  if (first || last != last_frame_ || recording != recording_) {
    live_.PutRecording({recording ? "recording" : "off", "", last, 0});
  }
  last_frame_ = last;
  recording_ = recording;

  for (const record::RunSummary& run : store.Runs(watch_from_)) {
    const auto known = watched_.find(run.id);
    if (known == watched_.end() || !SameRun(known->second, run)) {
      live_.PutRun(run);
      watched_[run.id] = run;
    }
  }
  // Only the runs in progress, and those to come, can change from here on.
  std::int64_t from = watched_.empty() ? watch_from_ : watched_.rbegin()->first;
  for (const auto& [id, run] : watched_) {
    if (run.end_state == record::EndState::kInProgress) {
      from = std::min(from, id - 1);
    }
  }
  watch_from_ = from;
  std::erase_if(watched_, [&](const auto& entry) { return entry.first <= from; });
}

}  // namespace korvane::web
