// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace korvane::app {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

std::atomic<int> write_end{-1};
std::atomic<int> received{0};

// Async-signal-safe: only write, signal and raise.
void OnSignal(int number) {
  const int saved = errno;
  if (received.fetch_add(1) > 0 && number == SIGINT) {
    signal(number, SIG_DFL);
    raise(number);
  }
  const char byte = static_cast<char>(number);
  const int fd = write_end.load();
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> on_signal)
    : on_signal_(std::move(on_signal)) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;  // the program then simply ends the default way on these signals
  }
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    char buffer[16];
    while (read(pipe_[0], buffer, sizeof buffer) > 0) {
    }
    if (!handled_ && on_signal_) {
      handled_ = true;
      on_signal_();
    }
  });
  received = 0;
  write_end = pipe_[1];
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kCount; ++i) {
    sigaction(kSignals[i], &action, &previous_[i]);
  }
}

TerminationSignals::~TerminationSignals() {
  if (pipe_[0] < 0) {
    return;
  }
  for (int i = 0; i < kCount; ++i) {
    sigaction(kSignals[i], &previous_[i], nullptr);
  }
  write_end = -1;
  notifier_.reset();
  close(pipe_[0]);
  close(pipe_[1]);
}

}  // namespace korvane::app
