// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "korvane/contract.h"

namespace korvane::record {
namespace {

std::int64_t SystemNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string ClosedRunLine(const RunSummary& run) {
  return "run " + std::to_string(run.id) + " closed: channel " + std::to_string(run.channel) +
         ", " + RunKindWord(run.kind) + ", " + run.end_text +
         " (left in progress by a recording that did not stop cleanly)";
}

std::string DamagedLine(const std::string& file, const std::string& finding) {
  return "recording: " + file + " is damaged (" + finding +
         "); recording goes on; `korvane-log check` and `korvane-log salvage` can tell more and "
         "rescue what is readable";
}

Recorder::Recorder(Options options) : options_(std::move(options)) {
  status_.file = options_.path;
  status_.paused_reason = "starting";
  writer_ = std::thread([this] { Run(); });
}

Recorder::~Recorder() {
  Stop();
  store_.reset();
  store_lock_.Reset();
}

void Recorder::Record(const model::S_HARDWARE_DATA& record) noexcept {
  try {
    {
      std::lock_guard guard(mutex_);
      if (stopping_ || queue_.size() + pending_count_ >= options_.queue_capacity) {
        ++status_.frames_lost;
        return;
      }
      queue_.push_back(record);
    }
  } catch (...) {
    std::lock_guard guard(mutex_);
    ++status_.frames_lost;
  }
}

void Recorder::Stop() {
  // The writer would wait for itself.
  KORVANE_EXPECT(std::this_thread::get_id() != writer_.get_id(),
                 "on_event must not call back into the recorder's Stop");
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) {
    writer_.join();
  }
}

RecorderStatus Recorder::Status() const {
  std::lock_guard guard(mutex_);
  return status_;
}

void Recorder::Run() {
  for (;;) {
    bool final_cycle = false;
    {
      std::unique_lock guard(mutex_);
      wake_.wait_for(guard, options_.commit_interval, [this] { return stopping_; });
      final_cycle = stopping_;
    }
    Cycle(final_cycle);
    if (final_cycle) {
      return;
    }
  }
}

void Recorder::Cycle(bool final_cycle) {
  const std::int64_t now = options_.now_ms ? options_.now_ms() : SystemNowMs();
  // At the end one more attempt is made whatever the retry interval says.
  if (final_cycle) {
    next_open_ = {};
  }
  {
    std::lock_guard guard(mutex_);
    while (!queue_.empty()) {
      pending_.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    pending_count_ = pending_.size();
  }
  if (EnsureStore()) {
    WritePending(final_cycle, now);
  }
  // What the store could not take at the end is lost, whichever way it failed.
  if (final_cycle && !pending_.empty()) {
    std::lock_guard guard(mutex_);
    status_.frames_lost += static_cast<std::int64_t>(pending_.size());
    pending_.clear();
    pending_count_ = 0;
  }
}

bool Recorder::EnsureStore() {
  if (store_) {
    return true;
  }
  if (std::chrono::steady_clock::now() < next_open_) {
    return false;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      store_ = std::make_unique<Store>(options_.path);
      LockStore();
      FirstOpen();
      return true;
    } catch (const StoreError& error) {
      store_.reset();
      if (error.fault() == StoreFault::kCorrupt && attempt == 0) {
        try {
          Emit(RecorderEvent::Kind::kMovedAside, {}, MoveAside(options_.path));
          continue;
        } catch (const StoreError& move_error) {
          Pause(move_error);
          return false;
        }
      }
      Pause(error);
      return false;
    }
  }
  return false;
}

// Only the first open: later ones reopen after a pause, when the runs in progress are this
// recorder's own.
void Recorder::FirstOpen() {
  if (first_open_done_) {
    return;
  }
  const std::vector<RunSummary> closed = store_->CloseInterruptedRuns();
  first_open_done_ = true;
  for (const RunSummary& run : closed) {
    Emit(RecorderEvent::Kind::kRunClosed, run);
  }
  std::string finding;
  try {
    finding = store_->QuickCheck();
  } catch (const StoreError&) {
    // The check could not run (busy, out of memory): it finds nothing to tell.
  }
  // One line: SQLite heads its findings with the schema's name on a line of its own.
  if (const std::string head = "*** in database main ***\n"; finding.starts_with(head)) {
    finding.erase(0, head.size());
  }
  std::replace(finding.begin(), finding.end(), '\n', ' ');
  if (!finding.empty()) {
    Emit(RecorderEvent::Kind::kDamaged, {}, finding);
  }
}

void Recorder::WritePending(bool final_cycle, std::int64_t now) {
  const RunTracker before = tracker_;
  std::vector<RunSummary> began;
  std::vector<RunSummary> ended;
  const auto put = [&](Store::Batch& batch, std::vector<RunSummary> runs) {
    for (RunSummary& run : runs) {
      const bool is_new = run.id == 0;
      batch.PutRun(run, Store::Batch::NewRunPack::kChosen);
      if (run.end_state == EndState::kInProgress) {
        tracker_.SetId(run.channel - 1, run.id);
      }
      if (is_new) {
        began.push_back(run);
      }
      if (run.end_state != EndState::kInProgress) {
        ended.push_back(run);
      }
    }
  };
  try {
    std::unique_ptr<Store::Batch> batch = store_->Begin();
    for (const model::S_HARDWARE_DATA& record : pending_) {
      const std::int64_t id = batch->AddFrame(record);
      put(*batch, tracker_.Add(id, record));
    }
    put(*batch, tracker_.ExpireSilent(now));
    if (final_cycle) {
      put(*batch, tracker_.StopAll());
    }
    batch->Commit();
  } catch (const StoreError& error) {
    tracker_ = before;
    const bool corrupt = error.fault() == StoreFault::kCorrupt;
    store_.reset();
    Pause(error);
    if (corrupt) {
      // A new store starts clean: the runs open in the lost one are not continued.
      tracker_ = RunTracker();
      next_open_ = {};
      try {
        Emit(RecorderEvent::Kind::kMovedAside, {}, MoveAside(options_.path));
      } catch (const StoreError&) {
      }
    }
    return;
  }
  // After a pause only frames written prove the store takes them again: a commit with none
  // (nothing arrived, or only a run expired) changes no page of a full disk.
  const bool resumed = paused_ && !pending_.empty();
  {
    std::lock_guard guard(mutex_);
    status_.frames_recorded += static_cast<std::int64_t>(pending_.size());
    if (!paused_ || resumed) {
      status_.writing = true;
      status_.paused_reason.clear();
    }
    pending_.clear();
    pending_count_ = 0;
  }
  if (resumed) {
    paused_ = false;
  }
  if (resumed) {
    Emit(RecorderEvent::Kind::kResumed);
  }
  for (const RunSummary& run : began) {
    Emit(RecorderEvent::Kind::kRunBegan, run);
  }
  for (const RunSummary& run : ended) {
    Emit(RecorderEvent::Kind::kRunEnded, run);
  }
}

// One recorder per store: a second one would close the first one's runs as interrupted at its
// start and put its frames inside them. The lock lasts as long as the recorder.
void Recorder::LockStore() {
  if (!store_lock_.Valid()) {
    store_lock_ = LockBesideStore(RecorderLockName(options_.path),
                                  options_.path + " is being recorded into by another program");
  }
}

void Recorder::Pause(const StoreError& error) {
  next_open_ = std::chrono::steady_clock::now() + options_.retry_interval;
  paused_ = true;
  bool changed = false;
  {
    std::lock_guard guard(mutex_);
    changed = status_.writing || status_.paused_reason != error.what();
    status_.writing = false;
    status_.paused_reason = error.what();
  }
  if (changed) {
    Emit(RecorderEvent::Kind::kPaused, {}, error.what());
  }
}

void Recorder::Emit(RecorderEvent::Kind kind, const RunSummary& run, const std::string& text) {
  if (options_.on_event) {
    options_.on_event(RecorderEvent{kind, run, text});
  }
}

}  // namespace korvane::record
