// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace korvane::link {

// Time as the acquisition thread sees it; tests substitute a fake to run the 1000 ms and
// 3000 ms rules without waiting.
class LinkClock {
 public:
  virtual ~LinkClock() = default;
  // Milliseconds of a monotonic clock, truncated to 32 bits (wraps after about 49.7 days).
  virtual std::uint32_t TickCount() = 0;
  // Waits `ms` milliseconds; returns at once once Interrupt() has been called.
  virtual void Sleep(std::uint32_t ms) = 0;
  // Ends the current and every later Sleep at once. Any thread.
  virtual void Interrupt() = 0;
};

// True when at least `interval` ms passed from `start` to `now`, across the 32-bit wrap too.
constexpr bool TickElapsed(std::uint32_t start, std::uint32_t interval, std::uint32_t now) {
  return static_cast<std::uint32_t>(now - start) >= interval;
}

class SystemClock final : public LinkClock {
 public:
  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t ms) override;
  void Interrupt() override;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool interrupted_ = false;
};

}  // namespace korvane::link
