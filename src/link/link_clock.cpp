// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/link_clock.h"

#include <chrono>
#include <ctime>

namespace korvane::link {

std::uint32_t SystemClock::TickCount() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void SystemClock::Sleep(std::uint32_t ms) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return interrupted_; });
}

void SystemClock::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
  }
  wake_.notify_all();
}

}  // namespace korvane::link
