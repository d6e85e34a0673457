// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace korvane::logger {

// Turns SIGINT, SIGTERM and SIGHUP into one call of `on_signal` on a thread of its own, with
// the signal's number. Construct it before any other thread: it blocks these signals in the
// calling thread, and threads started later inherit that, so only its own thread takes them.
// Further signals are absorbed. The signals stay blocked after destruction, so one that comes
// while the program winds up cannot end it the default way.
class SignalWatcher {
 public:
  explicit SignalWatcher(std::function<void(int)> on_signal);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  void Watch();

  std::function<void(int)> on_signal_;
  sigset_t signals_{};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace korvane::logger
