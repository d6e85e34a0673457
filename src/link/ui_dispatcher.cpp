// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/ui_dispatcher.h"

#include <stdexcept>

#include "korvane/contract.h"

namespace korvane::link {

struct HandOffQueue::Pending {
  std::function<void()> call;
  std::exception_ptr error;
  bool done = false;
  std::condition_variable finished;
};

HandOffQueue::HandOffQueue() : ui_thread_(std::this_thread::get_id()) {}

HandOffQueue::~HandOffQueue() {
  Shutdown();
}

void HandOffQueue::RunOnUi(std::function<void()> call) {
  if (OnUiThread()) {
    call();
    return;
  }
  Pending pending;
  pending.call = std::move(call);
  {
    std::unique_lock lock(mutex_);
    if (shut_down_) {
      throw std::runtime_error("the user interface has shut down");
    }
    queue_.push_back(&pending);
  }
  ui_wake_.notify_all();
  Posted();
  std::unique_lock lock(mutex_);
  pending.finished.wait(lock, [&] { return pending.done; });
  if (pending.error) {
    std::rethrow_exception(pending.error);
  }
}

int HandOffQueue::Drain() {
  KORVANE_EXPECT(OnUiThread(), "HandOffQueue::Drain runs on the UI thread");
  std::deque<Pending*> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  int ran = 0;
  for (Pending* pending : batch) {
    std::exception_ptr error;
    try {
      pending->call();
    } catch (...) {
      error = std::current_exception();
    }
    ++ran;
    std::lock_guard lock(mutex_);
    // Moved, not copied: the worker then holds the only reference, so the exception object is
    // created on this thread and released on the worker, with the lock ordering both.
    pending->error = std::move(error);
    pending->done = true;
    // Notify under the lock: the waiter owns `pending` and may destroy it once it sees `done`.
    pending->finished.notify_one();
  }
  return ran;
}

bool HandOffQueue::ServeUntil(const std::function<bool()>& done, Deadline deadline) {
  KORVANE_EXPECT(OnUiThread(), "HandOffQueue::ServeUntil runs on the UI thread");
  for (;;) {
    unsigned seen;
    {
      std::lock_guard lock(mutex_);
      seen = wake_count_;
    }
    Drain();
    if (done()) {
      return true;
    }
    std::unique_lock lock(mutex_);
    auto woken = [&] { return !queue_.empty() || wake_count_ != seen; };
    if (deadline == Deadline::max()) {
      ui_wake_.wait(lock, woken);
    } else if (!ui_wake_.wait_until(lock, deadline, woken)) {
      lock.unlock();
      Drain();
      return done();
    }
  }
}

void HandOffQueue::WakeUi() {
  {
    std::lock_guard lock(mutex_);
    ++wake_count_;
  }
  ui_wake_.notify_all();
}

void HandOffQueue::Shutdown() {
  std::lock_guard lock(mutex_);
  shut_down_ = true;
  for (Pending* pending : queue_) {
    pending->error =
        std::make_exception_ptr(std::runtime_error("the user interface has shut down"));
    pending->done = true;
    pending->finished.notify_one();
  }
  queue_.clear();
}

}  // namespace korvane::link
