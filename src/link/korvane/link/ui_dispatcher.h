// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace korvane::link {

// Runs calls from worker threads on the UI thread.
class UiDispatcher {
 public:
  virtual ~UiDispatcher() = default;

  // Runs `call` on the UI thread and blocks until it has finished; an exception it raises is
  // raised again here. Called on the UI thread itself, it runs the call at once.
  virtual void RunOnUi(std::function<void()> call) = 0;

  using Deadline = std::chrono::steady_clock::time_point;

  // UI thread: blocks until `done()` is true, or the deadline passes, while still serving
  // hand-offs, so a worker waiting in one can finish. `done` is checked again after every served
  // call and every WakeUi(). Returns `done()`.
  virtual bool ServeUntil(const std::function<bool()>& done,
                          Deadline deadline = Deadline::max()) = 0;

  // Any thread: makes a waiting ServeUntil check its condition again.
  virtual void WakeUi() = 0;
};

// The toolkit-independent part of a dispatcher: a locked queue of pending hand-offs. The UI
// thread empties it with Drain(); a toolkit subclass overrides Posted() to schedule a Drain() on
// its event loop. Constructed on the UI thread.
class HandOffQueue : public UiDispatcher {
 public:
  HandOffQueue();
  ~HandOffQueue() override;

  void RunOnUi(std::function<void()> call) override;
  bool ServeUntil(const std::function<bool()>& done, Deadline deadline = Deadline::max()) override;
  void WakeUi() override;

  // UI thread: runs every hand-off pending now. Returns how many ran.
  int Drain();

  // Makes every current and future RunOnUi from a worker fail at once instead of waiting for a
  // UI thread that is gone. Used when the UI shuts down.
  void Shutdown();

  bool OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }

 protected:
  // Called (from the posting thread, without the lock) after a hand-off was queued.
  virtual void Posted() {}

 private:
  struct Pending;

  const std::thread::id ui_thread_;
  std::mutex mutex_;
  std::condition_variable ui_wake_;
  std::deque<Pending*> queue_;
  bool shut_down_ = false;
  unsigned wake_count_ = 0;
};

}  // namespace korvane::link
