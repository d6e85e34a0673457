// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace korvane::test_support {

using WaitClock = std::chrono::steady_clock;

// Asks `done` until it holds or `deadline` passes, running `between` after each "no" (by
// default a 10 ms sleep; a Qt test processes events there). True when `done` held. The deadline
// only bounds a test that fails; nothing is timed by it.
inline bool WaitUntil(const std::function<bool()>& done, WaitClock::time_point deadline,
                      const std::function<void()>& between = {}) {
  while (!done()) {
    if (WaitClock::now() >= deadline) {
      return false;
    }
    between ? between() : std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The same with the deadline `timeout` from now.
inline bool WaitUntil(const std::function<bool()>& done,
                      WaitClock::duration timeout = std::chrono::seconds(10),
                      const std::function<void()>& between = {}) {
  return WaitUntil(done, WaitClock::now() + timeout, between);
}

}  // namespace korvane::test_support
