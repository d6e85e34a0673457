// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/signal_watcher.h"

#include <pthread.h>

#include <utility>

namespace korvane::logger {

SignalWatcher::SignalWatcher(std::function<void(int)> on_signal)
    : on_signal_(std::move(on_signal)) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  sigaddset(&signals_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  thread_ = std::thread([this] { Watch(); });
}

SignalWatcher::~SignalWatcher() {
  stopping_ = true;
  // The watcher takes the blocked signal sent to its own thread and sees that it is to end.
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}

void SignalWatcher::Watch() {
  bool told = false;
  for (;;) {
    int number = 0;
    if (sigwait(&signals_, &number) != 0) {
      continue;
    }
    if (stopping_) {
      return;
    }
    if (!told && on_signal_) {
      told = true;
      on_signal_(number);
    }
  }
}

}  // namespace korvane::logger
