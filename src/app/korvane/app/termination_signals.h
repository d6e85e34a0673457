// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace korvane::app {

// Turns SIGTERM, SIGHUP and SIGINT (what a log-off, a shut-down or Ctrl+C sends) into one call
// of `on_signal` on the thread that runs the event loop. A second signal before the program has
// ended is absorbed (a log-off sends SIGTERM and SIGHUP together), except that a further Ctrl+C
// kills the program the default way, so a stuck shutdown can still be ended. One instance at a
// time; the previous handlers come back on destruction.
class TerminationSignals {
 public:
  explicit TerminationSignals(std::function<void()> on_signal);
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;
  ~TerminationSignals();

 private:
  static constexpr int kCount = 3;

  std::function<void()> on_signal_;
  bool handled_ = false;
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction previous_[kCount] = {};
};

}  // namespace korvane::app
